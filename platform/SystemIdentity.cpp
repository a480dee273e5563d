#include "SystemIdentity.h"

#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

#include <vector>

QString SystemIdentity::userName()
{
    const uid_t uid = geteuid();
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd *found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

QString SystemIdentity::hostName()
{
    return QSysInfo::machineHostName();
}
