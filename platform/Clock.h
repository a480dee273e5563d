#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Local date and time, injectable so tests can fix "now".
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const;

    // The system's short date format and long time format for the current locale.
    static QString shortDate(const QDate &date);
    static QString longTime(const QTime &time);
    // The long time format of locale as Windows has it: with seconds, without the time zone.
    static QString longTimeFormat(const QLocale &locale);

    // A difference split into the parts of one day; whole days are dropped.
    struct Parts
    {
        int hours = 0;
        int minutes = 0;
        int seconds = 0;
        int milliseconds = 0;
    };
    static Parts split(const QDateTime &later, const QDateTime &earlier);
};
