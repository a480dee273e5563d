#include "PrivateFile.h"
#include "PrivateFile_p.h"

#include "TzrError.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace PrivateFile {

std::function<void(const QString &temporary)> afterCreate;

namespace {

QString systemMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Makes the rename durable; a failure here is not worth failing the write for.
void syncFolder(const QString &path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void writeShared(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    // QSaveFile::commit does not see a failure of its own final flush, so the flush is checked.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit())
        throw IoError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    syncFolder(path);
}

} // namespace

void write(const QString &path, const QByteArray &bytes, bool ownerOnly)
{
    if (!ownerOnly) {
        writeShared(path, bytes);
        return;
    }
    // mkstemp creates the file with mode 0600 whatever the umask: no byte of it is ever
    // readable by others, not even for the moment a later chmod would take.
    QByteArray temporary = QFile::encodeName(path) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        throw IoError(QStringLiteral("Cannot create %1: %2").arg(path, systemMessage(errno)));
    const auto fail = [&](const QString &what, int error) {
        ::close(fd);
        ::unlink(temporary.constData());
        throw IoError(what.arg(path, systemMessage(error)));
    };
    if (afterCreate)
        afterCreate(QFile::decodeName(temporary));
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(QStringLiteral("Cannot write %1: %2"), n < 0 ? errno : ENOSPC);
        done += n;
    }
    if (::fsync(fd) != 0)
        fail(QStringLiteral("Cannot write %1: %2"), errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        throw IoError(QStringLiteral("Cannot write %1: %2").arg(path, systemMessage(error)));
    }
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        throw IoError(QStringLiteral("Cannot write %1: %2").arg(path, systemMessage(error)));
    }
    syncFolder(path);
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

} // namespace PrivateFile
