#include "TestCommand.h"

#include "Failure.h"
#include "RegistroPlaca.h"
#include "TestPlacas.h"
#include "TzrTool.h"

#include <QJsonArray>
#include <QJsonObject>

int TestCommand::execute()
{
    TestPlacas prueba(m_session->link(), *m_texts);
    QJsonArray boards;
    QStringList lines;
    int current = 0;
    TestPlacas::Vista vista;
    m_progress->setMensaje(say("CLI_BOARD_TEST", QStringLiteral("Board test")));
    m_progress->setMaximo(PLACAS_BUS - 1);
    vista.numP = [&](int n) {
        current = n;
        m_progress->setPosicion(n);
        m_progress->setContador(QStringLiteral("%1/%2").arg(n).arg(PLACAS_BUS - 1));
    };
    vista.linea = [&](const QString &line) {
        lines << line;
        // The line ends with "<length> -- <reader>".
        QString reader = line.section(QStringLiteral(" -- "), -1);
        // The JSON names the reader in English whatever the language of the line.
        for (int tipo = 0; tipo <= 2; ++tipo) {
            if (reader == say(claveTipoCode(tipo).toLatin1().constData(), Texto_Lector(tipo)))
                reader = Texto_Lector(tipo);
        }
        const QString length = line.section(QStringLiteral(" -- "), 0, -2).section(QStringLiteral(" : "), -1);
        boards << QJsonObject{{QStringLiteral("board"), current},
                              {QStringLiteral("codeLength"), length.toInt()},
                              {QStringLiteral("reader"), reader},
                              {QStringLiteral("line"), line}};
    };
    prueba.ejecuta(vista);
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
