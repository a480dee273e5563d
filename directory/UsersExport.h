#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class Table;

// The rows of Table1 as the export lists them: in the current order, one text per field in the
// field order, each the display text (CODIGO through codigoGetText) with leading and trailing
// characters up to code 32 removed, then, when any user has an end date, that date (YYYY-MM-DD,
// empty for none). The current row is not moved. kinds turns a stored kind text
// into the one exported (kindsInCurrentLanguage), so one file holds one language.
QList<QStringList> exportRows(const Table &Table1, const QHash<QString, QString> &kinds = {});
// The cell range the rows fill, from A1: "A1:G12" for 12 rows of 7 fields.
QString exportRange(int rows, int columns);
// Writes the rows of Table1 to the workbook nombre (ToolExcelClick after its dialog). False,
// writing nothing, for an empty name or a closed or empty table, or when a row being edited
// cannot be stored first. Raises TzrError when the file cannot be written.
bool ToolExcelClick(Table &Table1, const QString &nombre, const QHash<QString, QString> &kinds = {});
