#include "KeyFilters.h"

#include "UsersTableRules.h"

namespace {

constexpr char16_t BACKSPACE = 8;
constexpr char16_t TAB = 9;
constexpr char16_t LINE_FEED = 10;
constexpr char16_t RETURN = 13;

QChar upper(QChar c)
{
    return c >= QLatin1Char('a') && c <= QLatin1Char('z') ? QChar(c.unicode() - 'a' + 'A') : c;
}

bool isEditingKey(QChar c)
{
    const char16_t u = c.unicode();
    return u == BACKSPACE || u == TAB || u == LINE_FEED || u == RETURN;
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

QChar DBGrid1KeyPress(const QString &campo, QChar key)
{
    const QChar c = upper(key);
    if (campo == Campo::NOMBRE || campo == Campo::LINEA2) {
        const bool accepted = isEditingKey(c) || c == QLatin1Char(' ') || c == QLatin1Char('*') ||
                              isDigit(c) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
        return accepted ? c : BEL;
    }
    if (campo == Campo::CALL || campo == Campo::TZR)
        return isEditingKey(c) || c == QLatin1Char(' ') || isDigit(c) ? c : QLatin1Char('0');
    if (campo == Campo::LINEA2_ON)
        return isEditingKey(c) ? c : QLatin1Char('X');
    return c;
}

QChar DBGrid1TextChar(const QString &campo, QChar c)
{
    if (campo != Campo::NOMBRE && campo != Campo::LINEA2)
        return DBGrid1KeyPress(campo, c);
    const char16_t u = c.unicode();
    return (u >= 0x20 && u < 0x7F) || (u >= 0xA0 && u <= 0xFF) ? c : BEL;
}

CodeKey edtCodeKeyPress(QChar key)
{
    CodeKey result;
    const QChar c = upper(key);
    const char16_t u = c.unicode();
    result.finish = u == TAB || u == LINE_FEED || u == RETURN;
    const bool accepted = isEditingKey(c) || isDigit(c) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    result.key = accepted ? c : BEL;
    return result;
}
