#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// The folders of a backup over several boards. With keep, each run saves into a new dated folder
// inside the root, and only the last keep such folders stay.
class BackupFolders
{
public:
    struct RunFolder
    {
        QString path;
        // False: the folder could not be made; nothing may be saved.
        bool made = false;
    };
    // The folder this run saves into (the root itself without keep), made readable by its owner only.
    static RunFolder make(const QString &root, const QDateTime &now, int keep);

    struct Removal
    {
        QString path;
        bool removed = false;
    };
    // After the run: a run folder left empty is removed; once something was saved, the oldest
    // runs beyond keep go. What was tried, oldest first.
    static QList<Removal> rotate(const QString &root, const QString &folder, int keep, int saved);
};
