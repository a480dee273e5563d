#include "SeveralBoardsCommand.h"

#include "BackupFolders.h"
#include "BoardCodes.h"
#include "BoardRun.h"
#include "Failure.h"
#include "Prompt.h"
#include "ScanJob.h"
#include "SyncImageStore.h"
#include "TzrTool.h"


#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <functional>

namespace {

// The terminal's side of a run over several boards: a line per board on standard error, one JSON
// object per board with --json, and a prompt for a board's own code when one is refused.
class TerminalRunObserver : public BoardRunObserver
{
public:
    // boardLine: the line that starts each board, with the board, its place and the count;
    // mayAsk: whether a refused board may be asked for its own code.
    TerminalRunObserver(TerminalObserver &job, TerminalProgress &progress, QString boardLine, bool mayAsk,
                        std::function<void(const QString &)> note, std::function<void(const BoardRunEntry &)> finished)
        : m_job(job), m_progress(progress), m_boardLine(std::move(boardLine)), m_mayAsk(mayAsk), m_note(std::move(note)),
          m_finished(std::move(finished))
    {
    }
    ProgressView *progress() override { return m_job.progress(); }
    MessageView *messages() override { return m_job.messages(); }
    void boardStarted(int board, int index, int count) override
    {
        m_progress.setBoard(board);
        m_note(m_boardLine.arg(board).arg(index).arg(count));
    }
    void boardFinished(const BoardRunEntry &entry) override
    {
        m_progress.dismiss();
        m_finished(entry);
    }
    std::optional<QString> askCode(int board, bool master) override
    {
        return m_mayAsk ? Prompt::boardOwnCode(board, master) : std::nullopt;
    }

private:
    TerminalObserver &m_job;
    TerminalProgress &m_progress;
    QString m_boardLine;
    bool m_mayAsk;
    std::function<void(const QString &)> m_note;
    std::function<void(const BoardRunEntry &)> m_finished;
};

int boardStatus(BoardOutcome outcome)
{
    switch (outcome) {
    case BoardOutcome::Done:
        return TzrTool::Success;
    case BoardOutcome::Different:
    case BoardOutcome::GuardRefused:
    case BoardOutcome::NoImage:
    case BoardOutcome::Stopped:
    case BoardOutcome::FailedUsers:
    case BoardOutcome::NotDone:
        return TzrTool::Incomplete;
    case BoardOutcome::CodeRefused:
    case BoardOutcome::NotAnswering:
        return TzrTool::NoAnswer;
    case BoardOutcome::Failed:
        break;
    }
    return TzrTool::FileFailure;
}

} // namespace

BoardCodes SeveralBoardsCommand::boardCodes(QChar letra)
{
    BoardCodes codes;
    if (!m_options.codeFile.isEmpty()) {
        QString error;
        if (!BoardCodes::parse(BoardCodes::fileText(m_options.codeFile), codes, error))
            throw Failure{TzrTool::Usage, QStringLiteral("%1: %2").arg(m_options.codeFile, error)};
        return codes;
    }
    const bool master = letra == QLatin1Char('M');
    codes.setDefault(Prompt::checkedCode(Prompt::codeFromEnvironmentOrPrompt(
        master, master ? say("CLI_PROMPT_MASTER_ALL", QStringLiteral("Master code, tried on every board: "))
                       : say("CLI_PROMPT_PROG_ALL", QStringLiteral("Programming code, tried on every board: ")))));
    return codes;
}

QList<int> SeveralBoardsCommand::boardsToRun(const QList<int> &remembered, QList<int> &silent)
{
    if (!m_options.allBoards)
        return m_options.boards;
    // Each probe retried as reads are: one unanswered probe must not drop a board from the run.
    ScanJob scan(*m_session);
    scan.setAttempts(3);
    const ScanResult result = scan.run();
    m_progress->dismiss();
    jobFailed(result);
    // A board the data file has met in full is expected: silent, it gets its row all the same.
    QList<int> boards = result.boards;
    for (int board : remembered) {
        if (!boards.contains(board)) {
            boards << board;
            silent << board;
        }
    }
    std::sort(boards.begin(), boards.end());
    if (boards.isEmpty())
        throw Failure{TzrTool::NoAnswer, QStringLiteral("no board answered on %1").arg(m_session->portName())};
    return boards;
}

