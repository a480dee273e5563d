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

    // Copies the five files byte for byte. Each member is written under a temporary name beside
    // its destination and the five are moved into place only when all five are complete, so a
    // failure (IoError with the system's message) leaves the destination as it was.
    static void copy(const QString &fromBase, const QString &toBase);

    // The member-file text for kind with the given entries; exposed for the engine's checks.
    static QByteArray memberText(const QString &kind, const QString &familyId,
                                 const QList<QStringList> &entries);
};
