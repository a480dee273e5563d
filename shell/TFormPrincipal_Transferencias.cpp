// The two transfers of the main window: receive a board's users into the open data file, and
// send the data file to the board. The work itself is the jobs' ReceiveJob and SendJob.

#include "TFormPrincipal.h"

#include "Asigna_Lenguaje.h"
#include "BoardSession.h"
#include "Comunicacion_TZR.h"
#include "Contexto.h"
#include "ErrorBox.h"
#include "EstadoPrograma.h"
#include "FicheroActual.h"
#include "ReceiveJob.h"
#include "SendJob.h"
#include "TAdvertencia.h"
#include "TFProgreso.h"
#include "TF_Advertencia3.h"
#include "TF_ShowMessage.h"
#include "TfrmDebug.h"
#include "TextLookup.h"
#include "TzrError.h"
#include "UsersTable.h"
#include "WindowJobObserver.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>

namespace {

QString texto(Contexto &ctx, const char *key, const char *fallback)
{
    return textosDe(ctx).texto(QString::fromLatin1(key), QString::fromUtf8(fallback));
}

// A data file from elsewhere may hold more rows than a board has slots: the user is told which
// rows stay behind before the board is touched, and may stop there.
bool aceptaLimiteUsuarios(Contexto &ctx, QWidget *padre, qsizetype filas)
{
    QMessageBox aviso(QMessageBox::Warning, QStringLiteral("TZRUsers"),
                      texto(ctx, "LIM_M1", "The board holds %1 users.").arg(MAX_USUARIOS),
                      QMessageBox::NoButton, padre);
    aviso.setObjectName(QStringLiteral("LimiteUsuarios"));
    aviso.setInformativeText(
        texto(ctx, "LIM_M2", "The %1 rows after row 350 will not be sent.").arg(filas - MAX_USUARIOS));
    QPushButton *aceptar =
        aviso.addButton(texto(ctx, "Advertencia_Aceptar_Caption", "OK"), QMessageBox::AcceptRole);
    aceptar->setObjectName(QStringLiteral("Aceptar"));
    QPushButton *cancelar =
        aviso.addButton(texto(ctx, "Advertencia_Cancelar_Caption", "Cancel"), QMessageBox::RejectRole);
    cancelar->setObjectName(QStringLiteral("Cancelar"));
    aviso.setDefaultButton(cancelar);
    aviso.exec();
    return aviso.clickedButton() == aceptar;
}

} // namespace

void TFormPrincipal::habilitaTransferencia(bool on)
{
    for (QWidget *w : {static_cast<QWidget *>(m_conectar), static_cast<QWidget *>(m_B_Refresh),
                       static_cast<QWidget *>(m_Recibir), static_cast<QWidget *>(m_Enviar)}) {
        if (w)
            w->setEnabled(on);
    }
    for (QAction *a :
         {m_ToolConectar, m_ToolRecibir, m_ToolEnviar, m_RecibirdelSistema2, m_EnviaralSistema1}) {
        if (a)
            a->setEnabled(on);
    }
    // Nothing else that starts a job or changes the data file either: the menus, the other tool
    // buttons and the grid. Only what was enabled is disabled, and only that is enabled again.
    if (on) {
        for (const QPointer<QObject> &o : std::as_const(m_bloqueadosPorTrabajo)) {
            if (auto *a = qobject_cast<QAction *>(o.data()))
                a->setEnabled(true);
            else if (auto *w = qobject_cast<QWidget *>(o.data()))
                w->setEnabled(true);
        }
        m_bloqueadosPorTrabajo.clear();
        return;
    }
    QList<QAction *> acciones{m_ToolPWD_APP, m_ToolFicheros, m_ToolNuevo, m_ToolSalvar, m_ToolOrden,
                              m_ToolExcel,   m_ToolTest,     m_ToolSistema};
    for (QMenu *m : {m_Archivo1, m_miComunication, m_Herraminetas1, m_Configuracin1}) {
        if (m)
            acciones << m->menuAction();
    }
    for (QAction *a : std::as_const(acciones)) {
        if (a && a->isEnabled()) {
            a->setEnabled(false);
            m_bloqueadosPorTrabajo << QPointer<QObject>(a);
        }
    }
    if (m_DBGrid1 && m_DBGrid1->isEnabled()) {
        m_DBGrid1->setEnabled(false);
        m_bloqueadosPorTrabajo << QPointer<QObject>(m_DBGrid1);
    }
}

