#include "PrivateFile.h"

#include "TzrError.h"

#include <QFile>
#include <QSaveFile>

namespace PrivateFile {

void write(const QString &path, const QByteArray &bytes, bool ownerOnly)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw IoError(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
    // The temporary file gets its rights before any byte is in it; the move keeps them.
    if (ownerOnly && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        throw IoError(QStringLiteral("Cannot restrict the rights of %1: %2").arg(path, file.errorString()));
    }
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw IoError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
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
