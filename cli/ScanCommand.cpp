#include "ScanCommand.h"

#include "Failure.h"
#include "ScanJob.h"
#include "TzrTool.h"

#include <QJsonArray>
#include <QJsonObject>

int ScanCommand::execute()
{
    watchInterrupt();
    const ScanResult result = ScanJob(*m_session).run();
    if (!result.done())
        jobFailed(result);
    const QList<int> &found = result.boards;
    if (m_options.json) {
        QJsonArray boards;
        for (int b : found)
            boards << b;
        printJson(
            QJsonObject{{QStringLiteral("port"), m_session->portName()}, {QStringLiteral("boards"), boards}});
    } else {
        for (int b : found)
            m_out << QStringLiteral("%1").arg(b, 2, 10, QLatin1Char('0')) << '\n';
        m_out.flush();
    }
    if (found.isEmpty())
        throw Failure{TzrTool::NoAnswer, say("CLI_NO_BOARD", QStringLiteral("no board answered on %1")).arg(m_session->portName())};
    return TzrTool::Success;
}
