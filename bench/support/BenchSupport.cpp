#include "BenchSupport.h"

#include <QCoreApplication>
#include <QFileInfo>
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

} // namespace bench
