// The two transfers of the main window: receive a board's users into the open data file, and
// send the data file to the board. The work itself is the jobs' ReceiveJob and SendJob.

#include "TFormPrincipal.h"

#include "Asigna_Lenguaje.h"
#include "BoardSession.h"
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
#include "JobChores.h"
#include "JobOutcomeTexts.h"

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
    return JobOutcomeTexts(textosDe(ctx)).text(key, fallback);
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

void TFormPrincipal::terminaTransferencia()
{
    JobChores::endTransfer(m_ctx, [this](bool on) { habilitaTransferencia(on); });
}

JobChores TFormPrincipal::choresFor(BoardSession &sesion, const JobChores::Steps &pasos)
{
    return JobChores(m_ctx, sesion, [this](bool on) { habilitaTransferencia(on); }, pasos);
}

void TFormPrincipal::showLines(const OutcomeLines &lineas)
{
    if (lineas.success)
        showSuccess(m_ctx, lineas.line1, lineas.line2);
    else if (!lineas.empty())
        showMessage(m_ctx, lineas.line1, lineas.line2);
}

void TFormPrincipal::muestraFinTrabajo(const JobStatus &fin, const QString &incompleta)
{
    const JobOutcomeTexts textos(textosDe(m_ctx));
    switch (fin.end) {
    case JobEnd::PortLost:
        puertoPerdido(incompleta);
        return;
    case JobEnd::Stopped:
        showMessage(m_ctx, incompleta, textos.stopped(m_ctx.progreso && m_ctx.progreso->cancelado()));
        return;
    case JobEnd::RepliesMismatched:
        showMessage(m_ctx, incompleta, textos.repliesMismatched());
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
    if (!sesion || lineaOcupada() || !m_ctx.advertencia)
        return;
    m_ctx.advertencia->exec();
    QCoreApplication::processEvents();
    sesion->purge();
    if (!m_ctx.estado->confirmado())
        return;
    // A receive changes the file only once the whole board was read: it may be cancelled.
    JobChores tareas = choresFor(*sesion, {.cancellable = true});
    tareas.finishAtWorkDone(true, true);
    const ReceiveResult resultado = ReceiveJob(*sesion, ficheroAbierto()).run();
    const JobOutcomeTexts textos(textosDe(m_ctx));
    if (resultado.end == JobEnd::NotOpened)
        return;
    if (!resultado.done()) {
        tareas.finish();
        // The data file kept its old rows; say why the receive did not happen.
        muestraFinTrabajo(resultado, textos.receiveIncomplete());
        return;
    }
    if (!resultado.notRemembered.isEmpty())
        anota(QStringLiteral("TFormPrincipal.recuerdaSincronia Error: ") + resultado.notRemembered);
    if (!resultado.complete())
        showMessage(m_ctx, textos.receiveIncomplete(),
                    textos.text("F_SHOW_M15", "%1 user slots could not be read.").arg(resultado.failedSlots));
}

// Every row is encoded before the board is touched, so a row the board cannot hold stops the
// send with the board as it was.
bool TFormPrincipal::prepareSend(SendJob &trabajo, SendPlan &plan)
{
    const BoardSession::Hold reserva(*sesion());
    try {
        if (m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(false);
    } catch (const TzrError &e) {
        terminaTransferencia();
        showErrorBox(this, e.message());
        return false;
    }
    plan = trabajo.prepare(m_ToolOrden && m_ToolOrden->isChecked());
    if (plan.end == JobEnd::Failed) {
        terminaTransferencia();
        showErrorBox(this, plan.error);
        return false;
    }
    if (m_ctx.usuarios)
        m_ctx.usuarios->Activa_Tabla(true);
    const JobOutcomeTexts textos(textosDe(m_ctx));
    if (plan.end == JobEnd::RowRefused) {
        showLines(textos.rowRefused(plan.refused));
        return false;
    }
    if (!plan.leftOut.isEmpty() && m_pregunta && !m_pregunta(textos.leftOut(plan.leftOut), textos.sendOthers()))
        return false;
    return plan.rows <= MAX_USUARIOS || aceptaLimiteUsuarios(m_ctx, this, plan.rows);
}

void TFormPrincipal::Enviar_ATNClick()
{
    BoardSession *sesion = this->sesion();
    if (!sesion || lineaOcupada() || !m_ctx.advertencia3)
        return;
    m_ctx.advertencia3->exec();
    sesion->purge();
    QCoreApplication::processEvents();
    if (!m_ctx.estado->confirmado())
        return;
    SendJob trabajo(*sesion, ficheroAbierto());
    trabajo.setVerify(m_ctx.advertencia3->verificar());
    SendPlan plan;
    if (!prepareSend(trabajo, plan))
        return;
    JobChores tareas = choresFor(*sesion, {});
    tareas.finishAtWorkDone(true, false, true);
    const SendResult resultado = trabajo.run(plan.records);
    showSendOutcome(resultado, tareas);
}

void TFormPrincipal::showSendOutcome(const SendResult &resultado, JobChores &tareas)
{
    const JobOutcomeTexts textos(textosDe(m_ctx));
    if (resultado.end == JobEnd::NotOpened) {
        showLines(textos.noAnswer());
        return;
    }
    if (resultado.end == JobEnd::Failed || resultado.end == JobEnd::PortUnavailable) {
        tareas.finish();
        showErrorBox(this, resultado.error);
        return;
    }
    if (!resultado.notRemembered.isEmpty())
        anota(QStringLiteral("TFormPrincipal.recuerdaSincronia Error: ") + resultado.notRemembered);
    if (resultado.complete())
        return;
    // Ended by an exchange outside the writes: the window is still locked for the transfer.
    if (!resultado.done() && resultado.sent.interrupcion == Interrupcion::Ninguna)
        tareas.finish();
    if (resultado.end == JobEnd::PortLost)
        puertoPerdido(textos.sendIncomplete());
    showMessage(m_ctx, textos.sendIncomplete(), textos.sendDetail(resultado));
}
