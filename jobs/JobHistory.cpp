#include "JobHistory.h"

#include "BoardSession.h"

QString JobHistory::outcomeOf(const JobStatus &status, bool complete)
{
    switch (status.end) {
    case JobEnd::Done:
        return complete ? History::Outcome::Done : History::Outcome::Incomplete;
    case JobEnd::NotOpened:
        return History::Outcome::NoAnswer;
    case JobEnd::Stopped:
        return History::Outcome::Stopped;
    case JobEnd::PortLost:
        return History::Outcome::PortLost;
    case JobEnd::PortUnavailable:
        return History::Outcome::PortUnavailable;
    case JobEnd::RepliesMismatched:
        return History::Outcome::RepliesMismatched;
    case JobEnd::RowRefused:
    case JobEnd::Failed:
        break;
    }
    return History::Outcome::Failed;
}

HistoryEntry JobHistory::start(const BoardSession &session, const QString &job, int board)
{
    return History::start(job, board, session.portName());
}

void JobHistory::record(BoardSession &session, const DataFileRef &file, HistoryEntry &entry, JobStatus &status)
{
    const QString error = History::record(file, entry);
    if (error.isEmpty())
        return;
    status.notRecorded = error;
    session.log(QStringLiteral("History Error: ") + error);
    emit session.notRecorded(error);
}
