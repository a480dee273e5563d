#pragma once

#include <QList>
#include <QStringList>

// One row of a spreadsheet or delimited text file: the cells as text and the line (or sheet row)
// it starts on, counted from 1, so a report can point the user at it.
struct SheetRow
{
    int line = 0;
    QStringList cells;
    // Columns (from 0) whose cell holds a number rather than text. Its text is the number's
    // shortest form, which may differ from what the sheet shows: a "000000" format shows leading
    // zeros the number does not keep.
    QList<int> numbers{};
};
