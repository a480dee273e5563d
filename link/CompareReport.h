#pragma once

#include "Transferencias.h"
#include "UserArea.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One slot where a board and a data file disagree. Slots and positions count from 0.
struct CompareEntry
{
    enum class Kind
    {
        OnlyOnBoard,
        OnlyInFile,
        Different,
        // The file's user of this slot (or of that name) has expired, and the board still holds it.
        ExpiredOnBoard
    };
    Kind kind = Kind::Different;
    int slot = 0;
    QString boardName; // the board's user in this slot, trimmed
    QString fileName;  // the file's user for this slot, trimmed
    // Different: the fields whose bytes differ, as the table names them (NOMBRE, CALL, TZR,
    // CODIGO, LINEA2, LINEA2_ON); the spare bytes 42 and 43 are never compared.
    QStringList fields;
    // The file's user of this slot sits unchanged in that other board slot (-1: nowhere else).
    int boardSlot = -1;
    // The board's user of this slot is, unchanged, the file's user at that other position.
    int filePosition = -1;

    bool moved() const { return boardSlot >= 0 || filePosition >= 0; }
};

// A board's user area against the records a full send of a data file would write, slot by slot:
// the file's n-th user in the current order belongs in slot n.
struct CompareReport
{
    QList<CompareEntry> entries;
    int onlyOnBoard = 0;
    int onlyInFile = 0;
    int different = 0;
    int expiredOnBoard = 0;
    // Entries whose user merely sits in another slot.
    int moved = 0;
    int boardUsers = 0;
    int fileUsers = 0;

    bool noDifferences() const { return entries.isEmpty(); }

    static CompareReport compare(const UserArea &board, const QList<RegistroEnvio> &file);
    // Slot by slot, what a board holding board would hold as other (names from both areas; users
    // in other slots are not looked for).
    static CompareReport compare(const UserArea &board, const UserArea &other);

    // Comma-separated, UTF-8, one header line then one line per entry, slots counted from 1:
    // slot,kind,board_name,file_name,fields,board_slot,file_position
    // kind is only_on_board, only_in_file, different or expired_on_board; fields are separated by spaces; the last
    // two columns are empty unless the user sits elsewhere.
    QByteArray toCsv() const;
    // Raises IoError; the file is complete or untouched.
    void saveCsv(const QString &path) const;
    static QString kindName(CompareEntry::Kind kind);
};
