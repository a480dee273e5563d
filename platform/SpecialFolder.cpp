#include "SpecialFolder.h"

#include "PrivateFile.h"
#include "TzrError.h"

#include <QDir>
#include <QFile>

#include <pwd.h>
#include <unistd.h>

namespace {

// The root itself has nothing left once its separator goes, like "C:" for "C:\".
QString withoutTrailingSeparator(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    return clean == QLatin1String("/") ? QString() : clean;
}

} // namespace

QString SpecialFolder::home()
{
    QString dir = qEnvironmentVariable("HOME");
    if (dir.isEmpty()) {
        // Daemons and some test runners start without HOME; the password database still knows.
        if (const passwd *entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
            dir = QFile::decodeName(entry->pw_dir);
    }
    if (dir.isEmpty() || !QDir::isAbsolutePath(dir))
        return {};
    return QDir::cleanPath(dir);
}

QString SpecialFolder::path(int folder)
{
    if (folder != LocalAppData)
        return {};
    // The XDG rules say a relative XDG_DATA_HOME is invalid and must be ignored.
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return withoutTrailingSeparator(xdg);
    const QString dir = home();
    if (dir.isEmpty())
        return {};
    return QDir::cleanPath(dir + QStringLiteral("/.local/share"));
}

QString SpecialFolder::korvelFolder()
{
    return path(LocalAppData) + QStringLiteral("/Korvel");
}

QString SpecialFolder::defaultWorkingDirectory()
{
    return QDir::cleanPath(home() + QStringLiteral("/KORVEL"));
}

QString SpecialFolder::korvelStateFolder()
{
    const QString xdg = qEnvironmentVariable("XDG_STATE_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg + QStringLiteral("/Korvel"));
    return QDir::cleanPath(home() + QStringLiteral("/.local/state/Korvel"));
}

QString SpecialFolder::debugLogFolder(const QString &programFolder)
{
    // access() rather than the mode bits: it also knows read-only mounts and the caller's groups.
    if (!programFolder.isEmpty() && ::access(QFile::encodeName(programFolder).constData(), W_OK | X_OK) == 0)
        return programFolder;
    const QString state = korvelStateFolder();
    // A folder that cannot be made shows up as the save's own error, with the system's message.
    try {
        PrivateFile::makeFolder(state);
    } catch (const IoError &) {
    }
    return state;
}
