#include "LineSettings.h"

#include "ProfileFile.h"

bool LineSettings::echoes(const QString &port) const
{
    if (port.isEmpty())
        return false;
    return ProfileFile(m_path).readString(Section, port.toUpper(), QStringLiteral("0")).trimmed() ==
           QLatin1String("1");
}

void LineSettings::setEchoes(const QString &port, bool on)
{
    if (port.isEmpty())
        return;
    ProfileFile(m_path).writeString(Section, port.toUpper(), on ? QStringLiteral("1") : QStringLiteral("0"));
}
