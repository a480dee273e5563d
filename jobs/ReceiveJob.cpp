#include "ReceiveJob.h"

#include "BoardMemory.h"
#include "BoardSession.h"
#include "Clock.h"
#include "Comunicacion_TZR.h"
#include "JobHistory.h"
#include "JobObserver.h"
#include "TablaCursor.h"
#include "TextLookup.h"
#include "TransferReport.h"
#include "TransferScope.h"
#include "Transferencias.h"
#include "UserArea.h"

ReceiveResult ReceiveJob::run()
{
    ReceiveResult result = receive();
    HistoryEntry entry = JobHistory::start(m_session, History::Job::Receive, m_board);
    entry.read = true;
    entry.outcome = JobHistory::outcomeOf(result, result.complete());
    if (result.done())
        entry.users = result.users;
    if (result.failedSlots > 0)
        entry.detail = QStringLiteral("%1 slots could not be read; the file kept its rows").arg(result.failedSlots);
    JobHistory::record(m_session, m_file, entry, result);
    return result;
}

ReceiveResult ReceiveJob::receive()
{
    ReceiveResult result;
    Comunicacion_TZR &link = m_session.link();
    const Comunicacion_TZR::Reserva reserva(link);
    JobObserver none;
    JobObserver &observer = m_session.observer() ? *m_session.observer() : none;
    ProgressView *progress = observer.progress();
    UserArea read;
    int board = -1;
    try {
        board = link.placaActual();
        m_board = board;
        TransferScope transfer(link, TransferScope::Close::RestartIfUnanswered);
        if (!transfer.open()) {
            result.end = JobEnd::NotOpened;
            return result;
        }
        observer.started();
        if (progress) {
            progress->setMaximum(MAX_USUARIOS);
            progress->display();
            progress->setMessage(
                m_session.texts().texto(QStringLiteral("SHOW_M5"), QStringLiteral("Receiving from system :")));
        }
        {
            TablaCursor tabla(m_file.directory, m_file.table);
            Clock clock;
            Transferencias transferencias(link, m_session.texts(), clock);
            transferencias.setProgreso(progress);
            transferencias.setMensajes(observer.messages());
            transferencias.setAreaLeida(&read);
            const ResultadoRecepcion r = transferencias.Conexion_General(tabla);
            result.users = r.usuarios;
            result.failedSlots = r.slotsFallidos;
        }
        observer.workDone();
        try {
            transfer.close();
        } catch (const std::exception &e) {
            // The rows are in the file already; the next operation meets whatever went wrong.
            link.printDebug(QStringLiteral("ReceiveJob close Error: ") + failureStatus(e).error);
        }
    } catch (const std::exception &e) {
        static_cast<JobStatus &>(result) = failureStatus(e);
        return result;
    }
    if (result.complete())
        result.notRemembered = BoardMemory::remember(m_file, board, &read);
    return result;
}
