#include "StandIn.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

StandIn::~StandIn()
{
    stop();
}

QString StandIn::program()
{
    const QString named = qEnvironmentVariable("TZR_PANEL_SIM");
    if (!named.isEmpty())
        return named;
    const QString build = qEnvironmentVariable("TZR_BUILD_DIR");
    if (!build.isEmpty())
        return build + QStringLiteral("/sim/tzr-panel-sim");
    return QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/tzr-panel-sim"))
        .absoluteFilePath();
}

QString StandIn::start(const QStringList &options, const QString &dataHome, std::chrono::milliseconds timeout)
{
    stop();
    m_fields.clear();
    const QString executable = program();
    if (!QFileInfo(executable).isExecutable())
        return QStringLiteral("%1 has not been built").arg(executable);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!dataHome.isEmpty())
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(executable, QStringList{QStringLiteral("--print-link")} + options);
    if (!m_process.waitForStarted())
        return QStringLiteral("tzr-panel-sim did not start: %1").arg(m_process.errorString());

    // Waited for in the event loop, so that what the test has set going keeps running meanwhile.
    if (!m_process.canReadLine()) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &loop, [&] {
            if (m_process.canReadLine())
                loop.quit();
        });
        QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
        timer.start(timeout);
        loop.exec();
    }
    if (!m_process.canReadLine()) {
        if (m_process.state() == QProcess::NotRunning)
            return QStringLiteral("tzr-panel-sim stopped with status %1 before printing its link")
                .arg(m_process.exitCode());
        return QStringLiteral("tzr-panel-sim printed no link within %1 ms").arg(timeout.count());
    }
    const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    m_fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (m_fields.size() < 2)
        return QStringLiteral("tzr-panel-sim printed a link line not understood: %1").arg(line);
    return QString();
}

void StandIn::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000))
        kill();
}

void StandIn::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(10000);
}

QString StandIn::portName() const
{
    return QFileInfo(link()).fileName();
}
