#include "SerialDriver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folders QSerialPort looks in for its UUCP-style "LCK..<name>" lock files, in its order.
const char *const LockFolders[] = {"/var/lock", "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
                                   "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock"};

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

// The lock is named after the device below /dev, slashes made underscores ("pts_3").
QString lockName(const QString &device)
{
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

std::optional<PortHolder> lockFileHolder(const QString &device)
{
    for (const char *folder : LockFolders) {
        const QString path = QString::fromLatin1(folder) + QLatin1Char('/') + lockName(device);
        if (!QFileInfo::exists(path))
            continue;
        QLockFile lock(path);
        qint64 pid = 0;
        QString host;
        QString application;
        if (!lock.getLockInfo(&pid, &host, &application) || pid <= 0)
            continue;
        // Only "no such process" makes a lock stale: EPERM is a live process of another user,
        // and the device is as busy as if it were ours.
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            continue;
        const QString name = processName(pid);
        return PortHolder{name.isEmpty() ? application : name, pid};
    }
    return std::nullopt;
}

// Without a lock file the holder can still be found among the processes this user may see.
PortHolder descriptorHolder(const QString &device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        bool numeric = false;
        const qint64 id = pid.toLongLong(&numeric);
        if (!numeric || id == ::getpid())
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() == target)
                return {processName(id), id};
        }
    }
    return {};
}

} // namespace

int SerialDriver::requestLowLatency(int descriptor)
{
    serial_struct serial{};
    if (::ioctl(descriptor, TIOCGSERIAL, &serial) != 0)
        return errno;
    if ((serial.flags & ASYNC_LOW_LATENCY) != 0)
        return 0;
    serial.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(descriptor, TIOCSSERIAL, &serial) != 0)
        return errno;
    return 0;
}

int SerialDriver::latencyTimer(const QString &device)
{
    const QString name = QFileInfo(QFileInfo(device).canonicalFilePath()).fileName();
    if (name.isEmpty())
        return -1;
    QFile file(QStringLiteral("/sys/class/tty/%1/device/latency_timer").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const int value = QString::fromLatin1(file.readAll()).trimmed().toInt(&ok);
    return ok ? value : -1;
}

int SerialDriver::probeOpen(const QString &device)
{
    const int descriptor =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return errno;
    ::close(descriptor);
    return 0;
}

int SerialDriver::resetLine(const QString &device)
{
    const int descriptor =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return errno;
    termios tio{};
    int refused = ::tcgetattr(descriptor, &tio) == 0 ? 0 : errno;
    if (refused == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
        tio.c_cflag |= CREAD;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        ::cfsetspeed(&tio, B9600);
        if (::tcsetattr(descriptor, TCSANOW, &tio) != 0)
            refused = errno;
    }
    ::close(descriptor);
    return refused;
}

int SerialDriver::releaseExclusive(int descriptor)
{
    return ::ioctl(descriptor, TIOCNXCL) == 0 ? 0 : errno;
}

std::optional<PortHolder> SerialDriver::lockHolder(const QString &device)
{
    return lockFileHolder(device);
}

PortHolder SerialDriver::deviceHolder(const QString &device)
{
    return descriptorHolder(device);
}

QString SerialDriver::owningGroup(const QString &device)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(device).constData(), &status) != 0)
        return {};
    if (const group *entry = ::getgrgid(status.st_gid))
        return QString::fromLocal8Bit(entry->gr_name);
    return QString::number(status.st_gid);
}
