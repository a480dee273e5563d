// The main window on real serial lines: the per-port echo setting, why a port would not open,
// the port menu following adapters plugged in and out, and an adapter lost mid-operation.

#include "TFormPrincipal.h"

#include "Asigna_Lenguaje.h"
#include "BoardSession.h"
#include "BoardContext.h"
#include "DataFileRef.h"
#include "FicheroActual.h"
#include "Configuracion.h"
#include "Contexto.h"
#include "EstadoPrograma.h"
#include "PortMenu.h"
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

BoardSession *TFormPrincipal::sesion()
{
    return m_ctx.sesion;
}

bool TFormPrincipal::lineaOcupada() const
{
    return m_ctx.sesion && m_ctx.sesion->busy();
}

void TFormPrincipal::anota(const QString &linea) const
{
    if (m_ctx.sesion)
        m_ctx.sesion->log(linea);
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
    // Watched now, so that an echo met by the very first exchange is caught.
    if (BoardSession *s = sesion()) {
        m_lineEcho->watch(*s);
        connect(s, &BoardSession::notRecorded, this, &TFormPrincipal::avisaSinHistorial, Qt::QueuedConnection);
    }
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
    if (!m_ctx.placas || !m_ctx.placas->hasPortList() || (m_ctx.sesion && m_ctx.sesion->busy()))
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
        const QString dispositivo = s->failedDevice();
        texto.line1 = textos.texto(QStringLiteral("LINE_OPEN_1"), QStringLiteral("%1 cannot be opened (%2)."))
                          .arg(dispositivo.isEmpty() ? puerto : dispositivo, s->portError());
        texto.line2 = textos.texto(QStringLiteral("LINE_OPEN_2"),
                                   QStringLiteral("Check the adapter and its cable, then choose the port again."));
    }
    muestraMotivoPuerto(texto.line1, texto.line2);
    // Before the window is shown only a diagnosed failure gets a message box of its own; the
    // system's reason waits under the board list.
    if (diagnosticado || !m_abriendoAlArrancar)
        showMessage(m_ctx, texto.line1, texto.line2);
}

void TFormPrincipal::avisaSinHistorial(const QString &error)
{
    // The job that met it may still hold the link and its progress window.
    if (lineaOcupada()) {
        QTimer::singleShot(std::chrono::milliseconds(50), this, [this, error] { avisaSinHistorial(error); });
        return;
    }
    const TextLookup &textos = textosDe(m_ctx);
    showMessage(m_ctx,
                textos.texto(QStringLiteral("HIST_NOT_RECORDED"),
                             QStringLiteral("The data file's history could not take this operation's entry.")),
                error);
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
    BoardSession *sesion = this->sesion();
    const QString nombre = sesion ? sesion->portName() : QString();
    if (sesion) {
        try {
            sesion->closePort();
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
    if (sesion)
        sesion->log(QStringLiteral("%1: the port is no longer present").arg(nombre));
    if (linea1.isEmpty())
        avisaPuertoAusente(nombre);
    else {
        if (BoardSession *s = sesion) {
            const OpenFailureText motivo = s->goneText(nombre);
            muestraMotivoPuerto(motivo.line1, motivo.line2);
        }
        showMessage(m_ctx, linea1,
                    textosDe(m_ctx)
                        .texto(QStringLiteral("LINE_GONE_1"), QStringLiteral("%1 is no longer present."))
                        .arg(nombre));
    }
}
