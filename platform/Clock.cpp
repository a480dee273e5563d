#include "Clock.h"

#include <QLocale>

QDateTime Clock::now() const
{
    return QDateTime::currentDateTime();
}

QString Clock::shortDate(const QDate &date)
{
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

QString Clock::longTime(const QTime &time)
{
    return QLocale::system().toString(time, QLocale::LongFormat);
}

Clock::Parts Clock::split(const QDateTime &later, const QDateTime &earlier)
{
    qint64 ms = earlier.msecsTo(later) % (24LL * 3600 * 1000);
    if (ms < 0)
        ms += 24LL * 3600 * 1000;
    Parts p;
    p.hours = static_cast<int>(ms / 3600000);
    p.minutes = static_cast<int>(ms / 60000 % 60);
    p.seconds = static_cast<int>(ms / 1000 % 60);
    p.milliseconds = static_cast<int>(ms % 1000);
    return p;
}
