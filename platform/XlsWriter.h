#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Writes an Excel 97-2003 workbook (BIFF8 in an OLE2 compound file) with one sheet of string
// cells: rows.at(r).at(c) becomes the cell at row r + 1, column c + 1; no title row.
class XlsWriter
{
public:
    // Replaces fileName; raises TzrError with the system's message when it cannot be written
    // (the old file, if any, is then left as it was).
    static void write(const QString &fileName, const QList<QStringList> &rows,
                      const QString &sheetName = QStringLiteral("Sheet1"));

    // The BIFF8 "Workbook" stream of such a workbook.
    static QByteArray workbookStream(const QList<QStringList> &rows, const QString &sheetName);
};
