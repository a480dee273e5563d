#include "PortLink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

PortLink::~PortLink()
{
    remove();
}

QString PortLink::korvelFolder()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Korvel");
}

QString PortLink::linkPath(int comNumber)
{
    return korvelFolder() + QStringLiteral("/ports/COM%1").arg(comNumber);
}

bool PortLink::create(const QString &path, const QString &target, QString *error)
{
    const auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(QStringLiteral("Cannot create the folder %1").arg(info.absolutePath()));
    if (info.isSymLink()) {
        if (!QFile::remove(path))
            return fail(QStringLiteral("Cannot replace the link %1").arg(path));
    } else if (info.exists()) {
        return fail(QStringLiteral("%1 exists and is not a link; not replacing it").arg(path));
    }
    if (!QFile::link(target, path))
        return fail(QStringLiteral("Cannot create the link %1 -> %2").arg(path, target));
    m_path = path;
    m_target = target;
    return true;
}

void PortLink::remove()
{
    if (m_path.isEmpty())
        return;
    if (QFileInfo(m_path).symLinkTarget() == QFileInfo(m_target).absoluteFilePath())
        QFile::remove(m_path);
    m_path.clear();
}
