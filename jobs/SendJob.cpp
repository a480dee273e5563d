#include "SendJob.h"

#include "BoardMemory.h"
#include "BoardSession.h"
#include "Clock.h"
#include "CodeReadback.h"
#include "Comunicacion_TZR.h"
#include "JobHistory.h"
#include "JobObserver.h"
#include "TablaCursor.h"
#include "TransferReport.h"
#include "TransferScope.h"
#include "UserArea.h"

QStringList SendResult::failedNames() const
{
    QStringList names;
    for (const QString &n : sent.usuariosFallidos + namesDiffer) {
        if (!names.contains(n.trimmed()))
            names << n.trimmed();
    }
    return names;
}

SendPlan SendJob::prepare(bool byName)
{
    SendPlan plan;
    try {
        Clock clock;
        const Transferencias transferencias(m_session.link(), m_session.texts(), clock);
        TablaCursor tabla(m_file.directory, m_file.table);
        QList<bool> leftOut;
        const QList<FilaUsuario> rows = tabla.rowsForSend(byName, m_today, leftOut);
        plan.rows = rows.size();
        if (!transferencias.Prepara_Envio(rows, plan.records, plan.refused, leftOut))
            plan.end = JobEnd::RowRefused;
        plan.leftOut = namesLeftOut(plan.records);
    } catch (const std::exception &e) {
        static_cast<JobStatus &>(plan) = failureStatus(e);
    }
    return plan;
}

SendResult SendJob::run(const QList<RegistroEnvio> &records)
{
    SendResult result = write(records);
    HistoryEntry entry = JobHistory::start(m_session, History::Job::Send, m_board);
    entry.outcome = JobHistory::outcomeOf(result, result.complete());
    if (result.end != JobEnd::NotOpened && result.end != JobEnd::PortUnavailable) {
        // What the board held is known only from the file's memory of it; else every user is
        // named as written.
        entry.changes = m_before ? History::changesBetween(*m_before, records) : History::written(records);
        entry.users = result.complete() ? usersToWrite(records) : -1;
        const QStringList failed = result.failedNames();
        if (!failed.isEmpty())
            entry.detail = QStringLiteral("not written or not as sent: ") + failed.join(QStringLiteral(", "));
    }
    JobHistory::record(m_session, m_file, entry, result);
    return result;
}

SendResult SendJob::write(const QList<RegistroEnvio> &records)
{
    SendResult result;
    result.total = usersToWrite(records);
    Comunicacion_TZR &link = m_session.link();
    const Comunicacion_TZR::Reserva reserva(link);
    JobObserver none;
    JobObserver &observer = m_session.observer() ? *m_session.observer() : none;
    int board = -1;
    try {
        board = link.placaActual();
        m_board = board;
        m_before = BoardMemory::recall(m_file, board);
        TransferScope transfer(link, TransferScope::Close::AlwaysRestart);
        if (!transfer.open()) {
            result.end = JobEnd::NotOpened;
            return result;
        }
        observer.started();
        if (ProgressView *progress = observer.progress())
            progress->display();
        // The port is closed and opened again before the writes.
        SerialPort &port = m_session.port();
        const QString name = port.portName();
        port.close();
        if (!port.open(name)) {
            result.end = JobEnd::PortUnavailable;
            result.error = port.errorString();
            BoardMemory::remember(m_file, board, nullptr);
            return result;
        }
        BoardMemory::remember(m_file, board, nullptr);
        Clock clock;
        Transferencias transferencias(link, m_session.texts(), clock);
        transferencias.setProgreso(observer.progress());
        transferencias.setMensajes(observer.messages());
        result.sent = transferencias.Envio_General(records, name);
        if (result.sent.interrupcion == Interrupcion::PuertoPerdido) {
            result.end = JobEnd::PortLost;
            result.error = result.sent.motivo;
        } else if (result.sent.interrupcion == Interrupcion::Detenida) {
            result.end = JobEnd::Stopped;
        } else if (m_verify) {
            QList<int> allSlots;
            for (int i = 0; i < MAX_USUARIOS; ++i)
                allSlots << i;
            result.codesDiffer = Relee_Codigos(link, transferencias, allSlots, UserArea::fromRecords(records)).distintos;
            for (int slot : result.codesDiffer)
                result.namesDiffer << (slot < records.size() ? records[slot].fila.NOMBRE.trimmed() : QString());
        }
        observer.workDone();
        transfer.close();
    } catch (const std::exception &e) {
        static_cast<JobStatus &>(result) = failureStatus(e);
        // Part of the board may have been written: the file no longer knows what it holds.
        BoardMemory::remember(m_file, board, nullptr);
        return result;
    }
    const UserArea written = UserArea::fromRecords(records);
    const QString error = BoardMemory::remember(m_file, board, result.complete() ? &written : nullptr);
    if (result.complete())
        result.notRemembered = error;
    return result;
}
