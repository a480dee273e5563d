#include "DataFileLock.h"

#include "TableFamily.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QString rowsMember(const QString &path)
{
    return TableFamily::baseOf(path) + QStringLiteral(".db");
}

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

// flock() tells no holder; the kernel's list of locks does, by device and inode.
std::optional<DataFileLock::Holder> flockHolder(const struct stat &st)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString file = QStringLiteral("%1:%2:%3")
                             .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                             .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                             .arg(static_cast<qulonglong>(st.st_ino));
    const QStringList lines = QString::fromLatin1(locks.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; a waiter's line starts "1: ->".
        const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (f.size() < 6 || f.at(1) != QLatin1String("FLOCK") || f.at(5).compare(file, Qt::CaseInsensitive) != 0)
            continue;
        const qint64 pid = f.at(4).toLongLong();
        if (pid <= 0)
            return DataFileLock::Holder{};
        return DataFileLock::Holder{processName(pid), pid};
    }
    return std::nullopt;
}

} // namespace

DataFileBusy::DataFileBusy(const QString &file, const DataFileLock::Holder &holder)
    : TzrError(holder.program.isEmpty()
                   ? QStringLiteral("%1 is in use by another program").arg(file)
                   : QStringLiteral("%1 is in use by %2 (process %3)").arg(file, holder.program).arg(holder.pid)),
      m_file(file), m_holder(holder)
{
}

DataFileLock::~DataFileLock()
{
    unlock();
}

void DataFileLock::lock(const QString &path)
{
    unlock();
    const QString member = rowsMember(path);
    const QByteArray name = QFile::encodeName(member);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw IoError(QStringLiteral("Cannot open %1: %2").arg(member, QString::fromLocal8Bit(std::strerror(errno))));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        struct stat st{};
        const bool known = ::fstat(fd, &st) == 0;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            const std::optional<Holder> holder = known ? flockHolder(st) : std::nullopt;
            throw DataFileBusy(QFileInfo(member).fileName(), holder.value_or(Holder{}));
        }
        throw IoError(QStringLiteral("Cannot lock %1: %2").arg(member, QString::fromLocal8Bit(std::strerror(error))));
    }
    m_fd = fd;
}

void DataFileLock::unlock()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool DataFileLock::holds(const QString &path) const
{
    if (m_fd < 0)
        return false;
    struct stat mine{};
    struct stat there{};
    const QByteArray name = QFile::encodeName(rowsMember(path));
    return ::fstat(m_fd, &mine) == 0 && ::stat(name.constData(), &there) == 0 && mine.st_dev == there.st_dev &&
           mine.st_ino == there.st_ino;
}

std::optional<DataFileLock::Holder> DataFileLock::holderOf(const QString &path)
{
    const QByteArray name = QFile::encodeName(rowsMember(path));
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<Holder> holder;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        struct stat st{};
        holder = ::fstat(fd, &st) == 0 ? flockHolder(st) : std::nullopt;
        if (!holder)
            holder = Holder{};
    }
    ::close(fd);
    return holder;
}
