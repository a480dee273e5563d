#pragma once

#include <QByteArray>
#include <QString>

// Builds the 45-byte user records a board keeps in its slots, for seeding boards.
// Name and second line are raw bytes (one per character, space padded to 16); a builder given a
// field it cannot encode returns an empty array.
class UserRecord
{
public:
    // code: six characters "0"-"9", "A", "B", stored one byte each ("A" = 0x3A, "B" = 0x3B).
    static QByteArray keypad(const QByteArray &name, const QString &call, const QString &tzr,
                             const QString &code, const QByteArray &line2 = {}, bool line2On = false);
    // hexDigits: ten hexadecimal digits, stored after a 0x00 as five bytes, high nibble first,
    // exactly in the order given (a button board's byte order is the writer's business).
    static QByteArray card(const QByteArray &name, const QString &call, const QString &tzr,
                           const QString &hexDigits, const QByteArray &line2 = {}, bool line2On = false);
    // A plausible user, different for every index and variant: names, call codes, TZR numbers,
    // keypad codes with and without letters, card codes, second lines on and off.
    static QByteArray sample(int index, int variant = 0);

private:
    static QByteArray base(const QByteArray &name, const QString &call, const QString &tzr,
                           const QByteArray &line2, bool line2On);
};
