#pragma once

#include <QHash>
#include <QString>

// A code file holds a code or a few lines of codes; anything larger is not one.
constexpr qint64 CODE_FILE_LIMIT = 64 * 1024;

// The codes of a run over several boards: one tried on every board, and a board's own where it
// has one. Held in memory only, for the run's length.
class BoardCodes
{
public:
    // Lines "NN=CODE" give board NN its own code; a line without a number is the default. Blank
    // lines and lines starting with '#' are ignored. False (and why in error) for a line that is
    // neither, a board number out of 0..31, or a code longer than five characters.
    static bool parse(const QString &text, BoardCodes &codes, QString &error);
    // A file of codes, read whole up to CODE_FILE_LIMIT; raises IoError (FileTooLarge beyond it).
    static QString fileText(const QString &path);
    // The most characters a code has.
    static int longestCode();

    void setDefault(const QString &code) { m_default = code; }
    void setCode(int board, const QString &code) { m_codes.insert(board, code); }
    QString defaultCode() const { return m_default; }
    bool hasOwn(int board) const { return m_codes.contains(board); }
    // The board's own code, else the default.
    QString codeFor(int board) const { return m_codes.value(board, m_default); }

private:
    QString m_default;
    QHash<int, QString> m_codes;
};
