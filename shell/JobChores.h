#pragma once

#include "BoardSession.h"
#include "WindowJobObserver.h"

#include <functional>

class Contexto;

// What every transfer handler of the main window does around its job: the debug log cleared
// before and saved after, the controls locked and the users table closed while it runs, and,
// once it ends, the progress window closed, the table opened again and the controls unlocked.
// Whatever was started is undone when the handler leaves, on every path, exceptions included.
class JobChores
{
public:
    struct Steps
    {
        // Cancel on the progress window: the job changes nothing before it has read everything.
        bool cancellable = false;
        bool closesTable = true;
        bool clearsLog = true;
    };
    // lock(false) disables what a running job must not meet, lock(true) enables it again.
    JobChores(Contexto &ctx, BoardSession &session, std::function<void(bool)> lock, Steps steps);
    ~JobChores();
    JobChores(const JobChores &) = delete;
    JobChores &operator=(const JobChores &) = delete;

    // The window unlocks at the job's workDone, before the transfer closes; an error reopening
    // the table fails the job, whose handler then ends the transfer itself. A send's log that
    // cannot be saved fails it too (logFailureFails); a receive does not report it.
    void finishAtWorkDone(bool savesLog, bool closesProgress, bool logFailureFails = false);
    // Saves the debug log; a failed save is not reported.
    void saveLog();
    // Ends the transfer; the destructor does it when the job started and nothing ended it.
    void finish();

    // The window back in its state before a transfer: used also where the table was closed for
    // a preparation only.
    static void endTransfer(Contexto &ctx, const std::function<void(bool)> &lock);

private:
    Contexto &m_ctx;
    std::function<void(bool)> m_lock;
    WindowJobObserver m_observer;
    BoardSession::Observing m_observing;
    bool m_started = false;
    bool m_finished = false;
};
