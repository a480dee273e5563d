#include "SyncCommand.h"

#include "BoardCodes.h"
#include "Failure.h"
#include "SyncImageStore.h"
#include "TzrTool.h"

int SyncCommand::execute()
{
    dataFile(m_options.arguments.at(0), false, Access::Writes);
    const QList<int> remembered = SyncImageStore(file().directory, file().table).boards();
    // Without an image a send of changes writes nothing anywhere: say so once, not per board.
    if (remembered.isEmpty())
        throw Failure{TzrTool::FileFailure,
                      say("CLI_SYNC_NO_BOARD", QStringLiteral("%1 has met no board in full, so there is nothing to "
                                                              "sync: send it whole (tzr send), receive or compare first"))
                          .arg(m_data->tableName())};
    if (m_options.quiet) {
        m_mayAsk = false;
        requireUnattendedCode();
    }
    const BoardCodes codes = boardCodes(QLatin1Char('P'));
    watchInterrupt();
    QList<int> silent;
    QList<int> boards = remembered;
    if (m_options.allBoards)
        boards = boardsToRun(remembered, silent);
    else if (m_options.parser->isSet(QStringLiteral("board")))
        boards = m_options.boards;
    // The report goes to a timer's journal: under --quiet only its summary and the problems.
    const int status =
        runBoards(BoardRun::Kind::SendChanges, boards, silent, codes, QString(), QDate(), !m_options.quiet);
    printSummary();
    return status;
}

void SyncCommand::requireUnattendedCode() const
{
    if (!m_options.codeFile.isEmpty() || qEnvironmentVariableIsSet("TZR_CODE"))
        return;
    throw Failure{TzrTool::Usage, say("CLI_SYNC_NEEDS_CODE", QStringLiteral("with --quiet the programming code must "
                                                                            "come from --code-file FILE or TZR_CODE"))};
}

void SyncCommand::printSummary()
{
    int done = 0;
    int changed = 0;
    for (const BoardRunEntry &e : m_report.boards) {
        changed += e.written;
        if (e.outcome == BoardOutcome::Done) {
            ++done;
            continue;
        }
        // Without --quiet the board's own line has said it already.
        if (m_options.quiet) {
            QString line = say("CLI_RUN_OUTCOME", QStringLiteral("Board %1: %2"))
                               .arg(e.board)
                               .arg(BoardRunReport::outcomeText(*m_texts, e.outcome));
            if (!e.detail.isEmpty())
                line += QStringLiteral(" (%1)").arg(e.detail);
            m_output.error(line);
        }
    }
    m_err << say("CLI_SYNC_SUMMARY", QStringLiteral("Sync of %1: %2 of %3 boards done, %4 slots written or emptied"))
                 .arg(m_data->tableName())
                 .arg(done)
                 .arg(m_report.boards.size())
                 .arg(changed)
          << '\n';
    m_err.flush();
}
