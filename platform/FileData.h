#pragma once

#include <QByteArray>
#include <QString>

// Whole-file reads and writes for the small text files the tools exchange with other programs.
namespace FileData {
// Raises IoError with the system's message.
QByteArray read(const QString &fileName);
// Replaces the file in one step: a failure (IoError) leaves the old file as it was.
void write(const QString &fileName, const QByteArray &data);
} // namespace FileData
