#pragma once

#include "TableDescription.h"
#include "TableStore.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>

// A dataset on one table family: the rows in the active order, a current row, and the states of
// browsing, editing and inserting. The rows are kept in memory while the table is open; every
// change is written to the family (and committed) before the call that makes it returns.
//
// Rows are addressed in the order shown: while a row is being inserted it is shown at
// currentRow(), between the stored rows, and rowCount() counts it; recordCount() does not.
class Table
{
public:
    enum class State
    {
        Inactive,
        Browse,
        Edit,
        Insert
    };
    // A hook returns false to refuse the operation silently; the row and the table then stay
    // as they were (a refused post leaves the row in editing with its values).
    using Hook = std::function<bool(Table &)>;
    // Supplies a field's text from its stored value; displayText tells the display text from
    // the edit text.
    using GetTextHook = std::function<QString(const QString &value, bool displayText)>;

    Table() = default;
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;

    void setDirectory(const QString &directory) { m_directory = directory; }
    QString directory() const { return m_directory; }
    void setTableName(const QString &name) { m_tableName = name; }
    QString tableName() const { return m_tableName; }
    // directory() joined with tableName().
    QString filePath() const;

    // Opens the family at filePath() on its first row; raises TzrError (the table stays closed).
    void open();
    // Closes; a pending edit or insert is dropped and the text hooks are removed.
    void close();
    bool isOpen() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    // Reads the rows again from the file, staying on the current row where it still exists; a
    // pending edit is posted or cancelled first (false when its post was refused).
    bool refresh();
    // Another handle or program changed the file since the rows were read: reads them again,
    // keeping the current row where it still exists, and tells the changed-behind hook. True
    // when the rows read differ from those shown. A pending edit or insertion is dropped with
    // them. Every write (edit, insert, post, delete) does this first and is refused when true,
    // so nothing is written into rows nobody saw.
    bool followFile();
    void setChangedBehind(std::function<void()> hook) { m_changedBehind = std::move(hook); }

    int fieldCount() const;
    QString fieldName(int field) const;
    // -1 when there is no such field.
    int fieldIndex(const QString &name) const;
    // The field's width, the longest value it stores; 0 for an unknown field.
    int fieldSize(const QString &name) const;

    // The current row's stored value (while editing, the value being edited); raises TzrError
    // for an unknown field or an empty table.
    QString value(const QString &field) const;
    // Only while editing or inserting: trailing spaces are dropped and the value is cut to the
    // field's width, so value() reads back what will be stored.
    void setValue(const QString &field, const QString &text);
    QString editText(const QString &field) const;
    QString displayText(const QString &field) const;
    // The same for any shown row, without moving to it.
    QString value(int row, const QString &field) const;
    QString editText(int row, const QString &field) const;
    QString displayText(int row, const QString &field) const;
    // Valid until the table is closed: open() starts with no hooks.
    void setGetTextHook(const QString &field, GetTextHook hook);
    // True when a value was changed since the row entered editing or insertion.
    bool isModified() const { return m_modified; }

    int recordCount() const { return static_cast<int>(m_rows.size()); }
    int rowCount() const { return recordCount() + (m_state == State::Insert ? 1 : 0); }
    // -1 on an empty table.
    int currentRow() const { return m_current; }
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    // Moving from a row in editing or insertion first posts it when modified, else cancels it;
    // a refused post stops the move (false). next() at the last row sets eof() and stays.
    bool first();
    bool next();
    bool prior();
    bool last();
    bool moveTo(int row);

    // Inserts a new row before the current one (insert) or after the last (append), with the
    // fields' defaults; false when a hook refused. A pending edit is posted first.
    bool insert();
    bool append();
    // Puts the current row into editing; on an empty table it inserts. No change while editing
    // or inserting.
    bool edit();
    // Stores the row being edited or inserted; false when refused (the state stays).
    bool post();
    void cancel();
    // Deletes the current row (cancels a pending insertion instead); false when refused or when
    // there is nothing to delete.
    bool deleteCurrent();
    // Posts a modified row, cancels an unmodified one; false when the post was refused.
    bool checkBrowseMode();

    // "" for the primary order (insertion order), or the name of the family's index. An unknown
    // name raises TzrError and changes nothing. The choice outlives close(); a family without
    // that index opens in primary order.
    void setIndexName(const QString &name);
    QString indexName() const { return m_indexName; }

    // Records kept beside the rows (TableStore::sideRecord), through this dataset's own connection
    // so that its rows are not taken as changed behind it; only while open.
    QList<TableStore::SideRecord> sideRecords(const QString &kind) const;
    void setSideRecord(const QString &kind, const QString &key, const QByteArray &value);
    void removeSideRecord(const QString &kind, const QString &key);
    void setBeforeInsert(Hook hook) { m_beforeInsert = std::move(hook); }
    void setAfterInsert(Hook hook) { m_afterInsert = std::move(hook); }
    void setBeforePost(Hook hook) { m_beforePost = std::move(hook); }
    void setAfterDelete(Hook hook) { m_afterDelete = std::move(hook); }

private:
    void requireOpen() const;
    int requireField(const QString &name) const;
    const QStringList &rowValues(int row) const;
    QString hookedText(int row, int field, bool display) const;
    bool run(const Hook &hook);
    bool startInsert(int position);
    int placeOf(const TableStore::Row &row) const;
    int positionOf(qint64 recno) const;
    void reload(qint64 keepRecno);
    bool leaveEditing();
    bool staleForWrite();

    TableStore m_store;
    QString m_directory;
    QString m_tableName;
    QString m_indexName;
    State m_state = State::Inactive;
    QList<TableStore::Row> m_rows;
    int m_current = -1;
    int m_returnTo = -1;
    TableStore::Row m_buffer;
    bool m_modified = false;
    bool m_eof = true;
    bool m_bof = true;
    QHash<int, GetTextHook> m_getText;
    Hook m_beforeInsert;
    Hook m_afterInsert;
    Hook m_beforePost;
    Hook m_afterDelete;
    std::function<void()> m_changedBehind;
    qint64 m_dataVersion = 0;
};
