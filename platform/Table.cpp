#include "Table.h"

#include "TzrError.h"

#include <algorithm>

QString Table::filePath() const
{
    if (m_directory.isEmpty() || m_directory.endsWith(QLatin1Char('/')))
        return m_directory + m_tableName;
    return m_directory + QLatin1Char('/') + m_tableName;
}

void Table::open()
{
    close();
    m_store.open(filePath());
    const QString familyIndex = m_store.description().indexName();
    if (!m_indexName.isEmpty())
        m_indexName = m_indexName.compare(familyIndex, Qt::CaseInsensitive) == 0 ? familyIndex : QString();
    try {
        m_rows = m_store.load(!m_indexName.isEmpty());
    } catch (...) {
        m_store.close();
        throw;
    }
    m_dataVersion = m_store.dataVersion();
    m_state = State::Browse;
    m_current = m_rows.isEmpty() ? -1 : 0;
    m_bof = true;
    m_eof = m_rows.isEmpty();
}

void Table::close()
{
    m_store.close();
    m_state = State::Inactive;
    m_rows.clear();
    m_current = -1;
    m_returnTo = -1;
    m_buffer = {};
    m_modified = false;
    m_eof = true;
    m_bof = true;
    m_getText.clear();
}

bool Table::followFile()
{
    if (m_state == State::Inactive || m_store.dataVersion() == m_dataVersion)
        return false;
    const QList<TableStore::Row> shown = m_rows;
    cancel();
    reload(m_current >= 0 && m_current < recordCount() ? m_rows.at(m_current).recno : 0);
    // Our own other handles (a side record written beside the rows) change the version too.
    const bool changed = shown.size() != m_rows.size() ||
                         !std::equal(shown.cbegin(), shown.cend(), m_rows.cbegin(),
                                     [](const TableStore::Row &a, const TableStore::Row &b) {
                                         return a.recno == b.recno && a.values == b.values;
                                     });
    if (changed && m_changedBehind)
        m_changedBehind();
    return changed;
}

bool Table::staleForWrite()
{
    if (m_state == State::Inactive || m_store.dataVersion() == m_dataVersion)
        return false;
    // A pending edit survives a version change that changed no row.
    const State state = m_state;
    const TableStore::Row buffer = m_buffer;
    const bool modified = m_modified;
    const int current = m_current;
    const int returnTo = m_returnTo;
    if (followFile())
        return true;
    if (state != State::Browse) {
        m_state = state;
        m_buffer = buffer;
        m_modified = modified;
        m_current = current;
        m_returnTo = returnTo;
    }
    return false;
}

bool Table::refresh()
{
    requireOpen();
    if (!leaveEditing())
        return false;
    reload(m_current >= 0 ? m_rows.at(m_current).recno : 0);
    return true;
}

int Table::fieldCount() const
{
    return static_cast<int>(m_store.description().fields().size());
}

QString Table::fieldName(int field) const
{
    const auto &fields = m_store.description().fields();
    return field >= 0 && field < fields.size() ? fields.at(field).name() : QString();
}

int Table::fieldIndex(const QString &name) const
{
    return m_store.description().fieldIndex(name);
}

int Table::fieldSize(const QString &name) const
{
    const int i = fieldIndex(name);
    return i < 0 ? 0 : m_store.description().fields().at(i).width();
}

void Table::requireOpen() const
{
    if (m_state == State::Inactive)
        throw TzrError(QStringLiteral("The table %1 is not open").arg(filePath()));
}

int Table::requireField(const QString &name) const
{
    requireOpen();
    const int i = fieldIndex(name);
    if (i < 0)
        throw TzrError(QStringLiteral("The table %1 has no field %2").arg(filePath(), name));
    return i;
}

const QStringList &Table::rowValues(int row) const
{
    if (row < 0 || row >= rowCount())
        throw TzrError(QStringLiteral("The table %1 has no row %2").arg(filePath()).arg(row));
    if (row == m_current && m_state != State::Browse)
        return m_buffer.values;
    if (m_state == State::Insert && row > m_current)
        return m_rows.at(row - 1).values;
    return m_rows.at(row).values;
}

QString Table::hookedText(int row, int field, bool display) const
{
    const QString stored = rowValues(row).at(field);
    const auto hook = m_getText.constFind(field);
    return hook == m_getText.constEnd() ? stored : (*hook)(stored, display);
}

