#pragma once

#include "DataFileRef.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class TableStore;
class UserArea;
struct RegistroEnvio;

// What one job changed in one slot. Codes never appear: a changed code is only named as changed.
struct HistoryChange
{
    enum class Kind
    {
        Added,
        Removed,
        CodeChanged,   // only the code
        FieldsChanged, // name or other fields, the code perhaps among them
        Written,       // written without knowing what the slot held before
        Expired,       // emptied because the user's end date had passed
    };
    int slot = 0; // from 1, as the board's slots are shown
    Kind kind = Kind::Written;
    // The user as the file names it; for a removal, as the board named it.
    QString user;
    // FieldsChanged under another name: the name the board held before.
    QString previousUser;
    // The fields that changed, as the table names them (CODIGO for the code, never its value).
    QStringList fields;

    static QString kindKey(Kind kind);
    bool operator==(const HistoryChange &) const = default;
};

// One job's entry in a data file's history: who ran what on which board, and what it changed.
struct HistoryEntry
{
    qint64 sequence = 0; // from 1, in the order they were appended
    QDateTime time;      // UTC
    QString user;        // the operating system's
    QString host;
    QString program; // "tzrusers" or "tzr"
    QString version;
    QString port;
    int board = -1;
    QString job;     // a key of History::Job
    QString outcome; // a key of History::Outcome
    // Nothing was written to the board.
    bool read = false;
    // The users on the board afterwards (a write) or found there (a read); -1 when not known.
    int users = -1;
    // What else the job says: the parameters it wrote, the slots it could not write.
    QString detail;
    QList<HistoryChange> changes;
    QString previousHash;
    QString hash;

    QJsonObject toJson() const;
    static HistoryEntry fromJson(const QJsonObject &object);
};

// Which entries a reader asks for. With a user name only the slots naming that user are kept,
// and only the entries that have one.
struct HistoryFilter
{
    int board = -1;
    QString user; // part of the name, any letter case
    QDateTime since;

    QList<HistoryEntry> apply(const QList<HistoryEntry> &entries) const;
};

// The history kept inside a data file's database member beside the remembered board images, so
// it travels with copies and Save as and survives imports and receives. Each entry holds the hash
// of the one before and its own over both: an entry changed, removed or put in another place no
// longer fits the chain. Whoever can rewrite the whole chain can forge it; the last hash, kept
// elsewhere, is what shows that.
class History
{
public:
    struct Job
    {
        static inline const QString Send = QStringLiteral("send");
        static inline const QString SendChanges = QStringLiteral("send-changes");
        static inline const QString Receive = QStringLiteral("receive");
        static inline const QString Compare = QStringLiteral("compare");
        static inline const QString RestoreImage = QStringLiteral("restore-image");
        static inline const QString Parameters = QStringLiteral("parameters");
    };
    struct Outcome
    {
        static inline const QString Done = QStringLiteral("done");
        static inline const QString Incomplete = QStringLiteral("incomplete");
        static inline const QString NoAnswer = QStringLiteral("no-answer");
        static inline const QString Stopped = QStringLiteral("stopped");
        static inline const QString PortLost = QStringLiteral("port-lost");
        static inline const QString Failed = QStringLiteral("failed");
        static inline const QString Different = QStringLiteral("different");
        // A send of changes found the board no longer as remembered, or could not read it:
        // nothing was written.
        static inline const QString BoardChanged = QStringLiteral("board-changed");
        static inline const QString BoardUnread = QStringLiteral("board-unread");
        static inline const QString PortUnavailable = QStringLiteral("port-unavailable");
        static inline const QString RepliesMismatched = QStringLiteral("replies-mismatched");
    };

    // The kind of the side records that hold the entries.
    static inline const QString Kind = QStringLiteral("history");

    // Opens the data file's family, checking it as every handle does; raises TzrError.
    explicit History(const DataFileRef &file);
    ~History();
    History(const History &) = delete;
    History &operator=(const History &) = delete;

    // The program whose jobs write entries, set once at start.
    static void setProgram(const QString &name, const QString &version);
    // A new entry stamped now, with the user, host and program.
    static HistoryEntry start(const QString &job, int board, const QString &port);
    // Slot by slot, what a board that held before holds once it holds after.
    static QList<HistoryChange> changesBetween(const UserArea &before, const QList<RegistroEnvio> &after);
    static QList<HistoryChange> changesBetween(const UserArea &before, const UserArea &after);
    // Every user of after as written over a board whose content was not known.
    static QList<HistoryChange> written(const QList<RegistroEnvio> &after);

    // Appends entry (its sequence and hashes are set here); raises TzrError when the file cannot
    // be written.
    void append(HistoryEntry &entry);
    // Appends, and returns why it could not instead of raising: a job's outcome stands either way.
    static QString record(const DataFileRef &file, HistoryEntry &entry);

    // Oldest first. An entry that cannot be read is listed with its sequence only and job empty.
    QList<HistoryEntry> entries() const;

    struct Check
    {
        bool intact = true;
        qint64 count = 0;
        // The first entry that does not fit (by its place, from 1), and why.
        qint64 firstBad = 0;
        QString why;
        // The hash of the last entry: kept elsewhere, it shows the chain was not rewritten.
        QString lastHash;
    };
    Check verify() const;

    // Comma-separated, UTF-8 with a byte-order mark as the other reports, one line per entry and
    // slot (an entry without slot changes on one line of its own), newest last:
    // sequence,time,user,host,program,version,port,board,job,outcome,read,users,slot,change,
    // slot_user,previous_user,fields,detail
    static QByteArray toCsv(const QList<HistoryEntry> &entries);

    // Where the stored form of an entry holds its hash: after the last line break.
    static QByteArray stored(const QByteArray &content, const QString &hash);
    static QString hashOf(const QString &previousHash, const QByteArray &content);
    static QString keyOf(qint64 sequence);
    static inline const QString FirstPrevious = QString(64, QLatin1Char('0'));

private:
    // forAppend: the job appending has just checked the whole file through its own handles.
    History(const DataFileRef &file, bool forAppend);

    std::unique_ptr<TableStore> m_store;
};
