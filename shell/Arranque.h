#pragma once

#include <QString>

#include <memory>
#include <vector>

class BoardContext;
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
// The board context comes from the caller (ctx.placas), or is built here over the serial port and
// port list the caller gives (ctx.puerto, ctx.puertos), so a test can start the program on an
// in-process bus.
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
    std::unique_ptr<UsersTable> m_usuarios;
    std::unique_ptr<TextLookup> m_textos;
    // After the texts its session reads, so that it goes first.
    std::unique_ptr<BoardContext> m_placas;
    std::unique_ptr<DataFileCommands> m_comandosFichero;
    // In creation order.
    std::vector<std::unique_ptr<QWidget>> m_ventanas;
};
