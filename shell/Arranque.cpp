#include "Arranque.h"

#include "BoardContext.h"
#include "BoardSession.h"
#include "Configuracion.h"
#include "Contexto.h"
#include "DataFileCommands.h"
#include "EstadoPrograma.h"
#include "FicheroActual.h"
#include "SpecialFolder.h"
#include "TAdvertencia.h"
#include "TFProgreso.h"
#include "TF_Advertencia3.h"
#include "TF_Contra_Aplicacion.h"
#include "TF_Contrasena.h"
#include "TF_Mensaje_Parametros.h"
#include "TF_Parametros.h"
#include "TF_ShowMessage.h"
#include "TF_Solicita_Contra.h"
#include "TF_Test.h"
#include "TFormPrincipal.h"
#include "TSplash.h"
#include "TextosContexto.h"
#include "TfrmDebug.h"
#include "Tidiomaa.h"
#include "UsersTable.h"

#include <QApplication>
#include <QPointer>

Arranque::Arranque(Contexto &ctx) : m_ctx(ctx)
{
}

Arranque::~Arranque()
{
    if (m_ctx.sesion)
        m_ctx.sesion->setDebugLog(nullptr);
    // No window may reach another one while they go; the main window goes last, writing the
    // configuration and closing the port.
    m_ctx.principal = nullptr;
    m_ctx.contrasena = nullptr;
    m_ctx.idiomaa = nullptr;
    m_ctx.test = nullptr;
    m_ctx.progreso = nullptr;
    m_ctx.advertencia = nullptr;
    m_ctx.solicitaContra = nullptr;
    m_ctx.contraAplicacion = nullptr;
    m_ctx.advertencia3 = nullptr;
    m_ctx.parametros = nullptr;
    m_ctx.mensajeParametros = nullptr;
    m_ctx.showMessage = nullptr;
    m_ctx.debug = nullptr;
    while (!m_ventanas.empty())
        m_ventanas.pop_back();

    if (m_comandosFichero && m_ctx.comandosFichero == m_comandosFichero.get())
        m_ctx.comandosFichero = nullptr;
    if (m_usuarios && m_ctx.usuarios == m_usuarios.get())
        m_ctx.usuarios = nullptr;
    m_ctx.sesion = nullptr;
    if (m_placas && m_ctx.placas == m_placas.get())
        m_ctx.placas = nullptr;
    if (m_configuracion && m_ctx.configuracion == m_configuracion.get())
        m_ctx.configuracion = nullptr;
    if (m_estado && m_ctx.estado == m_estado.get())
        m_ctx.estado = nullptr;
    if (m_fichero && m_ctx.fichero == m_fichero.get())
        m_ctx.fichero = nullptr;
}

void Arranque::creaObjetos()
{
    if (m_ctx.carpetaKorvel.isEmpty())
        m_ctx.carpetaKorvel = SpecialFolder::korvelFolder();
    if (!m_ctx.fichero) {
        m_fichero = std::make_unique<FicheroActual>();
        m_ctx.fichero = m_fichero.get();
    }
    if (!m_ctx.configuracion) {
        m_configuracion = std::make_unique<Configuracion>(*m_ctx.fichero, m_ctx.carpetaKorvel);
        m_ctx.configuracion = m_configuracion.get();
    }
    if (!m_ctx.estado) {
        m_estado = std::make_unique<EstadoPrograma>();
        m_ctx.estado = m_estado.get();
    }
    if (!m_ctx.usuarios) {
        m_usuarios = std::make_unique<UsersTable>(*m_ctx.fichero);
        m_ctx.usuarios = m_usuarios.get();
    }
    m_textos = std::make_unique<TextosContexto>(m_ctx);
    if (!m_ctx.comandosFichero) {
        m_comandosFichero = std::make_unique<DataFileCommands>(
            *m_ctx.fichero, *m_ctx.usuarios, *m_textos, m_ctx.carpetaKorvel,
            [this] { m_ctx.configuracion->Guarda_Configuracion(); });
        m_ctx.comandosFichero = m_comandosFichero.get();
    }
    if (!m_ctx.placas && m_ctx.puerto) {
        m_placas = std::make_unique<BoardContext>(*m_ctx.puerto, m_ctx.puertos, m_ctx.configuracion->fichero(),
                                                  m_ctx.link);
        m_ctx.placas = m_placas.get();
    }
    if (m_ctx.placas) {
        m_ctx.sesion = &m_ctx.placas->startSession(*m_textos);
        // Lines written before the debug window exists are dropped.
        m_ctx.sesion->setDebugLog(nullptr);
    }
}

template <typename Ventana> Ventana *Arranque::crea()
{
    auto ventana = std::make_unique<Ventana>(m_ctx);
    Ventana *p = ventana.get();
    m_ventanas.push_back(std::move(ventana));
    return p;
}

void Arranque::creaVentanas()
{
    // The main window is reachable through the Contexto before its creation event runs.
    m_ctx.principal = crea<TFormPrincipal>();
    m_ctx.principal->FormCreate();
    m_ctx.contrasena = crea<TF_Contrasena>();
    m_ctx.idiomaa = crea<Tidiomaa>();
    m_ctx.test = crea<TF_Test>();
    m_ctx.progreso = crea<TFProgreso>();
    m_ctx.advertencia = crea<TAdvertencia>();
    m_ctx.solicitaContra = crea<TF_Solicita_Contra>();
    m_ctx.contraAplicacion = crea<TF_Contra_Aplicacion>();
    m_ctx.advertencia3 = crea<TF_Advertencia3>();
    m_ctx.parametros = crea<TF_Parametros>();
    m_ctx.mensajeParametros = crea<TF_Mensaje_Parametros>();
    m_ctx.showMessage = crea<TF_ShowMessage>();
    m_ctx.debug = crea<TfrmDebug>();
    if (m_ctx.sesion)
        m_ctx.sesion->setDebugLog(m_ctx.debug);
}

int Arranque::ejecuta(QApplication &app)
{
    QGuiApplication::setApplicationDisplayName(titulo());

    QPointer<TSplash> splash = new TSplash;
    splash->show();
    splash->repaint();
    QCoreApplication::processEvents();

    creaObjetos();
    creaVentanas();

    delete splash.data();

    // The run ends with the main window, even while a non-modal dialog is still open.
    app.setQuitOnLastWindowClosed(false);
    QObject::connect(m_ctx.principal, &TFormPrincipal::cerrada, &app, [] { QCoreApplication::exit(0); });
    m_ctx.principal->show();
    return app.exec();
}
