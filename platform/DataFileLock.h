#pragma once

#include "TzrError.h"

#include <QString>

#include <optional>

// An advisory lock on one data file, so that one program at a time holds it: the window while the
// file is open in it, a tzr command while it writes it. It is taken on the rows member (B.db),
// whose inode an engine rename moves along with the lock; the family gains no file of its own.
class DataFileLock
{
public:
    struct Holder
    {
        QString program;
        qint64 pid = 0;
    };

    DataFileLock() = default;
    ~DataFileLock();
    DataFileLock(const DataFileLock &) = delete;
    DataFileLock &operator=(const DataFileLock &) = delete;

    // Takes the lock of the family at path (B.db or B), giving up one held before. Raises
    // DataFileBusy when another holder has it, IoError when the rows member cannot be opened.
    void lock(const QString &path);
    void unlock();
    // True when this lock is held on the file now at path (not on a file since replaced there).
    bool holds(const QString &path) const;

    // Who holds the lock of the family at path, when anyone does; a holder whose process cannot
    // be read has an empty program and pid 0.
    static std::optional<Holder> holderOf(const QString &path);

private:
    int m_fd = -1;
};

// The data file is held by another program (or another window of this one).
class DataFileBusy : public TzrError
{
public:
    DataFileBusy(const QString &file, const DataFileLock::Holder &holder);
    QString file() const { return m_file; }
    DataFileLock::Holder holder() const { return m_holder; }

private:
    QString m_file;
    DataFileLock::Holder m_holder;
};
