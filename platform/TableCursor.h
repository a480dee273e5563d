#pragma once

#include "TableStore.h"

#include <QList>
#include <QString>

// A second, independent handle on a table family, for the transfers that work on the data file
// while the grid's dataset is closed. It walks the rows in the active order, deletes, and
// inserts rows without any entry rules. Outside begin()/commit() each change is committed when
// it returns; inside, nothing is stored until commit(), and rollback() puts the rows back.
class TableCursor
{
public:
    TableCursor() = default;
    TableCursor(const TableCursor &) = delete;
    TableCursor &operator=(const TableCursor &) = delete;

    // directory may or may not end in a separator. Raises TzrError; the cursor stays closed.
    void open(const QString &directory, const QString &fileName);
    // Rolls back an unfinished transaction.
    void close();
    bool isOpen() const { return m_store.isOpen(); }

    int fieldCount() const { return static_cast<int>(m_store.description().fields().size()); }
    QString fieldName(int field) const;
    int fieldIndex(const QString &name) const { return m_store.description().fieldIndex(name); }
    int fieldSize(const QString &name) const;

    // "" for the primary order, or the family's index name; unknown names raise TzrError. The
    // walk restarts at the first row.
    void setIndexName(const QString &name);
    QString indexName() const { return m_indexName; }

    int recordCount() const { return static_cast<int>(m_rows.size()); }
    void first();
    void next();
    // True past the last row (at once on an empty table).
    bool eof() const { return m_current >= recordCount(); }
    // The current row's value; raises TzrError at the end of the table or for an unknown field.
    QString value(const QString &field) const;
    // Deletes the current row; the next row becomes current.
    void deleteCurrent();
    // Reads the rows again from the file and goes to the first.
    void refresh();

    // Starts a new row with the fields' defaults; setValue() fills it and post() stores it (it
    // then becomes the current row), cancel() drops it.
    void insert();
    void setValue(const QString &field, const QString &text);
    void post();
    void cancel();
    bool isInserting() const { return m_inserting; }

    // Records kept beside the rows in the database member (TableStore::sideRecord).
    QByteArray sideRecord(const QString &kind, const QString &key, bool *found = nullptr) const
    {
        return m_store.sideRecord(kind, key, found);
    }
    void setSideRecord(const QString &kind, const QString &key, const QByteArray &value)
    {
        m_store.setSideRecord(kind, key, value);
    }
    void removeSideRecord(const QString &kind, const QString &key) { m_store.removeSideRecord(kind, key); }
    QList<TableStore::SideRecord> sideRecords(const QString &kind) const { return m_store.sideRecords(kind); }
    TableStore::SideRecord lastSideRecord(const QString &kind, bool *found) const
    {
        return m_store.lastSideRecord(kind, found);
    }
    QStringList sideKinds() const { return m_store.sideKinds(); }

    void begin();
    void commit();
    void rollback();
    bool inTransaction() const { return m_store.inTransaction(); }

private:
    int requireField(const QString &name) const;
    int orderField() const { return m_indexName.isEmpty() ? -1 : m_store.indexField(); }

    TableStore m_store;
    QString m_indexName;
    QList<TableStore::Row> m_rows;
    int m_current = 0;
    bool m_inserting = false;
    QStringList m_buffer;
};
