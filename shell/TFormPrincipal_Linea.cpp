// The main window on real serial lines: the per-port echo setting, why a port would not open,
// the port menu following adapters plugged in and out, and an adapter lost mid-operation.

#include "TFormPrincipal.h"

#include "Asigna_Lenguaje.h"
#include "Comunicacion_TZR.h"
#include "Configuracion.h"
#include "Contexto.h"
#include "EstadoPrograma.h"
#include "LineSettings.h"
#include "PortList.h"
#include "SerialPort.h"
#include "TF_ShowMessage.h"
#include "TextLookup.h"
#include "TzrError.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>

namespace {

// How often a detected echo checks whether the operation that met it has ended.
constexpr std::chrono::milliseconds EsperaFinOperacion{50};

QString usuario()
{
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QStringLiteral("$USER") : user;
}

} // namespace

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
    if (m_ctx.link)
        connect(m_ctx.link, &Comunicacion_TZR::ecoDetectado, this, &TFormPrincipal::ecoDetectado);
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
    if (m_ctx.puerto && m_ctx.configuracion)
        m_ctx.puerto->setLineEchoes(
            LineSettings(m_ctx.configuracion->fichero()).echoes(m_ctx.puerto->portName()));
}

void TFormPrincipal::cambiaEcoDeLinea(bool on)
{
    if (!m_ctx.puerto || m_ctx.puerto->portName().isEmpty())
        return;
    m_ctx.puerto->setLineEchoes(on);
    if (m_ctx.configuracion)
        LineSettings(m_ctx.configuracion->fichero()).setEchoes(m_ctx.puerto->portName(), on);
}

void TFormPrincipal::ecoDetectado()
{
    const QString puerto = m_ctx.puerto ? m_ctx.puerto->portName() : QString();
    if (m_ctx.link)
        m_ctx.link->printDebug(
            QStringLiteral("%1: the line echoes what is sent; echo handling turned on").arg(puerto));
    try {
        if (m_ctx.configuracion)
            LineSettings(m_ctx.configuracion->fichero()).setEchoes(puerto, true);
    } catch (const TzrError &e) {
        if (m_ctx.link)
            m_ctx.link->printDebug(QStringLiteral("TFormPrincipal.ecoDetectado Error: ") + e.message());
    }
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
    showMessage(
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
                            entrada->text().compare(m_ctx.puerto->portName(), Qt::CaseInsensitive) == 0);
    habilitaMenuPuertos();
}

void TFormPrincipal::avisaFalloApertura()
{
    if (!m_ctx.puerto)
        return;
    const PortOpenFailure fallo = m_ctx.puerto->openFailure();
    const TextLookup &textos = textosDe(m_ctx);
    const QString dispositivo = fallo.device.isEmpty() ? m_ctx.puerto->portName() : fallo.device;
    switch (fallo.kind) {
    case PortOpenFailure::Kind::Permission:
        showMessage(
            m_ctx,
            textos.texto(QStringLiteral("LINE_PERM_1"), QStringLiteral("No permission to open %1."))
                .arg(dispositivo),
            textos
                .texto(QStringLiteral("LINE_PERM_2"),
                       QStringLiteral("It belongs to the group %1: add your user to it (sudo usermod -aG %1 "
                                      "%2), then log out and log in again."))
                .arg(fallo.group.isEmpty() ? QStringLiteral("dialout") : fallo.group, usuario()));
        break;
    case PortOpenFailure::Kind::Busy:
        showMessage(
            m_ctx,
            textos.texto(QStringLiteral("LINE_BUSY_1"), QStringLiteral("%1 is in use by another program."))
                .arg(dispositivo),
            fallo.program.isEmpty()
                ? textos.texto(QStringLiteral("LINE_BUSY_3"),
                               QStringLiteral("Close the program that uses it and choose the port again."))
                : textos
                      .texto(QStringLiteral("LINE_BUSY_2"),
                             QStringLiteral("Close %1 and choose the port again."))
                      .arg(fallo.program));
        break;
    case PortOpenFailure::Kind::Gone:
        avisaPuertoAusente(dispositivo);
        break;
    case PortOpenFailure::Kind::None:
    case PortOpenFailure::Kind::Other:
        break;
    }
}

void TFormPrincipal::avisaPuertoAusente(const QString &dispositivo)
{
    const TextLookup &textos = textosDe(m_ctx);
    showMessage(
        m_ctx,
        textos.texto(QStringLiteral("LINE_GONE_1"), QStringLiteral("%1 is no longer present."))
            .arg(dispositivo),
        textos.texto(QStringLiteral("LINE_GONE_2"),
                     QStringLiteral("Plug the adapter in again, then choose its port in the port menu.")));
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
    else
        showMessage(m_ctx, linea1,
                    textosDe(m_ctx)
                        .texto(QStringLiteral("LINE_GONE_1"), QStringLiteral("%1 is no longer present."))
                        .arg(nombre));
}
