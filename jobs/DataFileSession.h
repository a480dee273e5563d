#pragma once

#include "DataFileRef.h"

#include <QString>
#include <QStringList>

#include <memory>

class DataFileLock;

// The data file one command-line command reads or writes. What a crash left beside it is settled
// first; a file from elsewhere is refused before any board is asked; a command that writes holds
// the file's lock so that the window and other commands keep off it; and a new file is a copy of
// the template under a working name, seen under its own name only once it is filled.
class DataFileSession
{
public:
    enum class Access
    {
        Reads,
        Writes
    };
    enum class Recovered
    {
        Nothing,
        Finished, // a save cut short was finished
        Removed,  // a copy never finished was removed; the file is as it was
    };
    // Why the command cannot go on with the file; None when it can.
    struct Refusal
    {
        enum class Kind
        {
            None,
            NoFile,     // file: the base that does not exist
            NoTemplate, // file: the template's base
            Foreign,    // file: the path; found: what it holds that this tool never makes
            Busy,       // file: as the lock names it; program, pid: the holder (empty, 0 if unknown)
            LockFailed, // error: the system's message
        };
        Kind kind = Kind::None;
        QString file;
        QStringList found;
        QString program;
        qint64 pid = 0;
        QString error;
        explicit operator bool() const { return kind != Kind::None; }
    };

    // templateFolder holds the template family "Patron" (the Korvel folder).
    explicit DataFileSession(const QString &templateFolder);
    ~DataFileSession();
    DataFileSession(const DataFileSession &) = delete;
    DataFileSession &operator=(const DataFileSession &) = delete;

    // The Korvel folder: configuration, language file and template.
    static QString korvelFolder();

    // Names the data file at path (with or without ".db") and settles what a crash left beside
    // it. Raises IoError when that cannot be done.
    Recovered name(const QString &path, Access access);
    // The named file, probed and locked when the command writes it. One that does not exist is
    // refused unless createFromTemplate; it is then only made by createWorking.
    Refusal open(bool createFromTemplate);
    // True when the named file does not exist yet and is to be made from the template.
    bool isNew() const { return !m_newBase.isEmpty(); }
    // Copies the template to a working family beside the new file (IoError when it cannot); false,
    // doing nothing, when there is no new file to make.
    bool createWorking();
    // The working family's lock, taken when the command writes.
    Refusal lockWorking();
    // The working family createWorking made, not yet published or discarded.
    bool created() const { return m_created; }
    // Puts the working family in place under the file's name.
    void publish();
    // Removes the working family, when the command did not fill it.
    void discard();
    // Quitting at once: open tables' changes rolled back and the working family removed, so the
    // data file is left as it was.
    void abandon();

    QString directory() const { return m_directory; }
    QString tableName() const { return m_tableName; }
    // Where the command reads and writes the rows: the working family while there is one.
    DataFileRef file() const;

private:
    Refusal lock(const QString &base);
    QString templateBase() const;

    QString m_templateFolder;
    QString m_directory;
    QString m_tableName;
    QString m_base;
    QString m_newBase;
    QString m_workingBase;
    bool m_created = false;
    bool m_writes = false;
    std::unique_ptr<DataFileLock> m_lock;
};
