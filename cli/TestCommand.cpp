#include "TestCommand.h"

#include "Failure.h"
#include "TestJob.h"
#include "TzrTool.h"

#include <QJsonArray>
#include <QJsonObject>

int TestCommand::execute()
{
    m_progress->setMensaje(say("CLI_BOARD_TEST", QStringLiteral("Board test")));
    m_progress->setMaximo(PLACAS_BUS - 1);
    const QList<TestedBoard> tested = TestJob(*m_session).run([this](int n) {
        m_progress->setPosicion(n);
        m_progress->setContador(QStringLiteral("%1/%2").arg(n).arg(PLACAS_BUS - 1));
    });
    QJsonArray boards;
    QStringList lines;
    for (const TestedBoard &t : tested) {
        lines << t.line;
        boards << QJsonObject{{QStringLiteral("board"), t.board},
                              {QStringLiteral("codeLength"), t.codeLength},
                              {QStringLiteral("reader"), t.reader},
                              {QStringLiteral("line"), t.line}};
    }
    m_progress->cerrar();
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
