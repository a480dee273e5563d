#pragma once

#include "TableDescription.h"

#include <QList>
#include <QString>
#include <QStringList>

struct sqlite3;
struct sqlite3_stmt;

// One connection to the database member of a family, opened only once every member has been
// checked. Each handle on a table (the dataset, the transfers' cursor) owns one, so the handles
// are independent. Every change outside an explicit transaction is committed when it returns.
class TableStore
{
public:
    struct Row
    {
        qint64 recno = 0;
        QStringList values;
    };

    TableStore() = default;
    ~TableStore();
    TableStore(const TableStore &) = delete;
    TableStore &operator=(const TableStore &) = delete;

    // The database member of a new family: schema, index and identity, no rows.
    static void createDatabase(const QString &path, const TableDescription &description);

    // How much of the file an open checks. Schema leaves out the scan of every page, for a handle
    // that only adds a side record to a file other handles of this run have checked whole.
    enum class Check
    {
        Whole,
        Schema,
    };
    // Checks the family of path (B.db or B) and connects to it; raises TzrError naming the member
    // at fault, having written nothing.
    void open(const QString &path, Check check = Check::Whole);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    QString databasePath() const { return m_path; }
    const TableDescription &description() const { return m_description; }
    // The position of the indexed field among the fields.
    int indexField() const { return m_indexField; }

    // Every row, in the index's order (ties in primary order) or in primary order.
    QList<Row> load(bool byIndex) const;
    qint64 insert(const QStringList &values);
    void update(qint64 recno, const QStringList &values);
    void remove(qint64 recno);

    void begin();
    void commit();
    void rollback();
    bool inTransaction() const;
    // Changes when another connection has committed to the file since this one last read it;
    // this connection's own writes leave it as it is.
    qint64 dataVersion() const;
    // Rolls back the transaction of every open store, for a program about to end at once (a
    // second Ctrl+C): the file keeps what it held and no journal is left beside it.
    static void rollBackAll();

    // Records kept in the database member beside the rows, by kind and key: state of other
    // features that has to travel with the data file through Save as and copies. The table that
    // holds them is made on the first write, so a family made from the template has none; the
    // rows, the description members and the identity are not touched.
    QByteArray sideRecord(const QString &kind, const QString &key, bool *found = nullptr) const;
    void setSideRecord(const QString &kind, const QString &key, const QByteArray &value);
    // Does nothing when there is no such record.
    void removeSideRecord(const QString &kind, const QString &key);
    struct SideRecord
    {
        QString key;
        QByteArray value;
    };
    // Every record of kind in the order of their keys (as the database compares text).
    QList<SideRecord> sideRecords(const QString &kind) const;
    // The record of kind with the greatest key, without reading the others; found says whether
    // there is one.
    SideRecord lastSideRecord(const QString &kind, bool *found) const;
    // The kinds there are records of.
    QStringList sideKinds() const;

    // The stored form of a value of field: cut to the field's width, trailing spaces dropped.
    QString normalised(int field, const QString &value) const;
    // True when a comes before b: by the field at indexField (as the database compares it, then
    // by record number), or by record number alone when indexField is -1.
    static bool before(const Row &a, const Row &b, int indexField);

private:
    void refuseForeignObjects() const;
    void verifyDatabase(const QString &base, Check check) const;
    bool hasSideTable() const;
    void exec(const char *sql) const;
    void step(sqlite3_stmt *statement, const QStringList &values, qint64 recno) const;
    [[noreturn]] void fail(const QString &what) const;

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_insert = nullptr;
    sqlite3_stmt *m_update = nullptr;
    sqlite3_stmt *m_delete = nullptr;
    QString m_path;
    TableDescription m_description;
    int m_indexField = -1;
};