QString Table::value(const QString &field) const
{
    const int f = requireField(field);
    return m_current < 0 ? QString() : rowValues(m_current).at(f);
}

QString Table::editText(const QString &field) const
{
    const int f = requireField(field);
    return m_current < 0 ? QString() : hookedText(m_current, f, false);
}

QString Table::displayText(const QString &field) const
{
    const int f = requireField(field);
    return m_current < 0 ? QString() : hookedText(m_current, f, true);
}

QString Table::value(int row, const QString &field) const
{
    return rowValues(row).at(requireField(field));
}

QString Table::editText(int row, const QString &field) const
{
    return hookedText(row, requireField(field), false);
}

QString Table::displayText(int row, const QString &field) const
{
    return hookedText(row, requireField(field), true);
}

void Table::setValue(const QString &field, const QString &text)
{
    const int f = requireField(field);
    if (m_state != State::Edit && m_state != State::Insert)
        throw TzrError(QStringLiteral("The table %1 is not being edited").arg(filePath()));
    const QString stored = m_store.normalised(f, text);
    if (m_buffer.values.at(f) != stored) {
        m_buffer.values[f] = stored;
        m_modified = true;
    }
}

void Table::setGetTextHook(const QString &field, GetTextHook hook)
{
    const int f = requireField(field);
    if (hook)
        m_getText.insert(f, std::move(hook));
    else
        m_getText.remove(f);
}

bool Table::leaveEditing()
{
    return m_state == State::Browse || checkBrowseMode();
}

bool Table::checkBrowseMode()
{
    requireOpen();
    if (m_state == State::Browse)
        return true;
    if (m_modified)
        return post();
    cancel();
    return true;
}

bool Table::first()
{
    requireOpen();
    if (!leaveEditing())
        return false;
    m_current = m_rows.isEmpty() ? -1 : 0;
    m_bof = true;
    m_eof = m_rows.isEmpty();
    return true;
}

bool Table::next()
{
    requireOpen();
    if (!leaveEditing())
        return false;
    if (m_current + 1 < recordCount()) {
        ++m_current;
        m_bof = false;
        m_eof = false;
    } else {
        m_eof = true;
    }
    return true;
}

bool Table::prior()
{
    requireOpen();
    if (!leaveEditing())
        return false;
    if (m_current > 0) {
        --m_current;
        m_bof = false;
        m_eof = false;
    } else {
        m_bof = true;
    }
    return true;
}

bool Table::last()
{
    requireOpen();
    if (!leaveEditing())
        return false;
    m_current = recordCount() - 1;
    m_eof = true;
    m_bof = m_rows.isEmpty();
    return true;
}

bool Table::moveTo(int row)
{
    requireOpen();
    if (row < 0 || row >= rowCount())
        return false;
    if (row == m_current && m_state != State::Browse)
        return true;
    // Leaving the row being edited can move rows: aim at the record, not at the position.
    const qint64 target =
        m_state == State::Insert && row > m_current ? m_rows.at(row - 1).recno : m_rows.at(row).recno;
    if (!leaveEditing())
        return false;
    m_current = positionOf(target);
    m_bof = false;
    m_eof = false;
    return true;
}

bool Table::run(const Hook &hook)
{
    return !hook || hook(*this);
}

bool Table::insert()
{
    requireOpen();
    if (staleForWrite() || !leaveEditing() || !run(m_beforeInsert))
        return false;
    return startInsert(std::max(m_current, 0));
}

bool Table::append()
{
    requireOpen();
    if (staleForWrite() || !leaveEditing() || !run(m_beforeInsert))
        return false;
    return startInsert(recordCount());
}

bool Table::startInsert(int position)
{
    m_returnTo = m_current;
    m_buffer = {};
    for (const TableDescription::Field &f : m_store.description().fields())
        m_buffer.values << f.defaultValue();
    m_state = State::Insert;
    m_current = position;
    m_modified = false;
    m_bof = false;
    m_eof = false;
    bool accepted = false;
    try {
        accepted = run(m_afterInsert);
    } catch (...) {
        cancel();
        throw;
    }
    if (!accepted)
        cancel();
    return accepted;
}

bool Table::edit()
{
    requireOpen();
    if (m_state != State::Browse)
        return true;
    if (staleForWrite())
        return false;
    if (m_rows.isEmpty())
        return insert();
    m_buffer = m_rows.at(m_current);
    m_state = State::Edit;
    m_modified = false;
    return true;
}

