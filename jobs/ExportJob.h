#pragma once

#include "DataFileRef.h"

#include <QHash>
#include <QString>

// The users of a data file written out as the window's export writes them, for a command that
// does not hold the table open itself.
class ExportJob
{
public:
    enum class Format
    {
        Workbook,  // .xls
        Delimited, // .csv
    };

    explicit ExportJob(const DataFileRef &file) : m_file(file) {}
    // Ordered by name (index "I_NOMBRE") rather than the table's own order.
    void setByName(bool byName) { m_byName = byName; }

    // Writes the users to out, each kind turned by kinds (kindsInCurrentLanguage); the number of
    // users, and nothing written when there are none. Raises TzrError when the table cannot be
    // opened or out cannot be written.
    int run(const QString &out, Format format, const QHash<QString, QString> &kinds);

private:
    DataFileRef m_file;
    bool m_byName = false;
};
