#pragma once

#include <QString>

#include <memory>
#include <vector>

class Comunicacion_TZR;
class Configuracion;
class Contexto;
class DataFileCommands;
class EstadoPrograma;
class FicheroActual;
class QApplication;
class QWidget;
class TextLookup;
class UsersTable;

// The start of a run: the long-lived objects, then every window once in its fixed order, each
// stored in the Contexto as soon as it exists. Owns all of them and destroys them in reverse.
//
// The serial port and the port list come from the caller (ctx.puerto, ctx.puertos), so a test can
// start the program on an in-process bus.
class Arranque
{
public:
    explicit Arranque(Contexto &ctx);
    ~Arranque();
    Arranque(const Arranque &) = delete;
    Arranque &operator=(const Arranque &) = delete;

    // Configuration, flags, current file and link, unless ctx already holds one.
    void creaObjetos();
    // TFormPrincipal (its FormCreate opens the configured port and scans the bus) and then every
    // dialog; the link writes to the debug log once the debug window, created last, exists.
    void creaVentanas();
    // The whole start-up: title, splash, objects, windows, the main window shown, the event loop.
    int ejecuta(QApplication &app);

    static QString titulo() { return QStringLiteral("TZR User Management"); }

private:
    template <typename Ventana> Ventana *crea();

    Contexto &m_ctx;
    std::unique_ptr<FicheroActual> m_fichero;
    std::unique_ptr<Configuracion> m_configuracion;
    std::unique_ptr<EstadoPrograma> m_estado;
    std::unique_ptr<Comunicacion_TZR> m_link;
    std::unique_ptr<UsersTable> m_usuarios;
    std::unique_ptr<TextLookup> m_textos;
    std::unique_ptr<DataFileCommands> m_comandosFichero;
    // In creation order.
    std::vector<std::unique_ptr<QWidget>> m_ventanas;
};
