#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

namespace bench {

void print(const QString &name, double value, const QString &unit)
{
    QTextStream(stdout) << name << ": " << QString::number(value, 'f', value < 10 ? 3 : 1)
                        << (unit.isEmpty() ? QString() : QStringLiteral(" ") + unit) << Qt::endl;
}

QString simPath()
{
    const QString env = qEnvironmentVariable("TZR_PANEL_SIM");
    if (!env.isEmpty())
        return env;
    return QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/tzr-panel-sim"))
        .canonicalFilePath();
}

bool startStandIn(QProcess &sim, const QString &dataHome, int port, const QString &boards)
{
    QDir(dataHome).mkpath(QStringLiteral("Korvel/ports"));
    if (!QFileInfo::exists(simPath())) {
        QTextStream(stderr) << "tzr-panel-sim not found (set TZR_PANEL_SIM)" << Qt::endl;
        return false;
    }
    sim.setProgram(simPath());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    sim.setProcessEnvironment(env);
    sim.setArguments({QStringLiteral("--port"), QString::number(port), QStringLiteral("--boards"), boards,
                      QStringLiteral("--print-link"), QStringLiteral("--wire-speed")});
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start();
    // The stand-in prints its link's line once the link exists.
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(10000) || sim.readLine().trimmed().isEmpty()) {
        QTextStream(stderr) << "tzr-panel-sim did not start" << Qt::endl;
        return false;
    }
    return true;
}

} // namespace bench