// After an error in the middle of a transfer the window returns to its connected state with the
// data file open, instead of staying locked with the progress window up.
void TFormPrincipal::terminaTransferencia()
{
    if (m_ctx.progreso)
        m_ctx.progreso->cerrar();
    try {
        if (m_ctx.usuarios && !m_ctx.fichero->Nombre_Tabla().isEmpty())
            m_ctx.usuarios->Activa_Tabla(true);
    } catch (const TzrError &) {
    }
    habilitaTransferencia(true);
}

void TFormPrincipal::muestraFinTrabajo(const JobStatus &fin, const QString &incompleta)
{
    switch (fin.end) {
    case JobEnd::PortLost:
        puertoPerdido(incompleta);
        return;
    case JobEnd::Stopped:
        if (m_ctx.progreso && m_ctx.progreso->cancelado())
            showMessage(m_ctx, incompleta, texto(m_ctx, "LINE_CANCELLED", "Cancelled."));
        else
            showMessage(m_ctx, incompleta,
                        texto(m_ctx, "LINE_STOPPED", "Stopped while the board was not answering."));
        return;
    case JobEnd::RepliesMismatched:
        showMessage(m_ctx, incompleta,
                    texto(m_ctx, "LINE_REPLIES_MISMATCHED",
                          "A reply came that answered no request: what was read or written cannot be trusted. "
                          "Run it again."));
        return;
    case JobEnd::Done:
    case JobEnd::NotOpened:
    case JobEnd::RowRefused:
        return;
    case JobEnd::PortUnavailable:
    case JobEnd::Failed:
        break;
    }
    showErrorBox(this, fin.error);
}

