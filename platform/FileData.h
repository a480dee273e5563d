#pragma once

#include <QByteArray>
#include <QString>

// Whole-file reads and writes for the small text files the tools exchange with other programs.
namespace FileData {
// Raises IoError with the system's message, or when the file holds more than maxSize bytes
// (read with that cap, so a device that never ends is refused too).
QByteArray read(const QString &fileName, qint64 maxSize);
// Replaces the file in one step: a failure (IoError) leaves the old file as it was. A new file
// is the owner's only (0600): exports and reports hold the users' codes. An existing file keeps
// its mode.
void write(const QString &fileName, const QByteArray &data);
} // namespace FileData
