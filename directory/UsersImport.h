#pragma once

#include "SheetRow.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class TextLookup;

// How imported rows join the users table.
enum class ImportMode
{
    Replace, // the table's rows are replaced by the imported ones
    Append,  // the imported rows follow the table's rows
};

// A row of the file that is not taken, with the line it starts on and why.
struct ImportProblem
{
    int line = 0;
    QString reason;
};

// What an import would do, worked out before anything is stored.
struct ImportPlan
{
    // The rows to store, each with one value per field in the table's field order.
    QList<QStringList> rows;
    // Whether the file has a column of end dates, and then each row's (invalid: no end).
    bool hasEndDates = false;
    QList<QDate> endDates;
    QList<ImportProblem> problems;
    // Whether the first row was taken as a row of column titles.
    bool header = false;
};

// Users from a spreadsheet or delimited text file into the users table. Every row goes through
// the rules typing it into the grid would apply: the key filters of its columns, the widths, the
// code editor's normalisation and kind, and the checks before a post; the 350-row limit holds.
class UsersImport
{
public:
    // texts gives the kind names and the reasons in the current language. languageFile (may be
    // empty) adds the grid's column titles of each of its languages to the recognised titles.
    UsersImport(const TextLookup &texts, const QString &languageFile);

    // The rows of an .xls workbook (by its extension) or of a delimited text file. Raises
    // TzrError (IoError when the file cannot be read).
    static QList<SheetRow> readFile(const QString &fileName);

    // The name a column of end dates goes by where a field name would stand.
    static constexpr const char *VALID_UNTIL = "VALID_UNTIL";
    // The field a column title names ("Llamada", "Line 2", "codigo", "TZR"...), VALID_UNTIL, or
    // empty.
    QString fieldForTitle(const QString &title) const;
    // The field's column title in the grid, in the chosen language: what a refusal names.
    QString columnTitle(const QString &field) const;
    // existingRows: the rows the table holds now, which count against the limit when appending.
    ImportPlan plan(const QList<SheetRow> &rows, ImportMode mode, int existingRows) const;

    // Stores the plan's rows in the data file in one transaction; a failure (TzrError) leaves
    // the table as it was. With a column of end dates, each imported user gets the row's end (a
    // replace first drops every end the file held); without one, ends stay as they are. The file must not be open in the grid meanwhile.
    static void apply(const QString &directory, const QString &fileName, const ImportPlan &plan,
                      ImportMode mode);
    // The rows a data file holds now.
    static int rowCount(const QString &directory, const QString &fileName);

private:
    // numeric: per field, whether its cell held a number rather than text.
    bool takeRow(const QStringList &values, const QList<bool> &numeric, QStringList &row, QString &reason) const;
    bool takeEndDate(const QString &cell, bool numeric, QDate &until, QString &reason) const;
    QString reasonText(const char *key, const char *fallback) const;

    const TextLookup &m_texts;
    QHash<QString, QString> m_titles;
};
