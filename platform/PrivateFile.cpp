#include "PrivateFile.h"
#include "PrivateFile_p.h"

#include "TzrError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFile {

std::function<void(const QString &temporary)> afterCreate;

namespace {

QString systemMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool writeAll(int fd, const QByteArray &bytes, int *error)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

bool syncDescriptor(int fd)
{
    return ::fsync(fd) == 0;
}

void syncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw IoError(QStringLiteral("Cannot write %1: %2").arg(path, systemMessage(errno)));
    const bool synced = syncDescriptor(fd);
    const int error = errno;
    ::close(fd);
    if (!synced)
        throw IoError(QStringLiteral("Cannot write %1: %2").arg(path, systemMessage(error)));
}

void syncFolderOf(const QString &path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

int createNew(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw IoError(QStringLiteral("Cannot create %1: %2").arg(path, systemMessage(errno)));
    // A umask can only take bits away from 0600; the owner must keep both.
    ::fchmod(fd, 0600);
    return fd;
}

void writeNew(const QString &path, const QByteArray &bytes)
{
    const int fd = createNew(path);
    int error = 0;
    bool ok = writeAll(fd, bytes, &error);
    if (ok && !syncDescriptor(fd)) {
        ok = false;
        error = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(QFile::encodeName(path).constData());
        throw IoError(QStringLiteral("Cannot write %1: %2").arg(path, systemMessage(error)));
    }
}

void write(const QString &path, const QByteArray &bytes, Existing existing, bool syncFolder)
{
    // A file the owner keeps as a link (a configuration shared between machines) stays a link:
    // its target is replaced.
    const QFileInfo info(path);
    const QString resolved =
        existing == Existing::KeepMode && info.isSymLink() && !info.canonicalFilePath().isEmpty()
            ? info.canonicalFilePath()
            : path;
    const QByteArray target = QFile::encodeName(resolved);
    mode_t mode = 0600;
    struct stat old {};
    if (existing == Existing::KeepMode && ::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode))
        mode = old.st_mode & 07777;
    // mkstemp creates the file with mode 0600 whatever the umask: no byte of it is ever
    // readable by others, not even for the moment a later chmod would take.
    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        throw IoError(QStringLiteral("Cannot create %1: %2").arg(path, systemMessage(errno)));
    const auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temporary.constData());
        throw IoError(QStringLiteral("Cannot write %1: %2").arg(path, systemMessage(error)));
    };
    if (afterCreate)
        afterCreate(QFile::decodeName(temporary));
    int error = 0;
    if (!writeAll(fd, bytes, &error))
        fail(error);
    if (mode != 0600 && ::fchmod(fd, mode) != 0)
        fail(errno);
    if (!syncDescriptor(fd))
        fail(errno);
    if (::close(fd) != 0) {
        error = errno;
        ::unlink(temporary.constData());
        throw IoError(QStringLiteral("Cannot write %1: %2").arg(path, systemMessage(error)));
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        error = errno;
        ::unlink(temporary.constData());
        throw IoError(QStringLiteral("Cannot write %1: %2").arg(path, systemMessage(error)));
    }
    if (syncFolder)
        syncFolderOf(resolved);
}

QByteArray read(const QString &path, qint64 maxSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw IoError(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    if (file.size() > maxSize)
        throw IoError(QStringLiteral("Cannot read %1: the file is too large").arg(path));
    QByteArray bytes = file.read(maxSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw IoError(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    if (bytes.size() > maxSize)
        throw IoError(QStringLiteral("Cannot read %1: the file is too large").arg(path));
    return bytes;
}

void makeFolder(const QString &folder)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    if (QFileInfo(clean).isDir())
        return;
    const QString parent = QFileInfo(clean).absolutePath();
    if (parent != clean)
        makeFolder(parent);
    if (::mkdir(QFile::encodeName(clean).constData(), 0700) == 0)
        ::chmod(QFile::encodeName(clean).constData(), 0700); // the umask may have taken bits away
    // An existing file of that name is no folder to save into.
    else if (errno != EEXIST || !QFileInfo(clean).isDir())
        throw IoError(QStringLiteral("Cannot create the folder %1: %2").arg(clean, systemMessage(errno)));
}

} // namespace PrivateFile
