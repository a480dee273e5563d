#include "JobChores.h"

#include "Contexto.h"
#include "FicheroActual.h"
#include "TFProgreso.h"
#include "TF_ShowMessage.h"
#include "TfrmDebug.h"
#include "TzrError.h"
#include "UsersTable.h"

JobChores::JobChores(Contexto &ctx, BoardSession &session, std::function<void(bool)> lock, Steps steps)
    : m_ctx(ctx), m_lock(std::move(lock)), m_observer(ctx.progreso, ctx.showMessage), m_observing(session, m_observer)
{
    if (steps.clearsLog && m_ctx.debug)
        m_ctx.debug->btnClearClick();
    m_observer.onStarted = [this, steps] {
        m_started = true;
        m_lock(false);
        if (steps.cancellable && m_ctx.progreso)
            m_ctx.progreso->ofreceCancelar();
        if (steps.closesTable && m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(false);
    };
}

JobChores::~JobChores()
{
    if (m_started && !m_finished)
        finish();
}

void JobChores::finishAtWorkDone(bool savesLog, bool closesProgress, bool logFailureFails)
{
    m_observer.onWorkDone = [this, savesLog, closesProgress, logFailureFails] {
        if (savesLog && logFailureFails && m_ctx.debug)
            m_ctx.debug->btnSaveClick();
        else if (savesLog)
            saveLog();
        if (m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(true);
        if (closesProgress && m_ctx.progreso)
            m_ctx.progreso->dismiss();
        m_lock(true);
        m_finished = true;
    };
}

void JobChores::saveLog()
{
    if (!m_ctx.debug)
        return;
    try {
        m_ctx.debug->btnSaveClick();
    } catch (const TzrError &) {
        // The log stays in memory.
    }
}

void JobChores::finish()
{
    m_finished = true;
    endTransfer(m_ctx, m_lock);
}

// After an error in the middle of a transfer the window returns to its connected state with the
// data file open, instead of staying locked with the progress window up.
void JobChores::endTransfer(Contexto &ctx, const std::function<void(bool)> &lock)
{
    if (ctx.progreso)
        ctx.progreso->dismiss();
    try {
        if (ctx.usuarios && !ctx.fichero->Nombre_Tabla().isEmpty())
            ctx.usuarios->Activa_Tabla(true);
    } catch (const TzrError &) {
    }
    lock(true);
}
