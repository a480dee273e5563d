#include "Clock.h"

#include <QLocale>

#include <cstdlib>

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
    const QLocale locale = QLocale::system();
    return locale.toString(time, longTimeFormat(locale));
}

// Qt's long time format carries the time zone ("HH:mm:ss t", "H:mm:ss (t)"); the Windows long
// time format has none, and the durations written as times of day must not show one.
QString Clock::longTimeFormat(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('t'))
            kept += c;
    }
    kept.replace(QLatin1String("()"), QString());
    kept.replace(QLatin1String("[]"), QString());
    return kept.simplified();
}

Clock::Parts Clock::split(const QDateTime &later, const QDateTime &earlier)
{
    constexpr qint64 day = 24LL * 3600 * 1000;
    // A later time before the earlier one (the clock was set back) counts by its size, as the
    // Windows time decoding does with a negative difference.
    const qint64 ms = std::llabs(earlier.msecsTo(later)) % day;
    Parts p;
    p.hours = static_cast<int>(ms / 3600000);
    p.minutes = static_cast<int>(ms / 60000 % 60);
    p.seconds = static_cast<int>(ms / 1000 % 60);
    p.milliseconds = static_cast<int>(ms % 1000);
    return p;
}
