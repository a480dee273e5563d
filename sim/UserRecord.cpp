#include "UserRecord.h"

#include "Board.h"

#include <array>

namespace {

constexpr int NAME_OFFSET = 0;
constexpr int TEXT_WIDTH = 16;
constexpr int CALL_OFFSET = 16;
constexpr int TZR_OFFSET = 18;
constexpr int CODE_OFFSET = 20;
constexpr int CODE_BYTES = 6;
constexpr int LINE2_OFFSET = 26;
constexpr int LINE2_ON_OFFSET = 44;
constexpr quint8 LINE2_ON = 0x3A;

bool allDigits(const QString &text, int length)
{
    if (text.size() != length)
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

int digit(QChar c)
{
    return c.unicode() - '0';
}

// Windows-1252 bytes, as the panel's display shows them.
const std::array<const char *, 20> SURNAMES = {
    "Garcia", "Lopez", "Mu\xF1oz", "Martin", "Sanchez", "Perez", "G\xF3mez", "Ruiz", "Ib\xE1\xF1\x65z",
    "Moreno", "Alonso", "Navarro", "Torres", "Pe\xF1\x61", "Romero", "Vidal", "Serrano", "Castro",
    "Ortega", "Molina"};
const std::array<const char *, 17> GIVEN = {"Ana",    "Luis", "Marta",  "Jose", "Elena", "Pablo",
                                            "Sofia",  "Juan", "Lucia",  "Raul", "Irene", "Diego",
                                            "Carmen", "Ivan", "Noelia", "Hugo", "Rosa"};
const std::array<const char *, 6> LINES = {"Piso 1 Puerta A", "Portero",        "Oficina 12",
                                           "Bajo B",          "Atico 2\xAA",     "Local comercial"};

} // namespace

QByteArray UserRecord::base(const QByteArray &name, const QString &call, const QString &tzr,
                            const QByteArray &line2, bool line2On)
{
    if (!allDigits(call, 4) || !allDigits(tzr, 3))
        return {};
    QByteArray record(Board::RECORD_SIZE, '\0');
    const QByteArray paddedName = name.left(TEXT_WIDTH).leftJustified(TEXT_WIDTH, ' ');
    const QByteArray paddedLine = line2.left(TEXT_WIDTH).leftJustified(TEXT_WIDTH, ' ');
    record.replace(NAME_OFFSET, TEXT_WIDTH, paddedName);
    record.replace(LINE2_OFFSET, TEXT_WIDTH, paddedLine);
    record[CALL_OFFSET] = static_cast<char>(digit(call[0]) * 16 + digit(call[1]));
    record[CALL_OFFSET + 1] = static_cast<char>(digit(call[2]) * 16 + digit(call[3]));
    record[TZR_OFFSET] = static_cast<char>(digit(tzr[0]));
    record[TZR_OFFSET + 1] = static_cast<char>(digit(tzr[1]) * 16 + digit(tzr[2]));
    record[LINE2_ON_OFFSET] = static_cast<char>(line2On ? LINE2_ON : 0x00);
    return record;
}

QByteArray UserRecord::keypad(const QByteArray &name, const QString &call, const QString &tzr,
                              const QString &code, const QByteArray &line2, bool line2On)
{
    if (code.size() != CODE_BYTES)
        return {};
    QByteArray record = base(name, call, tzr, line2, line2On);
    if (record.isEmpty())
        return {};
    for (int i = 0; i < CODE_BYTES; ++i) {
        const QChar c = code[i];
        char value = 0;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            value = static_cast<char>(c.unicode());
        else if (c == QLatin1Char('A'))
            value = 0x3A;
        else if (c == QLatin1Char('B'))
            value = 0x3B;
        else
            return {};
        record[CODE_OFFSET + i] = value;
    }
    return record;
}

QByteArray UserRecord::card(const QByteArray &name, const QString &call, const QString &tzr,
                            const QString &hexDigits, const QByteArray &line2, bool line2On)
{
    const QByteArray bytes = QByteArray::fromHex(hexDigits.toLatin1());
    bool hex = hexDigits.size() == 10;
    for (QChar c : hexDigits)
        hex = hex && QStringLiteral("0123456789ABCDEFabcdef").contains(c);
    if (!hex || bytes.size() != CODE_BYTES - 1)
        return {};
    QByteArray record = base(name, call, tzr, line2, line2On);
    if (record.isEmpty())
        return {};
    record[CODE_OFFSET] = 0x00;
    record.replace(CODE_OFFSET + 1, bytes.size(), bytes);
    return record;
}

QByteArray UserRecord::sample(int index, int variant)
{
    const int n = index + variant * 101;
    const QByteArray name = QByteArray(SURNAMES[static_cast<size_t>(n) % SURNAMES.size()]) + ' ' +
                            GIVEN[static_cast<size_t>(n / 3) % GIVEN.size()];
    const QString call = QStringLiteral("%1").arg((1000 + n * 37) % 10000, 4, 10, QLatin1Char('0'));
    const QString tzr = QStringLiteral("%1").arg(index % 999 + 1, 3, 10, QLatin1Char('0'));
    const bool hasLine = n % 4 != 3;
    const QByteArray line2 = hasLine ? QByteArray(LINES[static_cast<size_t>(n) % LINES.size()]) : QByteArray();
    const bool line2On = hasLine && n % 2 == 0;

    switch (n % 3) {
    case 0:
        return keypad(name, call, tzr,
                      QStringLiteral("%1").arg((n * 7919 + 1234) % 1000000, 6, 10, QLatin1Char('0')), line2,
                      line2On);
    case 1: {
        QString code = QStringLiteral("%1").arg((n * 4391 + 77) % 10000, 4, 10, QLatin1Char('0'));
        code = (n % 2 ? QStringLiteral("A") : QStringLiteral("1")) + code + (n % 5 ? QStringLiteral("B") : QStringLiteral("A"));
        return keypad(name, call, tzr, code, line2, line2On);
    }
    default: {
        const quint64 value = (static_cast<quint64>(n) * 2654435761ULL + 0x12345ULL) & 0xFFFFFFFFFFULL;
        return card(name, call, tzr, QStringLiteral("%1").arg(value, 10, 16, QLatin1Char('0')).toUpper(),
                    line2, line2On);
    }
    }
}
