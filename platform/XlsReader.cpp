#include "XlsReader.h"

#include "PrivateFile.h"
#include "TzrError.h"

#include <QFile>
#include <QFileInfo>

#include <freexl.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>

namespace {

// A board holds 350 users; a sheet of them has a title row besides.
constexpr unsigned int MOST_ROWS = 351;
// The widest sheet the format has; more is no workbook.
constexpr unsigned int MOST_COLUMNS = 256;
// Hundreds of users take a few tens of KiB; the cap only stops what is no users list.
constexpr qint64 MOST_BYTES = 8 * 1024 * 1024;

quint32 little(const QByteArray &bytes, qsizetype at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<quint8>(bytes.at(at + i));
    return value;
}

// The rows and columns the first worksheet declares (its DIMENSIONS record), read from the
// workbook stream before the reader is given the file: the reader allocates a cell for each
// before anything else. False when the stream cannot be walked; the reader then judges it.
bool declaredSize(const QByteArray &file, quint32 *rows, quint32 *columns)
{
    GsfInput *input = gsf_input_memory_new(reinterpret_cast<const guint8 *>(file.constData()),
                                           static_cast<gsf_off_t>(file.size()), FALSE);
    GsfInfile *ole = gsf_infile_msole_new(input, nullptr);
    g_object_unref(input);
    if (!ole)
        return false;
    GsfInput *stream = gsf_infile_child_by_name(ole, "Workbook");
    if (!stream)
        stream = gsf_infile_child_by_name(ole, "Book");
    QByteArray book;
    if (stream) {
        const gsf_off_t size = gsf_input_size(stream);
        if (size > 0 && size <= MOST_BYTES) {
            book.resize(static_cast<qsizetype>(size));
            if (!gsf_input_read(stream, static_cast<size_t>(size), reinterpret_cast<guint8 *>(book.data())))
                book.clear();
        }
        g_object_unref(stream);
    }
    g_object_unref(ole);

    constexpr quint32 BOUNDSHEET = 0x0085;
    constexpr quint32 DIMENSIONS = 0x0200;
    constexpr quint32 END = 0x000A;
    // The globals: the first worksheet's offset.
    qsizetype at = 0;
    qint64 sheet = -1;
    while (at + 4 <= book.size()) {
        const quint32 type = little(book, at, 2);
        const qsizetype length = little(book, at + 2, 2);
        if (at + 4 + length > book.size())
            return false;
        if (type == BOUNDSHEET && length >= 6 && static_cast<quint8>(book.at(at + 4 + 5)) == 0) {
            sheet = little(book, at + 4, 4);
            break;
        }
        if (type == END)
            return false;
        at += 4 + length;
    }
    if (sheet < 0 || sheet >= book.size())
        return false;
    for (at = static_cast<qsizetype>(sheet); at + 4 <= book.size();) {
        const quint32 type = little(book, at, 2);
        const qsizetype length = little(book, at + 2, 2);
        if (at + 4 + length > book.size())
            return false;
        if (type == DIMENSIONS) {
            if (length >= 14) {
                *rows = little(book, at + 8, 4);
                *columns = little(book, at + 14, 2);
            } else if (length >= 10) {
                *rows = little(book, at + 6, 2);
                *columns = little(book, at + 10, 2);
            } else {
                return false;
            }
            return true;
        }
        if (type == END)
            return false;
        at += 4 + length;
    }
    return false;
}

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
    if (QFileInfo(fileName).size() > MOST_BYTES)
        throw FileTooLarge(fileName, MOST_BYTES);
    quint32 rows = 0;
    quint32 columns = 0;
    if (declaredSize(PrivateFile::read(fileName, MOST_BYTES), &rows, &columns) &&
        (rows > MOST_ROWS || columns > MOST_COLUMNS))
        throw SheetTooLarge(fileName, rows, MOST_ROWS - 1);

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
    rows = 0;
    unsigned short width = 0;
    if (freexl_worksheet_dimensions(book.m_handle, &rows, &width) != FREEXL_OK)
        throw refuse();
    // The stream walk above and the reader could disagree; the reader's count is bounded too.
    if (rows > MOST_ROWS)
        throw SheetTooLarge(fileName, rows, MOST_ROWS - 1);

    QList<SheetRow> result;
    result.reserve(static_cast<qsizetype>(rows));
    for (unsigned int r = 0; r < rows; ++r) {
        SheetRow row;
        row.line = static_cast<int>(r) + 1;
        for (unsigned short c = 0; c < width; ++c) {
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
