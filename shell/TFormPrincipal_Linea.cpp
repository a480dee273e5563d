// The main window on real serial lines: the per-port echo setting, why a port would not open,
// the port menu following adapters plugged in and out, and an adapter lost mid-operation.

#include "TFormPrincipal.h"

#include "Asigna_Lenguaje.h"
#include "BoardSession.h"
#include "Comunicacion_TZR.h"
#include "DataFileRef.h"
#include "FicheroActual.h"
#include "Configuracion.h"
#include "Contexto.h"
#include "EstadoPrograma.h"
#include "PortMenu.h"
#include "SerialPort.h"
#include "TF_ShowMessage.h"
#include "TextLookup.h"
#include "TzrError.h"
#include "LineEcho.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>

namespace {

// The window's texts as they are when asked: the language may change while the session lives.
class TextosVentana : public TextLookup
{
public:
    explicit TextosVentana(const Contexto &ctx) : m_ctx(ctx) {}
    QString texto(const QString &key, const QString &fallback) const override
    {
        return textosDe(m_ctx).texto(key, fallback);
    }
    QString seccion() const override { return textosDe(m_ctx).seccion(); }

private:
    const Contexto &m_ctx;
};

} // namespace

BoardSession *TFormPrincipal::sesion()
{
    if (!m_sesion && m_ctx.puerto && m_ctx.link) {
        m_textosSesion = std::make_unique<TextosVentana>(m_ctx);
        m_sesion = std::make_unique<BoardSession>(*m_ctx.puerto, *m_ctx.link, *m_textosSesion,
                                                  m_ctx.configuracion ? m_ctx.configuracion->fichero() : QString());
        if (m_lineEcho)
            m_lineEcho->watch(*m_sesion);
    }
    return m_sesion.get();
}

DataFileRef TFormPrincipal::ficheroAbierto() const
{
    if (!m_ctx.fichero)
        return {};
    return {m_ctx.fichero->Directorio_Trabajo(), m_ctx.fichero->Nombre_Tabla()};
}

void TFormPrincipal::preparaLinea()
{
    m_lineEcho = new LineEcho(m_ctx, *m_miComunication,
                              {[this] { return sesion(); }, [this](std::function<void()> f) { protegido(f); },
                               [this] { Refresh1Click(); }},
                              this);
    connect(m_Configuracin1, &QMenu::aboutToShow, this, [this] { protegido([this] { refrescaPuertos(); }); });
    // Created now, so that an echo met by the very first exchange is caught.
    sesion();
}

QAction *TFormPrincipal::miEcoLinea() const
{
    return m_lineEcho->entry();
}

void TFormPrincipal::aplicaEcoDeLinea()
{
    m_lineEcho->apply();
}

void TFormPrincipal::refrescaPuertos()
{
    if (!m_ctx.puertos || (m_ctx.link && m_ctx.link->ocupado()))
        return;
    m_portMenu->refresh();
    habilitaMenuPuertos();
}

void TFormPrincipal::avisaFalloApertura(const QString &puerto)
{
    BoardSession *s = sesion();
    if (!s)
        return;
    OpenFailureText texto = s->openFailureText();
    const bool diagnosticado = texto.known();
    if (!diagnosticado) {
        // No diagnosis: the system's own reason, never an empty board list alone.
        const TextLookup &textos = textosDe(m_ctx);
        const PortOpenFailure fallo = m_ctx.puerto->openFailure();
        texto.line1 = textos.texto(QStringLiteral("LINE_OPEN_1"), QStringLiteral("%1 cannot be opened (%2)."))
                          .arg(fallo.device.isEmpty() ? puerto : fallo.device, m_ctx.puerto->errorString());
        texto.line2 = textos.texto(QStringLiteral("LINE_OPEN_2"),
                                   QStringLiteral("Check the adapter and its cable, then choose the port again."));
    }
    muestraMotivoPuerto(texto.line1, texto.line2);
    // Before the window is shown only a diagnosed failure gets a message box of its own; the
    // system's reason waits under the board list.
    if (diagnosticado || !m_abriendoAlArrancar)
        showMessage(m_ctx, texto.line1, texto.line2);
}

void TFormPrincipal::muestraMotivoPuerto(const QString &linea1, const QString &linea2)
{
    if (!m_L_MotivoPuerto)
        return;
    m_L_MotivoPuerto->setText(linea2.isEmpty() ? linea1 : linea1 + QLatin1Char('\n') + linea2);
    m_L_MotivoPuerto->setVisible(!linea1.isEmpty());
}

void TFormPrincipal::avisaPuertoAusente(const QString &dispositivo)
{
    if (BoardSession *s = sesion()) {
        const OpenFailureText texto = s->goneText(dispositivo);
        muestraMotivoPuerto(texto.line1, texto.line2);
        showMessage(m_ctx, texto.line1, texto.line2);
    }
}

// The adapter went away under an operation: the port is closed and unchecked so that choosing it
// again, once it is back, opens it afresh.
void TFormPrincipal::puertoPerdido(const QString &linea1)
{
    const QString nombre = m_ctx.puerto ? m_ctx.puerto->portName() : QString();
    if (m_ctx.puerto) {
        try {
            m_ctx.puerto->close();
        } catch (...) {
        }
    }
    m_portMenu->uncheckAll();
    m_Arbol->clear();
    if (m_ctx.estado && m_ctx.estado->placa_conectada()) {
        // The disconnect of Conectar_Desconectar, which refuses while the operation holds the link.
        for (QAction *a : {m_RecibirdelSistema2, m_EnviaralSistema1, m_ToolRecibir, m_ToolEnviar})
            a->setEnabled(false);
        m_Recibir->setEnabled(false);
        m_Enviar->setEnabled(false);
        showNotConnectedLook();
        m_ctx.estado->setPlaca_conectada(false);
    }
    if (m_ctx.link)
        m_ctx.link->printDebug(QStringLiteral("%1: the port is no longer present").arg(nombre));
    if (linea1.isEmpty())
        avisaPuertoAusente(nombre);
    else {
        if (BoardSession *s = sesion()) {
            const OpenFailureText motivo = s->goneText(nombre);
            muestraMotivoPuerto(motivo.line1, motivo.line2);
        }
        showMessage(m_ctx, linea1,
                    textosDe(m_ctx)
                        .texto(QStringLiteral("LINE_GONE_1"), QStringLiteral("%1 is no longer present."))
                        .arg(nombre));
    }
}
