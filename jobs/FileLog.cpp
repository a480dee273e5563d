#include "FileLog.h"

#include "Clock.h"

bool FileLog::open(const QString &fileName)
{
    m_file.setFileName(fileName);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

void FileLog::printDebug(const QString &message)
{
    const QDateTime now = Clock().now();
    write(QStringLiteral("\r\n[") + Clock::shortDate(now.date()) + QLatin1Char(' ') +
          Clock::longTime(now.time()) + QStringLiteral("] ") + message);
}

void FileLog::appendMark(const QString &mark)
{
    write(mark);
}

void FileLog::write(const QString &text)
{
    if (!m_file.isOpen())
        return;
    m_file.write(text.toUtf8());
    m_file.flush();
}
