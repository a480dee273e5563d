#include "TableCursor.h"

#include "TzrError.h"

#include <algorithm>

void TableCursor::open(const QString &directory, const QString &fileName)
{
    close();
    const QString path = directory.isEmpty() || directory.endsWith(QLatin1Char('/'))
                             ? directory + fileName
                             : directory + QLatin1Char('/') + fileName;
    m_store.open(path);
    try {
        m_rows = m_store.load(false);
    } catch (...) {
        m_store.close();
        throw;
    }
    m_current = 0;
}

void TableCursor::close()
{
    m_store.close();
    m_indexName.clear();
    m_rows.clear();
    m_current = 0;
    m_inserting = false;
    m_buffer.clear();
}

QString TableCursor::fieldName(int field) const
{
    const auto &fields = m_store.description().fields();
    return field >= 0 && field < fields.size() ? fields.at(field).name() : QString();
}

int TableCursor::fieldSize(const QString &name) const
{
    const int i = fieldIndex(name);
    return i < 0 ? 0 : m_store.description().fields().at(i).width();
}

int TableCursor::requireField(const QString &name) const
{
    if (!isOpen())
        throw TzrError(QStringLiteral("The table is not open"));
    const int i = fieldIndex(name);
    if (i < 0)
        throw TzrError(QStringLiteral("The table %1 has no field %2").arg(m_store.databasePath(), name));
    return i;
}

void TableCursor::setIndexName(const QString &name)
{
    if (!isOpen())
        throw TzrError(QStringLiteral("The table is not open"));
    const QString familyIndex = m_store.description().indexName();
    if (!name.isEmpty() && name.compare(familyIndex, Qt::CaseInsensitive) != 0)
        throw TzrError(QStringLiteral("The table %1 has no index %2").arg(m_store.databasePath(), name));
    m_indexName = name.isEmpty() ? QString() : familyIndex;
    refresh();
}

void TableCursor::first()
{
    m_current = 0;
}

void TableCursor::next()
{
    if (!eof())
        ++m_current;
}

QString TableCursor::value(const QString &field) const
{
    const int f = requireField(field);
    if (eof())
        throw TzrError(QStringLiteral("The table %1 is at its end").arg(m_store.databasePath()));
    return m_rows.at(m_current).values.at(f);
}

void TableCursor::deleteCurrent()
{
    if (!isOpen() || eof())
        throw TzrError(QStringLiteral("There is no row to delete"));
    m_store.remove(m_rows.at(m_current).recno);
    m_rows.removeAt(m_current);
}

void TableCursor::refresh()
{
    if (!isOpen())
        throw TzrError(QStringLiteral("The table is not open"));
    m_rows = m_store.load(!m_indexName.isEmpty());
    m_current = 0;
}

void TableCursor::insert()
{
    if (!isOpen())
        throw TzrError(QStringLiteral("The table is not open"));
    m_buffer.clear();
    for (const TableDescription::Field &f : m_store.description().fields())
        m_buffer << f.defaultValue();
    m_inserting = true;
}

void TableCursor::setValue(const QString &field, const QString &text)
{
    const int f = requireField(field);
    if (!m_inserting)
        throw TzrError(QStringLiteral("No row is being inserted"));
    m_buffer[f] = m_store.normalised(f, text);
}

void TableCursor::post()
{
    if (!m_inserting)
        return;
    TableStore::Row row;
    row.values = m_buffer;
    row.recno = m_store.insert(row.values);
    const int indexField = orderField();
    const auto at = std::upper_bound(m_rows.cbegin(), m_rows.cend(), row,
                                     [indexField](const TableStore::Row &a, const TableStore::Row &b) {
                                         return TableStore::before(a, b, indexField);
                                     });
    m_current = static_cast<int>(at - m_rows.cbegin());
    m_rows.insert(m_current, row);
    m_inserting = false;
    m_buffer.clear();
}

void TableCursor::cancel()
{
    m_inserting = false;
    m_buffer.clear();
}

void TableCursor::begin()
{
    if (!isOpen())
        throw TzrError(QStringLiteral("The table is not open"));
    m_store.begin();
}

void TableCursor::commit()
{
    m_store.commit();
}

void TableCursor::rollback()
{
    m_store.rollback();
    m_rows = m_store.load(!m_indexName.isEmpty());
    m_current = 0;
}
