#include "FileData.h"

#include "PrivateFile.h"
#include "TzrError.h"

#include <QFile>

namespace FileData {

QByteArray read(const QString &fileName, qint64 maxSize)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw IoError(QStringLiteral("%1: %2").arg(fileName, file.errorString()));
    // size() is 0 for a pipe or a device: the cap on the read is what bounds those.
    QByteArray data = file.size() > maxSize ? QByteArray() : file.read(maxSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw IoError(QStringLiteral("%1: %2").arg(fileName, file.errorString()));
    if (file.size() > maxSize || data.size() > maxSize)
        throw FileTooLarge(fileName, maxSize);
    return data;
}

void write(const QString &fileName, const QByteArray &data)
{
    PrivateFile::write(fileName, data, PrivateFile::Existing::KeepMode);
}

} // namespace FileData
