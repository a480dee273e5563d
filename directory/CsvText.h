#pragma once

#include "SheetRow.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Delimited text as spreadsheet programs write it: comma or semicolon between fields, fields in
// double quotes where they hold a delimiter, a quote ("" inside) or a line break.
namespace CsvText {

// The text of a file: UTF-8 when it starts with a byte-order mark (dropped) or is valid UTF-8,
// otherwise Windows-1252, the encoding spreadsheet programs use for "CSV" on Western systems.
QString decode(const QByteArray &bytes);
// Semicolon when the first record has more semicolons than commas outside quotes, else comma.
QChar delimiter(const QString &text);
// The records of text with the line each starts on; a final line break ends the last record.
QList<SheetRow> parse(const QString &text, QChar delimiter);
// decode, delimiter and parse in one.
QList<SheetRow> read(const QByteArray &bytes);

// The rows as comma-separated UTF-8 with a byte-order mark and CRLF line ends, which
// spreadsheet programs open with accents intact.
QByteArray write(const QList<QStringList> &rows);

} // namespace CsvText
