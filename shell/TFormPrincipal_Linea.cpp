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
#include "PortList.h"
#include "SerialPort.h"
#include "TF_ShowMessage.h"
#include "TextLookup.h"
#include "TzrError.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>

namespace {

// How often a detected echo checks whether the operation that met it has ended.
constexpr std::chrono::milliseconds EsperaFinOperacion{50};

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
        connect(m_sesion.get(), &BoardSession::echoDetected, this, &TFormPrincipal::ecoDetectado);
        connect(m_sesion.get(), &BoardSession::echoGone, this, &TFormPrincipal::ecoDetectado);
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
    m_miComunication->addSeparator()->setObjectName(QStringLiteral("N_Linea"));
    m_miEcoLinea = new QAction(QStringLiteral("Line echoes what is sent"), this);
    m_miEcoLinea->setObjectName(QStringLiteral("miEcoLinea"));
    m_miEcoLinea->setCheckable(true);
    m_miComunication->addAction(m_miEcoLinea);
    connect(m_miEcoLinea, &QAction::triggered, this,
            [this](bool on) { protegido([this, on] { cambiaEcoDeLinea(on); }); });
    connect(m_miComunication, &QMenu::aboutToShow, this, [this] {
        m_miEcoLinea->setText(textosDe(m_ctx).texto(QStringLiteral("LINE_ECHO_MENU"),
                                                    QStringLiteral("Line echoes what is sent")));
        m_miEcoLinea->setChecked(m_ctx.puerto && m_ctx.puerto->lineEchoes());
        m_miEcoLinea->setEnabled(m_ctx.puerto && m_ctx.puerto->isOpen() &&
                                 !(m_ctx.link && m_ctx.link->ocupado()));
    });
    connect(m_Configuracin1, &QMenu::aboutToShow, this, [this] { protegido([this] { refrescaPuertos(); }); });
    // Created now, so that an echo met by the very first exchange is caught.
    sesion();
    if (m_ctx.puerto && m_ctx.link) {
        Comunicacion_TZR *link = m_ctx.link;
        // Once per run, and only once it reached a debug log (lines before the debug window
        // exists are dropped, as at start-up).
        connect(m_ctx.puerto, &SerialPort::notice, this, [this, link](const QString &text) {
            if (!link->debugLog() || m_avisosLinea.contains(text))
                return;
            m_avisosLinea.insert(text);
            link->printDebug(text);
        });
    }
}

void TFormPrincipal::aplicaEcoDeLinea()
{
    if (BoardSession *s = sesion())
        s->applyEchoSetting();
}

void TFormPrincipal::cambiaEcoDeLinea(bool on)
{
    if (BoardSession *s = sesion())
        s->setEchoes(on);
}

// The session has turned echo handling on and saved the setting.
void TFormPrincipal::ecoDetectado()
{
    if (m_ecoPorAtender)
        return;
    m_ecoPorAtender = true;
    QTimer::singleShot(0, this, &TFormPrincipal::atiendeEcoDetectado);
}

// The detection happens inside an exchange; the message and the new scan wait until the
// operation that met the echo has finished with the link.
void TFormPrincipal::atiendeEcoDetectado()
{
    if (m_ctx.link && m_ctx.link->ocupado()) {
        QTimer::singleShot(EsperaFinOperacion, this, &TFormPrincipal::atiendeEcoDetectado);
        return;
    }
    m_ecoPorAtender = false;
    const TextLookup &textos = textosDe(m_ctx);
    const QString puerto = m_ctx.puerto ? m_ctx.puerto->portName() : QString();
    // Either way round: the port's setting now says what was found.
    if (m_ctx.puerto && !m_ctx.puerto->lineEchoes())
        showSuccess(m_ctx,
                    textos.texto(QStringLiteral("LINE_NOECHO_1"),
                                 QStringLiteral("The line on %1 does not echo what is sent."))
                        .arg(puerto),
                    textos.texto(QStringLiteral("LINE_NOECHO_2"),
                                 QStringLiteral("Echo handling is now off for this port; the bus is scanned again.")));
    else
        showSuccess(
            m_ctx,
            textos.texto(QStringLiteral("LINE_ECHO_1"), QStringLiteral("The line on %1 echoes what is sent."))
                .arg(puerto),
            textos.texto(QStringLiteral("LINE_ECHO_2"),
                         QStringLiteral("Echo handling is now on for this port; the bus is scanned again.")));
    if (m_ctx.puerto && m_ctx.puerto->isOpen())
        protegido([this] { Refresh1Click(); });
}

void TFormPrincipal::refrescaPuertos()
{
    if (!m_ctx.puertos || (m_ctx.link && m_ctx.link->ocupado()))
        return;
    m_ctx.puertos->rescan();
    listCOMPorts();
    const bool abierto = m_ctx.puerto && m_ctx.puerto->isOpen();
    for (QAction *entrada : std::as_const(m_entradasPuerto))
        entrada->setChecked(abierto &&
                            portNameOf(entrada).compare(m_ctx.puerto->portName(), Qt::CaseInsensitive) == 0);
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
    for (QAction *entrada : std::as_const(m_entradasPuerto))
        entrada->setChecked(false);
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
