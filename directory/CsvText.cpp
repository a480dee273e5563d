#include "CsvText.h"

#include <QStringDecoder>

#include <array>

namespace CsvText {

namespace {

constexpr QChar QUOTE{u'"'};

// Windows-1252 at 0x80..0x9F; the rest of the byte range is Latin-1. The five unassigned bytes
// keep their C1 code points, as Windows' own conversion does.
constexpr std::array<char16_t, 32> CP1252_80 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *out++ = b >= 0x80 && b <= 0x9F ? QChar(CP1252_80[b - 0x80]) : QChar(b);
    }
    return text;
}

} // namespace

QString decode(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return fromWindows1252(bytes);
}

QChar delimiter(const QString &text)
{
    int commas = 0;
    int semicolons = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QUOTE)
            quoted = !quoted;
        else if (!quoted && (c == u'\n' || c == u'\r'))
            break;
        else if (!quoted && c == u',')
            ++commas;
        else if (!quoted && c == u';')
            ++semicolons;
    }
    return semicolons > commas ? QLatin1Char(';') : QLatin1Char(',');
}

QList<SheetRow> parse(const QString &text, QChar delimiter)
{
    QList<SheetRow> rows;
    SheetRow row;
    QString field;
    bool quoted = false;
    bool inRecord = false;
    int line = 1;
    row.line = 1;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QUOTE) {
                if (i + 1 < n && text.at(i + 1) == QUOTE) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == u'\n' || (c == u'\r' && !(i + 1 < n && text.at(i + 1) == u'\n')))
                    ++line;
                field += c;
            }
            continue;
        }
        if (c == QUOTE && field.isEmpty()) {
            quoted = true;
            inRecord = true;
        } else if (c == delimiter) {
            row.cells << field;
            field.clear();
            inRecord = true;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            row.cells << field;
            rows << row;
            field.clear();
            row = SheetRow{};
            row.line = ++line;
            inRecord = false;
        } else {
            field += c;
            inRecord = true;
        }
    }
    if (inRecord || !field.isEmpty()) {
        row.cells << field;
        rows << row;
    }
    return rows;
}

QList<SheetRow> read(const QByteArray &bytes)
{
    const QString text = decode(bytes);
    return parse(text, delimiter(text));
}

QByteArray write(const QList<QStringList> &rows)
{
    QString text;
    for (const QStringList &row : rows) {
        QStringList cells;
        for (const QString &cell : row) {
            const bool quote = cell.contains(QLatin1Char(',')) || cell.contains(QLatin1Char(';')) ||
                               cell.contains(QUOTE) || cell.contains(QLatin1Char('\n')) ||
                               cell.contains(QLatin1Char('\r')) || cell.startsWith(QLatin1Char(' ')) ||
                               cell.endsWith(QLatin1Char(' '));
            if (quote) {
                QString escaped = cell;
                escaped.replace(QStringLiteral("\""), QStringLiteral("\"\""));
                cells << QLatin1Char('"') + escaped + QLatin1Char('"');
            } else {
                cells << cell;
            }
        }
        text += cells.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

} // namespace CsvText
