#include "TestCommand.h"

#include "Failure.h"
#include "TestJob.h"
#include "TzrTool.h"

#include <QJsonArray>
#include <QJsonObject>

int TestCommand::execute()
{
    QJsonArray boards;
    QStringList lines;
    m_progress->setMessage(say("CLI_BOARD_TEST", QStringLiteral("Board test")));
    m_progress->setMaximum(TestJob::LastBoard);
    TestJob::Observer observer;
    observer.probing = [&](int n) {
        m_progress->setPosition(n);
        m_progress->setCounter(QStringLiteral("%1/%2").arg(n).arg(TestJob::LastBoard));
    };
    observer.found = [&](const BoardFound &board, const QString &line) {
        lines << line;
        boards << QJsonObject{{QStringLiteral("board"), board.board},
                              {QStringLiteral("codeLength"), board.codeLength},
                              {QStringLiteral("reader"), TestJob::readerName(board.reader)},
                              {QStringLiteral("line"), line}};
    };
    TestJob(*m_session).run(observer);
    m_progress->dismiss();
    if (m_options.json) {
        printJson(
            QJsonObject{{QStringLiteral("port"), m_session->portName()}, {QStringLiteral("boards"), boards}});
    } else {
        for (const QString &line : lines)
            m_out << line << '\n';
        m_out.flush();
    }
    if (lines.isEmpty())
        throw Failure{TzrTool::NoAnswer, say("CLI_NO_BOARD", QStringLiteral("no board answered on %1")).arg(m_session->portName())};
    return TzrTool::Success;
}
