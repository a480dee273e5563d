#include "FileData.h"

#include "TzrError.h"

#include <QFile>
#include <QSaveFile>

namespace FileData {

QByteArray read(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw IoError(QStringLiteral("%1: %2").arg(fileName, file.errorString()));
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw IoError(QStringLiteral("%1: %2").arg(fileName, file.errorString()));
    return data;
}

void write(const QString &fileName, const QByteArray &data)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.flush() ||
        !file.commit())
        throw IoError(QStringLiteral("%1: %2").arg(fileName, file.errorString()));
}

} // namespace FileData
