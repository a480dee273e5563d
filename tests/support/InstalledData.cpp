#include "InstalledData.h"

#include <QDir>
#include <QFile>

bool copyInstalledData(const QString &buildDir, const QString &korvel)
{
    if (!QDir().mkpath(korvel))
        return false;
    for (const char *name : {"Patron.db", "Patron.px", "Patron.val", "Patron.XG0", "Patron.YG0", "TZR_LANG.ini"}) {
        if (!QFile::copy(buildDir + QStringLiteral("/data/") + QLatin1String(name),
                         korvel + QLatin1Char('/') + QLatin1String(name)))
            return false;
    }
    return true;
}
