#pragma once

#include <QChar>
#include <QString>

// The character a refused key becomes: it inserts nothing.
inline constexpr QChar BEL{7};

// What the code editor makes of a typed character: the character to insert (BEL for none) and
// whether the key finishes the code (edtCodeExit runs first).
struct CodeKey
{
    QChar key;
    bool finish = false;
};

// The grid's filter for a character typed in the column of campo.
QChar DBGrid1KeyPress(const QString &campo, QChar key);
// The rule for a character of a text that arrives whole in a field (imported, pasted): NOMBRE
// and LINEA2 keep, as they are, the characters a board record can hold (printable Latin-1), so
// a name a board gave comes back unchanged; BEL for any other. The other fields take their key
// filter.
QChar DBGrid1TextChar(const QString &campo, QChar c);
// The code editor's filter: hexadecimal digits, upper-cased; tab, line feed and return finish.
CodeKey edtCodeKeyPress(QChar key);