bool Table::post()
{
    requireOpen();
    if (m_state == State::Browse)
        return true;
    if (staleForWrite() || !run(m_beforePost))
        return false;
    TableStore::Row row = m_buffer;
    for (int i = 0; i < row.values.size(); ++i)
        row.values[i] = m_store.normalised(i, row.values.at(i));
    if (m_state == State::Insert) {
        row.recno = m_store.insert(row.values);
    } else {
        if (row.values == m_rows.at(m_current).values) {
            m_state = State::Browse;
            m_modified = false;
            return true;
        }
        m_store.update(row.recno, row.values);
        m_rows.removeAt(m_current);
    }
    m_current = placeOf(row);
    m_rows.insert(m_current, row);
    m_state = State::Browse;
    m_modified = false;
    m_bof = false;
    m_eof = false;
    return true;
}

void Table::cancel()
{
    if (m_state == State::Insert)
        m_current = m_rows.isEmpty() ? -1 : std::clamp(m_returnTo, 0, recordCount() - 1);
    if (m_state == State::Insert || m_state == State::Edit)
        m_state = State::Browse;
    m_buffer = {};
    m_modified = false;
}

bool Table::deleteCurrent()
{
    requireOpen();
    if (staleForWrite())
        return false;
    if (m_state == State::Insert) {
        cancel();
        return true;
    }
    if (m_rows.isEmpty())
        return false;
    cancel();

    const int at = m_current;
    const TableStore::Row removed = m_rows.at(at);
    const bool wasEof = m_eof;
    const bool wasBof = m_bof;
    auto restore = [&] {
        m_store.rollback();
        m_rows.insert(at, removed);
        m_current = at;
        m_eof = wasEof;
        m_bof = wasBof;
    };

    // The delete stays uncommitted until the after-delete hook has accepted it.
    m_store.begin();
    try {
        m_store.remove(removed.recno);
    } catch (...) {
        m_store.rollback();
        throw;
    }
    m_rows.removeAt(at);
    m_current = m_rows.isEmpty() ? -1 : std::min(at, recordCount() - 1);
    m_eof = m_rows.isEmpty();
    bool accepted = false;
    try {
        accepted = run(m_afterDelete);
        if (accepted)
            m_store.commit();
    } catch (...) {
        restore();
        throw;
    }
    if (!accepted)
        restore();
    return accepted;
}

void Table::setIndexName(const QString &name)
{
    if (m_state == State::Inactive) {
        m_indexName = name;
        return;
    }
    const QString familyIndex = m_store.description().indexName();
    if (!name.isEmpty() && name.compare(familyIndex, Qt::CaseInsensitive) != 0)
        throw TzrError(QStringLiteral("The table %1 has no index %2").arg(filePath(), name));
    const QString chosen = name.isEmpty() ? QString() : familyIndex;
    if (chosen == m_indexName)
        return;
    if (!leaveEditing())
        return;
    m_indexName = chosen;
    reload(m_current >= 0 ? m_rows.at(m_current).recno : 0);
}

int Table::placeOf(const TableStore::Row &row) const
{
    const int indexField = m_indexName.isEmpty() ? -1 : m_store.indexField();
    const auto at = std::upper_bound(m_rows.cbegin(), m_rows.cend(), row,
                                     [indexField](const TableStore::Row &a, const TableStore::Row &b) {
                                         return TableStore::before(a, b, indexField);
                                     });
    return static_cast<int>(at - m_rows.cbegin());
}

int Table::positionOf(qint64 recno) const
{
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).recno == recno)
            return i;
    }
    return -1;
}

void Table::reload(qint64 keepRecno)
{
    const int before = m_current;
    m_rows = m_store.load(!m_indexName.isEmpty());
    m_dataVersion = m_store.dataVersion();
    m_current = positionOf(keepRecno);
    if (m_current < 0)
        m_current = m_rows.isEmpty() ? -1 : std::clamp(before, 0, recordCount() - 1);
    m_eof = m_rows.isEmpty();
    m_bof = m_current <= 0;
}

QList<TableStore::SideRecord> Table::sideRecords(const QString &kind) const
{
    requireOpen();
    return m_store.sideRecords(kind);
}

void Table::setSideRecord(const QString &kind, const QString &key, const QByteArray &value)
{
    requireOpen();
    m_store.setSideRecord(kind, key, value);
}

void Table::removeSideRecord(const QString &kind, const QString &key)
{
    requireOpen();
    m_store.removeSideRecord(kind, key);
}
