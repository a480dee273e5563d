#pragma once

class Contexto;
class EstadoPrograma;
class QString;
class QWidget;
class TextLookup;
struct WindowSet;

// Caption routines: each reads the keys of its window in the current language and sets them on
// the components found under the window by object name. A component the window lacks is skipped;
// every key is still read. The main window's grid column titles go through ColumnTitles when the
// window implements it, else straight to the header of the DBGrid1 view's model.
void Lenguaje_FormPrincipal(QWidget *principal, const TextLookup &lenguaje, EstadoPrograma &estado);
void Lenguaje_Advertencia(QWidget *ventana, const TextLookup &lenguaje);
void Lenguaje_F_Advertencia3(QWidget *ventana, const TextLookup &lenguaje);
void Lenguaje_F_Contrasena(QWidget *ventana, const TextLookup &lenguaje);
void Lenguaje_F_Contra_Aplicacion(QWidget *ventana, const TextLookup &lenguaje);
void Lenguaje_F_Mensaje_Parametros(QWidget *ventana, const TextLookup &lenguaje);
void Lenguaje_F_Parametros(QWidget *ventana, const TextLookup &lenguaje);
void Lenguaje_Idiomaa(QWidget *ventana, const TextLookup &lenguaje);
void Lenguaje_FProgreso(QWidget *ventana, const TextLookup &lenguaje);
void Lenguaje_F_Solicita_Contra(QWidget *ventana, const TextLookup &lenguaje);
void Lenguaje_F_Test(QWidget *ventana, const TextLookup &lenguaje);

// The eleven routines above, in that order, over the windows that exist.
void Lenguaje_Todos(Contexto &ctx);
void Lenguaje_Todos(const WindowSet &ventanas, const TextLookup &lenguaje, EstadoPrograma &estado);

// The run's lookup; while no language file is open, one that answers every key with its fall-back.
const TextLookup &textosDe(const Contexto &ctx);

// Qt's own texts (file dialogs, standard buttons) in the language of the section named (IDIOMA);
// English, or no translation installed on this machine, leaves Qt's English. True when loaded.
bool cargaTraduccionesQt(const QString &seccion);

// The fall-backs of the main window's captions and of every other window's texts.
QString falloPrincipal();
QString falloGeneral();
