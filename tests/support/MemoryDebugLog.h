#pragma once

#include "DebugLog.h"

#include <QString>
#include <QStringList>

// Keeps the log as the debug window would: lines start with a line break, marks are appended.
class MemoryDebugLog : public DebugLog
{
public:
    void printDebug(const QString &message) override
    {
        m_text += QStringLiteral("\r\n[t] ") + message;
        m_lines << message;
    }
    void appendMark(const QString &mark) override { m_text += mark; }

    QString text() const { return m_text; }
    QStringList lines() const { return m_lines; }
    void clear()
    {
        m_text.clear();
        m_lines.clear();
    }

private:
    QString m_text;
    QStringList m_lines;
};
