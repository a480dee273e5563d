#pragma once

#include "TableDescription.h"

#include <QString>
#include <QStringList>

// The five files of one table on disk, B.db, B.px, B.val, B.XG0 and B.YG0 for a base name B (a
// path without extension), handled as one unit. B.db holds the rows; the other four hold the
// table's description, all stamped with the identity B.db holds too.
class TableFamily
{
public:
    // ".db", ".px", ".val", ".XG0", ".YG0", in the order every copy handles them.
    static const QStringList &extensions();
    // The path without a final ".db"; a path without it is already a base.
    static QString baseOf(const QString &path);
    static QStringList members(const QString &base);
    // True when any member (or a left-over journal) exists under base.
    static bool exists(const QString &base);

    // Writes a new, empty family with a fresh identity. Refuses (TzrError) when any member
    // already exists; on a failure no member is left behind.
    static void create(const QString &base, const TableDescription &description);
    // Removes every member that exists (used to regenerate a template).
    static void remove(const QString &base);

    // Reads and checks the four description members: each must be intact and carry the identity
    // most members carry (the database's, databaseFamilyId, counts as one). Raises TzrError
    // naming the member at fault. Reads only.
    static TableDescription readDescription(const QString &base, const QString &databaseFamilyId);

    // Renames a closed family to the base of toPath, all five files (and a hot journal, if a
    // crash left one). Refuses when a member is missing or any destination member exists; a
    // rename that fails half way moves the members already renamed back. Raises IoError.
    static void rename(const QString &fromPath, const QString &toPath);

    // Copies the five files byte for byte. The copy is written as a working family beside the
    // destination and published (see publish) only when all five are complete, so a failure
    // (IoError with the system's message) or a crash leaves the destination as it was or whole.
    static void copy(const QString &fromBase, const QString &toBase);

    // A new data file is made under a working name beside its final name (a hidden family no
    // other command takes for a data file) and published once complete. Each call gives a new
    // working base for base.
    static QString workingBase(const QString &base);
    // Copies fromBase to a new working family for toBase and returns the working base; nothing
    // is left on a failure (IoError).
    static QString copyToWorking(const QString &fromBase, const QString &toBase);
    // Moves the closed working family in place of base, all five members at once as far as any
    // reader of ours can tell: the members are synced, a note of the move is made durable beside
    // base, then the members are renamed and the note removed. A crash in between is finished by
    // recover(). Raises IoError; before the note is written base is untouched.
    static void publish(const QString &working, const QString &base);
    // Save as: the closed family at fromBase moves to toBase (replacing what is there) and a byte
    // copy of it stays at fromBase. The copy is made and synced first; then a note on each side
    // says what moves where, so a crash is finished forward by recover() on either name: fromBase
    // always holds the same bytes, toBase its old family until it holds the whole new one. Across
    // file systems the files cannot move; toBase then gets the copy. Raises IoError.
    static void moveLeavingCopy(const QString &fromBase, const QString &toBase);
    // Removes a working family and its journal.
    static void discardWorking(const QString &working);

    enum class Recovery
    {
        Nothing,  // no half-done set beside base
        Finished, // a publish cut short was finished: base is the new family
        Removed,  // a working family never published was removed: base is as it was
    };
    // What a crash left beside base is finished or removed, so base is whole. Every open of a
    // family runs it; a caller that tells the user runs it first and says so once.
    static Recovery recover(const QString &base);

    // The member-file text for kind with the given entries; exposed for the engine's checks.
    static QByteArray memberText(const QString &kind, const QString &familyId,
                                 const QList<QStringList> &entries);
};