int SeveralBoardsCommand::execute()
{
    const QString &name = m_options.command;
    const bool backup = name == QLatin1String("backup");
    BoardRun::Kind kind = BoardRun::Kind::Compare;
    if (backup)
        kind = BoardRun::Kind::SaveImage;
    else if (name == QLatin1String("send"))
        kind = m_options.parser->isSet(QStringLiteral("changes")) ? BoardRun::Kind::SendChanges : BoardRun::Kind::Send;
    int keep = 0;
    if (backup && m_options.parser->isSet(QStringLiteral("keep"))) {
        bool ok = false;
        keep = m_options.parser->value(QStringLiteral("keep")).toInt(&ok);
        if (!ok || keep < 1)
            throw Failure{TzrTool::Usage, QStringLiteral("--keep takes a number of runs, 1 or more")};
    }
    if (!backup)
        dataFile(m_options.arguments.at(0), false,
                 kind == BoardRun::Kind::Compare ? Access::Reads : Access::Writes);
    const BoardCodes codes = boardCodes(backup ? QLatin1Char('M') : QLatin1Char('P'));
    watchInterrupt();
    const QList<int> remembered =
        backup ? QList<int>{} : SyncImageStore(file().directory, file().table).boards();
    QList<int> silent;
    const QList<int> boards = boardsToRun(remembered, silent);

    const QDateTime now = QDateTime::currentDateTime();
    const QString root = m_options.arguments.at(0);
    QString folder = root;
    if (backup) {
        const BackupFolders::RunFolder made = BackupFolders::make(root, now, keep);
        if (!made.made)
            throw Failure{TzrTool::FileFailure, QStringLiteral("cannot create the folder %1").arg(made.path)};
        folder = made.path;
    }

    const int status = runBoards(kind, boards, silent, codes, folder, now.date());
    int saved = 0;
    for (const BoardRunEntry &e : m_report.boards)
        saved += e.outcome == BoardOutcome::Done ? 1 : 0;
    if (backup) {
        for (const BackupFolders::Removal &old : BackupFolders::rotate(root, folder, keep, saved))
            note(old.removed ? say("CLI_RUN_REMOVED", QStringLiteral("Removed the old run %1")).arg(old.path)
                             : say("CLI_RUN_NOT_REMOVED", QStringLiteral("could not remove the old run %1")).arg(old.path));
    }
    return status;
}

int SeveralBoardsCommand::runBoards(BoardRun::Kind kind, const QList<int> &boards, const QList<int> &silent,
                                    const BoardCodes &codes, const QString &folder, const QDate &date,
                                    bool reportOnOutput)
{
    BoardRun run(*m_session, kind);
    run.setFile(file());
    run.setByName(kind != BoardRun::Kind::SaveImage && m_options.parser->isSet(QStringLiteral("by-name")));
    run.setVerify(kind == BoardRun::Kind::Send && m_options.parser->isSet(QStringLiteral("verify")));
    run.setImageFolder(folder, date);
    run.setCodes(codes);
    run.setNotAnswering(silent);
    TerminalRunObserver observer(
        *m_observer, *m_progress, say("CLI_RUN_BOARD", QStringLiteral("Board %1 (%2 of %3)")), m_mayAsk,
        [this](const QString &text) { note(text); },
        [this](const BoardRunEntry &e) {
            if (m_options.json)
                printJson(QJsonObject{{QStringLiteral("board"), e.board},
                                      {QStringLiteral("outcome"), BoardRunReport::outcomeKey(e.outcome)},
                                      {QStringLiteral("written"), e.written},
                                      {QStringLiteral("total"), e.total},
                                      {QStringLiteral("failedUsers"), QJsonArray::fromStringList(e.failedUsers)},
                                      {QStringLiteral("leftOut"), QJsonArray::fromStringList(e.leftOut)},
                                      {QStringLiteral("differences"), e.differences},
                                      {QStringLiteral("seconds"), static_cast<double>(e.milliseconds) / 1000.0},
                                      {QStringLiteral("detail"), e.detail}});
            else
                note(say("CLI_RUN_OUTCOME", QStringLiteral("Board %1: %2"))
                         .arg(e.board)
                         .arg(BoardRunReport::outcomeText(*m_texts, e.outcome)));
        });
    m_boardRun = &run;
    const BoardRunReport report = run.run(boards, &observer);
    m_boardRun = nullptr;
    m_progress->dismiss();
    if (!m_options.json && reportOnOutput) {
        // The report on standard output, without the byte-order mark a spreadsheet file gets.
        QByteArray csv = report.toCsv();
        if (csv.startsWith("\xEF\xBB\xBF"))
            csv.remove(0, 3);
        m_out << QString::fromUtf8(csv);
        m_out.flush();
    }
    QStringList left;
    int status = TzrTool::Success;
    for (const BoardRunEntry &e : report.boards) {
        // A lost port is the port not answering, as for one board.
        status = std::max(status, e.portLost ? int(TzrTool::NoAnswer) : boardStatus(e.outcome));
        for (const QString &user : e.leftOut) {
            if (!left.contains(user))
                left << user;
        }
    }
    leftOut(left);
    m_report = report;
    return status;
}
