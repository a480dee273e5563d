#pragma once

#include "SheetRow.h"

#include <QString>

// Reads the first worksheet of an Excel 97-2003 workbook (.xls) through libfreexl.
class XlsReader
{
public:
    // Every row from the first to the last used one, each as long as the sheet is wide; numbers
    // as their shortest decimal text (and listed in SheetRow::numbers), dates as freexl writes them. Raises IoError when the file
    // cannot be opened and TzrError when it is not a workbook freexl can read.
    static QList<SheetRow> read(const QString &fileName);
};
