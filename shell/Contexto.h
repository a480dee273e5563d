#pragma once

#include <QString>

class BoardContext;
class BoardSession;
class Comunicacion_TZR;
class Configuracion;
class EstadoPrograma;
class FicheroActual;
class Lenguaje;
class SerialPort;
class PortList;
class UsersTable;
class DataFileCommands;
class TFormPrincipal;
class TF_Contrasena;
class Tidiomaa;
class TF_Test;
class TFProgreso;
class TAdvertencia;
class TF_Solicita_Contra;
class TF_Contra_Aplicacion;
class TF_Advertencia3;
class TF_Parametros;
class TF_Mensaje_Parametros;
class TF_ShowMessage;
class TfrmDebug;

// The long-lived objects of one run, one instance each, created at start-up in this order and
// handed to every window. A window pointer stays null until that window has been created, which
// is how "if the progress window exists" is decided.
class Contexto
{
public:
    Configuracion *configuracion = nullptr;
    Lenguaje *lenguaje = nullptr;
    EstadoPrograma *estado = nullptr;
    FicheroActual *fichero = nullptr;
    // The port, the link and the session every window works through. The caller may give the
    // board context; else the start-up builds one over the port, port list and link given
    // below (a test's in-process bus), which no window uses itself.
    BoardContext *placas = nullptr;
    BoardSession *sesion = nullptr;
    Comunicacion_TZR *link = nullptr;
    SerialPort *puerto = nullptr;
    PortList *puertos = nullptr;
    // Table1 with the users table's rules, and the Open / New / Save as commands on it.
    UsersTable *usuarios = nullptr;
    DataFileCommands *comandosFichero = nullptr;
    // The Korvel folder (configuration, language file, template family, ports/).
    QString carpetaKorvel;

    TFormPrincipal *principal = nullptr;
    TF_Contrasena *contrasena = nullptr;
    Tidiomaa *idiomaa = nullptr;
    TF_Test *test = nullptr;
    TFProgreso *progreso = nullptr;
    TAdvertencia *advertencia = nullptr;
    TF_Solicita_Contra *solicitaContra = nullptr;
    TF_Contra_Aplicacion *contraAplicacion = nullptr;
    TF_Advertencia3 *advertencia3 = nullptr;
    TF_Parametros *parametros = nullptr;
    TF_Mensaje_Parametros *mensajeParametros = nullptr;
    TF_ShowMessage *showMessage = nullptr;
    TfrmDebug *debug = nullptr;
};
