#include "XlsReader.h"

#include "TzrError.h"

#include <QFile>
#include <QFileInfo>

#include <freexl.h>

namespace {

// Closes the workbook however the read ends; freexl wants a close even after a failed open.
class Workbook
{
public:
    ~Workbook()
    {
        if (m_handle)
            freexl_close(m_handle);
    }
    const void *m_handle = nullptr;
};

QString cellText(const FreeXL_CellValue &cell)
{
    switch (cell.type) {
    case FREEXL_CELL_INT:
        return QString::number(cell.value.int_value);
    case FREEXL_CELL_DOUBLE:
        // A call code typed as a number arrives as 7.0; its text is "7".
        return QString::number(cell.value.double_value, 'g', 15);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME:
        return QString::fromUtf8(cell.value.text_value);
    default:
        return {};
    }
}

} // namespace

QList<SheetRow> XlsReader::read(const QString &fileName)
{
    QFile probe(fileName);
    if (!probe.open(QIODevice::ReadOnly))
        throw IoError(QStringLiteral("%1: %2").arg(fileName, probe.errorString()));
    probe.close();

    Workbook book;
    const QByteArray path = QFile::encodeName(fileName);
    const auto refuse = [&] {
        return TzrError(QStringLiteral("%1: not an Excel 97-2003 workbook that can be read")
                            .arg(QFileInfo(fileName).fileName()));
    };
    if (freexl_open(path.constData(), &book.m_handle) != FREEXL_OK)
        throw refuse();
    if (freexl_select_active_worksheet(book.m_handle, 0) != FREEXL_OK)
        throw refuse();
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(book.m_handle, &rows, &columns) != FREEXL_OK)
        throw refuse();

    QList<SheetRow> result;
    result.reserve(static_cast<qsizetype>(rows));
    for (unsigned int r = 0; r < rows; ++r) {
        SheetRow row;
        row.line = static_cast<int>(r) + 1;
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue cell{};
            if (freexl_get_cell_value(book.m_handle, r, c, &cell) != FREEXL_OK)
                throw refuse();
            row.cells << cellText(cell);
            if (cell.type == FREEXL_CELL_INT || cell.type == FREEXL_CELL_DOUBLE)
                row.numbers << c;
        }
        result << row;
    }
    return result;
}
