#pragma once

#include <QHash>
#include <QString>

class Table;
class TextLookup;

// The outcome of finishing a code typed in the code editor.
struct CodeExit
{
    enum class Outcome
    {
        Beep,    // one to three characters: beep, keep the focus, caret at the end; nothing stored
        Refused, // the table's rules refused the post; the row stays in editing
        Stored,  // code and kind stored; the grid moves on to LINEA2
    };
    Outcome outcome = Outcome::Beep;
    // The normalised editor text (what the editor shows from now on); empty for Beep.
    QString code;
};

// The editor text made a code: "" gives "FFFFFFFFFF", 4 to 6 characters are padded with "0" to
// 6, 7 to 10 to 10; one to three characters give Beep.
CodeExit normalizedCode(const QString &editorText);
// The kind stored with code: the keypad text up to 6 characters, empty for "FFFFFFFFFF", else
// the card text.
QString codeKind(const QString &code, const TextLookup &texts);
// Each kind's text in every language of texts (and the built-in English one) mapped to its text
// in the current language: TIPO_CODE holds the language of the moment its row was written.
QHash<QString, QString> kindsInCurrentLanguage(const TextLookup &texts);

// Finishing the code editor (edtCodeExit) on the current row of Table1: stores the normalised
// code in CODIGO when codigoSelected (the grid's selected field is CODIGO), posts, then stores the
// kind of the code now in CODIGO and posts again. Running it again on its own result stores the
// same code and kind.
CodeExit edtCodeExit(Table &Table1, const QString &editorText, bool codigoSelected, const TextLookup &texts);
