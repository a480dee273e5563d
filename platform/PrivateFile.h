#pragma once

#include <QByteArray>
#include <QString>

// Files that hold secrets or must not be half-written: the one place that writes a file
// atomically (flush checked, file and folder synced) and creates files owner-only.
namespace PrivateFile {

// What a write does with the mode of a file that already exists under the name. A new file is
// always created readable and writable by its owner only (0600), whatever the umask.
enum class Existing
{
    MakeOwnerOnly, // the file becomes 0600 too (a board image, which holds the codes in clear)
    KeepMode,      // the file keeps the mode its owner gave it
};

// Writes bytes to path. The file is complete or untouched: it is written under a temporary name
// beside path (0600 from its first byte) and moved into place. Raises IoError with the system's
// message.
// syncFolder false leaves the folder's sync to a caller that writes several files in it.
void write(const QString &path, const QByteArray &bytes, Existing existing = Existing::MakeOwnerOnly,
           bool syncFolder = true);

// The whole file, refused (IoError) when it cannot be read or is larger than maxSize; never
// reads more than maxSize + 1 bytes, so a device that never ends cannot exhaust the reader.
QByteArray read(const QString &path, qint64 maxSize);

// Creates path, which must not exist, as an empty 0600 file and returns its descriptor (the
// caller closes it). Raises IoError.
int createNew(const QString &path);
// Writes bytes to a new 0600 file at path and syncs it; on a failure nothing is left. IoError.
void writeNew(const QString &path, const QByteArray &bytes);
// Makes data written through fd durable; false with errno set on a failure.
bool syncDescriptor(int fd);
// Syncs the file at path (already written and closed). Raises IoError.
void syncFile(const QString &path);
// Makes the renames and creations in the folder that holds path durable; a failure here is not
// worth failing the caller's write for.
void syncFolderOf(const QString &path);
// Creates folder and any missing parent; each folder it creates is the owner's only (0700).
// Raises IoError.
void makeFolder(const QString &folder);

} // namespace PrivateFile