void TFormPrincipal::Recibir_ANTClick()
{
    BoardSession *sesion = this->sesion();
    if (!sesion || m_ctx.link->ocupado() || !m_ctx.advertencia)
        return;
    m_ctx.advertencia->exec();
    QCoreApplication::processEvents();
    sesion->purge();
    if (!m_ctx.estado->confirmado())
        return;
    if (m_ctx.debug)
        m_ctx.debug->btnClearClick();
    WindowJobObserver observador(m_ctx.progreso, m_ctx.showMessage);
    observador.onStarted = [this] {
        habilitaTransferencia(false);
        // A receive changes the file only once the whole board was read: it may be cancelled.
        if (m_ctx.progreso)
            m_ctx.progreso->ofreceCancelar();
        if (m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(false);
    };
    observador.onWorkDone = [this] {
        if (m_ctx.debug) {
            try {
                m_ctx.debug->btnSaveClick();
            } catch (const TzrError &) {
                // The log stays in memory; a receive does not report a failed save.
            }
        }
        if (m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(true);
        if (m_ctx.progreso)
            m_ctx.progreso->cerrar();
        habilitaTransferencia(true);
    };
    const BoardSession::Observing observando(*sesion, observador);
    const ReceiveResult resultado = ReceiveJob(*sesion, ficheroAbierto()).run();
    // The data file kept its old rows; say why the receive did not happen.
    const QString incompleta = texto(m_ctx, "F_SHOW_M14", "Receive incomplete: the file was not changed.");
    if (resultado.end == JobEnd::NotOpened)
        return;
    if (!resultado.done()) {
        terminaTransferencia();
        muestraFinTrabajo(resultado, incompleta);
        return;
    }
    if (!resultado.notRemembered.isEmpty())
        m_ctx.link->printDebug(QStringLiteral("TFormPrincipal.recuerdaSincronia Error: ") + resultado.notRemembered);
    if (!resultado.complete())
        showMessage(m_ctx, incompleta,
                    texto(m_ctx, "F_SHOW_M15", "%1 user slots could not be read.").arg(resultado.failedSlots));
}

void TFormPrincipal::Enviar_ATNClick()
{
    BoardSession *sesion = this->sesion();
    if (!sesion || m_ctx.link->ocupado() || !m_ctx.advertencia3)
        return;
    m_ctx.advertencia3->exec();
    sesion->purge();
    QCoreApplication::processEvents();
    if (!m_ctx.estado->confirmado())
        return;
    SendJob trabajo(*sesion, ficheroAbierto());
    trabajo.setVerify(m_ctx.advertencia3->verificar());

    // Every row is encoded before the board is touched, so a row the board cannot hold stops
    // the send with the board as it was.
    SendPlan plan;
    {
        const Comunicacion_TZR::Reserva reserva(*m_ctx.link);
        try {
            if (m_ctx.usuarios)
                m_ctx.usuarios->Activa_Tabla(false);
        } catch (const TzrError &e) {
            terminaTransferencia();
            showErrorBox(this, e.message());
            return;
        }
        plan = trabajo.prepare(m_ToolOrden && m_ToolOrden->isChecked());
        if (plan.end == JobEnd::Failed) {
            terminaTransferencia();
            showErrorBox(this, plan.error);
            return;
        }
        if (m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(true);
        if (plan.end == JobEnd::RowRefused) {
            showMessage(m_ctx, texto(m_ctx, "F_SHOW_M18", "Send refused: call code or TZR not a number."),
                        texto(m_ctx, "F_SHOW_M19", "Correct user %1. The board was not touched.")
                            .arg(QStringLiteral("%1 (%2)").arg(plan.refused.posicion + 1).arg(plan.refused.nombre)));
            return;
        }
        if (plan.rows > MAX_USUARIOS && !aceptaLimiteUsuarios(m_ctx, this, plan.rows))
            return;
    }

    if (m_ctx.debug)
        m_ctx.debug->btnClearClick();
    WindowJobObserver observador(m_ctx.progreso, m_ctx.showMessage);
    observador.onStarted = [this] {
        habilitaTransferencia(false);
        if (m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(false);
    };
    observador.onWorkDone = [this] {
        if (m_ctx.debug)
            m_ctx.debug->btnSaveClick();
        if (m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(true);
        habilitaTransferencia(true);
    };
    const BoardSession::Observing observando(*sesion, observador);
    const SendResult resultado = trabajo.run(plan.records);
    if (resultado.end == JobEnd::NotOpened) {
        showMessage(m_ctx, texto(m_ctx, "F_SHOW_M3", "¿¿??"), texto(m_ctx, "F_SHOW_M4", "¿¿??"));
        return;
    }
    if (resultado.end == JobEnd::Failed || resultado.end == JobEnd::PortUnavailable) {
        terminaTransferencia();
        showErrorBox(this, resultado.error);
        return;
    }
    if (!resultado.notRemembered.isEmpty())
        m_ctx.link->printDebug(QStringLiteral("TFormPrincipal.recuerdaSincronia Error: ") + resultado.notRemembered);
    if (resultado.complete())
        return;
    const QStringList nombres = resultado.failedNames();
    QString detalle = texto(m_ctx, "F_SHOW_M17", "Users not written: %1")
                          .arg(nombres.isEmpty() ? QStringLiteral("-") : nombres.join(QStringLiteral(", ")));
    if (!resultado.codesDiffer.isEmpty() && resultado.sent.completo()) {
        QStringList donde;
        for (qsizetype i = 0; i < resultado.codesDiffer.size(); ++i)
            donde << QStringLiteral("%1 (%2)").arg(resultado.codesDiffer[i] + 1).arg(resultado.namesDiffer.value(i));
        detalle = texto(m_ctx, "SYNC_CODES_DIFFER", "The board does not hold the codes sent to slots %1")
                      .arg(donde.join(QStringLiteral(", ")));
    }
    // Stopped or cut off: the users after the last one written never left the PC.
    if (resultado.sent.interrupcion != Interrupcion::Ninguna) {
        const QString escritos = texto(m_ctx, "LINE_SENT", "Users written: %1 of %2; the rest were not sent.")
                                     .arg(resultado.sent.usuarios)
                                     .arg(resultado.total);
        detalle = nombres.isEmpty() ? escritos : escritos + QLatin1Char(' ') + detalle;
    }
    const QString incompleto = texto(m_ctx, "F_SHOW_M16", "Send incomplete.");
    // Ended by an exchange outside the writes: the window is still locked for the transfer.
    if (!resultado.done() && resultado.sent.interrupcion == Interrupcion::Ninguna)
        terminaTransferencia();
    if (resultado.end == JobEnd::PortLost)
        puertoPerdido(incompleto);
    showMessage(m_ctx, incompleto, detalle);
}
