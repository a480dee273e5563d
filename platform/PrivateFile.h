#pragma once

#include <QByteArray>
#include <QString>

// Files that hold secrets or must not be half-written.
namespace PrivateFile {

// Writes bytes to path; with ownerOnly readable and writable by its owner only (mode 0600, also
// when path already existed with wider rights). The file is complete or untouched: it is written
// under a temporary name and moved into place. Raises IoError with the system's message.
void write(const QString &path, const QByteArray &bytes, bool ownerOnly = true);

// The whole file, refused (IoError) when it cannot be read or is larger than maxSize.
QByteArray read(const QString &path, qint64 maxSize);

} // namespace PrivateFile
