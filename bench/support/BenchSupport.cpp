#include "BenchSupport.h"

#include "StandIn.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace bench {

void print(const QString &name, double value, const QString &unit)
{
    QTextStream(stdout) << name << ": " << QString::number(value, 'f', value < 10 ? 3 : 1)
                        << (unit.isEmpty() ? QString() : QStringLiteral(" ") + unit) << Qt::endl;
}

bool startStandIn(StandIn &sim, const QString &dataHome, int port, const QStringList &options)
{
    QDir(dataHome).mkpath(QStringLiteral("Korvel/ports"));
    if (!QFileInfo::exists(StandIn::program())) {
        QTextStream(stderr) << "tzr-panel-sim not found (set TZR_PANEL_SIM)" << Qt::endl;
        return false;
    }
    const QString error =
        sim.start(QStringList{QStringLiteral("--port"), QString::number(port)} + options, dataHome);
    if (!error.isEmpty()) {
        QTextStream(stderr) << "tzr-panel-sim did not start" << Qt::endl << error << Qt::endl;
        return false;
    }
    return true;
}

} // namespace bench
