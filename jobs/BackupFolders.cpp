#include "BackupFolders.h"

#include "PrivateFile.h"
#include "TzrError.h"

#include <QDir>
#include <QRegularExpression>

namespace {

const QRegularExpression &runFolderName()
{
    static const QRegularExpression name(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}-\\d{2}-\\d{2}$"));
    return name;
}

} // namespace

BackupFolders::RunFolder BackupFolders::make(const QString &root, const QDateTime &now, int keep)
{
    RunFolder folder{root, false};
    if (keep > 0)
        folder.path = QDir(root).filePath(now.toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss")));
    // The images hold the boards' codes in clear: the folders are the owner's alone.
    try {
        PrivateFile::makeFolder(folder.path);
        folder.made = true;
    } catch (const IoError &) {
    }
    return folder;
}

QList<BackupFolders::Removal> BackupFolders::rotate(const QString &root, const QString &folder, int keep, int saved)
{
    QList<Removal> removals;
    if (keep <= 0)
        return removals;
    // Older runs go only once this one has saved something: a night of dead boards must not
    // cost the last good backups (nor leave an empty run among them).
    if (saved == 0) {
        QDir().rmdir(folder);
        return removals;
    }
    QStringList runs = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    runs.removeIf([](const QString &n) { return !runFolderName().match(n).hasMatch(); });
    while (runs.size() > keep) {
        const QString old = QDir(root).filePath(runs.takeFirst());
        removals.append({old, QDir(old).removeRecursively()});
    }
    return removals;
}
