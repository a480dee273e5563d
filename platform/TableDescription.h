#pragma once

#include <QList>
#include <QString>

// What a table family says about its table: the fields with their sizes and defaults, the
// secondary index, and the identity that ties the five files of one family together.
class TableDescription
{
public:
    class Field
    {
    public:
        Field(const QString &name, int width, const QString &defaultValue = {})
            : m_name(name), m_width(width), m_default(defaultValue)
        {
        }
        QString name() const { return m_name; }
        // The hard maximum of a value, in characters.
        int width() const { return m_width; }
        // The value a newly inserted row starts with.
        QString defaultValue() const { return m_default; }

    private:
        QString m_name;
        int m_width = 0;
        QString m_default;
    };

    TableDescription() = default;
    TableDescription(const QList<Field> &fields, const QString &indexName, const QString &indexField)
        : m_fields(fields), m_indexName(indexName), m_indexField(indexField)
    {
    }

    const QList<Field> &fields() const { return m_fields; }
    // -1 when the table has no such field; names compare without regard to case.
    int fieldIndex(const QString &name) const;
    QString indexName() const { return m_indexName; }
    QString indexField() const { return m_indexField; }
    // 32 hexadecimal digits; empty until the family is created or read.
    QString familyId() const { return m_familyId; }
    void setFamilyId(const QString &id) { m_familyId = id; }

    // Empty when the description can be stored; else what is wrong with it.
    QString problem() const;

    bool operator==(const TableDescription &other) const;

private:
    QList<Field> m_fields;
    QString m_indexName;
    QString m_indexField;
    QString m_familyId;
};
