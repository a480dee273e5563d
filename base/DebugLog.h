#pragma once

#include <QString>

// Where the link writes its time-stamped lines and its reply marks. The debug window implements
// it; while that window does not exist the link holds no log and writes nothing.
class DebugLog
{
public:
    virtual ~DebugLog() = default;
    // One line: a line break, "[", date and time, "] " and the message.
    virtual void printDebug(const QString &message) = 0;
    // Appended to the end of the text as is: no line break, no time stamp ("." "X" "F1R" ...).
    virtual void appendMark(const QString &mark) = 0;
};
