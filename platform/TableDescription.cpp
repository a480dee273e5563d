#include "TableDescription.h"

#include <QRegularExpression>

namespace {

constexpr int MAX_WIDTH = 255;

bool isPlainName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z][A-Za-z0-9_]{0,30}$"));
    return pattern.match(name).hasMatch();
}

} // namespace

int TableDescription::fieldIndex(const QString &name) const
{
    for (int i = 0; i < m_fields.size(); ++i) {
        if (m_fields.at(i).name().compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString TableDescription::problem() const
{
    if (m_fields.isEmpty())
        return QStringLiteral("a table needs at least one field");
    for (int i = 0; i < m_fields.size(); ++i) {
        const Field &f = m_fields.at(i);
        if (!isPlainName(f.name()) || f.name().compare(QLatin1String("RECNO"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("invalid field name \"%1\"").arg(f.name());
        if (fieldIndex(f.name()) != i)
            return QStringLiteral("field \"%1\" appears twice").arg(f.name());
        if (f.width() < 1 || f.width() > MAX_WIDTH)
            return QStringLiteral("field \"%1\" has an invalid size").arg(f.name());
        if (f.defaultValue().size() > f.width() || f.defaultValue().contains(QLatin1Char('\t')) ||
            f.defaultValue().contains(QLatin1Char('\n')) || f.defaultValue().endsWith(QLatin1Char(' ')))
            return QStringLiteral("field \"%1\" has an invalid default").arg(f.name());
    }
    if (!isPlainName(m_indexName))
        return QStringLiteral("invalid index name \"%1\"").arg(m_indexName);
    if (fieldIndex(m_indexField) < 0)
        return QStringLiteral("index field \"%1\" is not a field").arg(m_indexField);
    return {};
}

bool TableDescription::operator==(const TableDescription &other) const
{
    if (m_fields.size() != other.m_fields.size() || m_indexName != other.m_indexName ||
        m_indexField != other.m_indexField || m_familyId != other.m_familyId)
        return false;
    for (int i = 0; i < m_fields.size(); ++i) {
        const Field &a = m_fields.at(i);
        const Field &b = other.m_fields.at(i);
        if (a.name() != b.name() || a.width() != b.width() || a.defaultValue() != b.defaultValue())
            return false;
    }
    return true;
}
