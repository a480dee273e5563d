#pragma once

#include "DebugLog.h"

#include <QFile>

// The debug log of a command-line run, written to a file as it grows (--log FILE), with the
// time-stamped lines and reply marks the debug window shows.
class FileLog : public DebugLog
{
public:
    // False with errorString() when the file cannot be created.
    bool open(const QString &fileName);
    QString errorString() const { return m_file.errorString(); }

    void printDebug(const QString &message) override;
    void appendMark(const QString &mark) override;

private:
    void write(const QString &text);
    QFile m_file;
};
