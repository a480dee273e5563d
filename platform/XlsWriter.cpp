#include "XlsWriter.h"

#include "PrivateFile.h"
#include "TzrError.h"

#include <QFile>
#include <QHash>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>

#include <algorithm>

namespace {

constexpr quint16 BOF = 0x0809;
constexpr quint16 EOF_ = 0x000A;
constexpr quint16 CODEPAGE = 0x0042;
constexpr quint16 WINDOW1 = 0x003D;
constexpr quint16 FONT = 0x0031;
constexpr quint16 XF = 0x00E0;
constexpr quint16 STYLE = 0x0293;
constexpr quint16 BOUNDSHEET = 0x0085;
constexpr quint16 SST = 0x00FC;
constexpr quint16 CONTINUE = 0x003C;
constexpr quint16 EXTSST = 0x00FF;
constexpr quint16 DIMENSION = 0x0200;
constexpr quint16 LABELSST = 0x00FD;
constexpr quint16 BLANK = 0x0201;
constexpr quint16 WINDOW2 = 0x023E;

constexpr quint16 BIFF8 = 0x0600;
constexpr quint16 GLOBALS = 0x0005;
constexpr quint16 WORKSHEET = 0x0010;
constexpr quint16 UTF16_CODEPAGE = 1200;

// The longest record body BIFF8 allows; longer data continues in CONTINUE records.
constexpr int MAX_RECORD = 8224;
constexpr int MAX_ROWS = 65536;
constexpr int MAX_COLUMNS = 256;
constexpr int MAX_CELL_TEXT = 32767;
// Excel's own layout: style formats 0 to 14, then the default cell format 15 the cells use.
constexpr int STYLE_XFS = 15;
constexpr quint16 CELL_XF = 15;
constexpr int FONTS = 4;

void put16(QByteArray &b, quint16 v)
{
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>(v >> 8));
}

void put32(QByteArray &b, quint32 v)
{
    put16(b, static_cast<quint16>(v & 0xFFFF));
    put16(b, static_cast<quint16>(v >> 16));
}

void patch32(QByteArray &b, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void record(QByteArray &stream, quint16 type, const QByteArray &body)
{
    put16(stream, type);
    put16(stream, static_cast<quint16>(body.size()));
    stream += body;
}

// BIFF8 stores a text as 8-bit characters (the low bytes of UTF-16) when every character fits,
// else as UTF-16.
bool fitsCompressed(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
}

void putChars(QByteArray &b, const QString &text, bool compressed)
{
    for (QChar c : text) {
        if (compressed)
            b.append(static_cast<char>(c.unicode()));
        else
            put16(b, c.unicode());
    }
}

// A string with a one-byte length, as in FONT and BOUNDSHEET.
QByteArray shortString(const QString &text)
{
    QByteArray b;
    const bool compressed = fitsCompressed(text);
    b.append(static_cast<char>(text.size()));
    b.append(static_cast<char>(compressed ? 0 : 1));
    putChars(b, text, compressed);
    return b;
}

QByteArray bof(quint16 kind)
{
    QByteArray b;
    put16(b, BIFF8);
    put16(b, kind);
    put16(b, 0x0DBB); // build
    put16(b, 0x07CC); // year
    put32(b, 0);      // file history
    put32(b, 0x06);   // lowest version that can read the file
    return b;
}

QByteArray window1()
{
    QByteArray b;
    put16(b, 0);      // left
    put16(b, 0);      // top
    put16(b, 0x3A98); // width
    put16(b, 0x2328); // height
    put16(b, 0x0038); // horizontal and vertical scroll bars, sheet tabs
    put16(b, 0);      // active sheet
    put16(b, 0);      // first visible tab
    put16(b, 1);      // selected tabs
    put16(b, 0x0258); // tab bar width ratio
    return b;
}

QByteArray font()
{
    QByteArray b;
    put16(b, 200);     // 10 points, in twips
    put16(b, 0);       // no italic, strike-out...
    put16(b, 0x7FFF);  // automatic colour
    put16(b, 400);     // normal weight
    put16(b, 0);       // no super- or subscript
    b.append(char(0)); // no underline
    b.append(char(0)); // family
    b.append(char(0)); // character set
    b.append(char(0));
    return b + shortString(QStringLiteral("Arial"));
}

QByteArray xf(bool style, quint16 fontIndex, bool leavesToCell)
{
    QByteArray b;
    put16(b, fontIndex);
    put16(b, 0);                       // General number format
    put16(b, style ? 0xFFF5 : 0x0001); // locked; a style has no parent style, a cell has style 0
    b.append(char(0x20));              // bottom aligned, general horizontal alignment
    b.append(char(0));                 // rotation
    b.append(char(0));                 // indent, shrink, direction
    b.append(static_cast<char>(leavesToCell ? 0xF4 : 0)); // attributes a style leaves to the cell
    put32(b, 0);                                          // borders
    put32(b, 0);
    put16(b, 0x20C0); // pattern colours: automatic
    return b;
}

struct SharedStrings
{
    QStringList unique;
    QHash<QString, quint32> index;
    quint32 total = 0;
};

// SST with its CONTINUE records, appended to stream at its current end; returns the EXTSST body.
QByteArray appendSst(QByteArray &stream, const SharedStrings &strings)
{
    const int perBucket = std::max(8, static_cast<int>(strings.unique.size() / 128) + 1);
    QByteArray ext;
    put16(ext, static_cast<quint16>(perBucket));

    QByteArray body;
    put32(body, strings.total);
    put32(body, static_cast<quint32>(strings.unique.size()));
    quint16 type = SST;
    auto flush = [&] {
        record(stream, type, body);
        body.clear();
        type = CONTINUE;
    };

    for (qsizetype s = 0; s < strings.unique.size(); ++s) {
        const QString &text = strings.unique.at(s);
        const bool compressed = fitsCompressed(text);
        const int unit = compressed ? 1 : 2;
        // The length and flags are never split from the first character.
        if (body.size() + 3 + (text.isEmpty() ? 0 : unit) > MAX_RECORD)
            flush();
        if (s % perBucket == 0) {
            put32(ext, static_cast<quint32>(stream.size() + 4 + body.size()));
            put16(ext, static_cast<quint16>(4 + body.size()));
            put16(ext, 0);
        }
        put16(body, static_cast<quint16>(text.size()));
        body.append(static_cast<char>(compressed ? 0 : 1));
        qsizetype done = 0;
        while (done < text.size()) {
            qsizetype room = (MAX_RECORD - body.size()) / unit;
            if (room == 0) {
                flush();
                body.append(static_cast<char>(compressed ? 0 : 1)); // a continued string repeats its flags
                room = (MAX_RECORD - body.size()) / unit;
            }
            const qsizetype n = std::min(room, text.size() - done);
            putChars(body, text.mid(done, n), compressed);
            done += n;
        }
    }
    flush();
    return ext;
}

class GErrorText
{
public:
    ~GErrorText()
    {
        if (m_error)
            g_error_free(m_error);
    }
    GError **out() { return &m_error; }
    QString text(const QString &fallback) const
    {
        return m_error ? QString::fromUtf8(m_error->message) : fallback;
    }

private:
    GError *m_error = nullptr;
};

QString outputError(GsfOutput *output)
{
    const GError *error = gsf_output_error(output);
    return error ? QString::fromUtf8(error->message) : QStringLiteral("write error");
}

} // namespace

QByteArray XlsWriter::workbookStream(const QList<QStringList> &rows, const QString &sheetName)
{
    int columns = 0;
    SharedStrings strings;
    for (const QStringList &row : rows) {
        columns = std::max(columns, static_cast<int>(row.size()));
        for (const QString &cell : row) {
            if (cell.size() > MAX_CELL_TEXT)
                throw TzrError(QStringLiteral("A cell text is longer than %1 characters").arg(MAX_CELL_TEXT));
            if (cell.isEmpty())
                continue;
            if (!strings.index.contains(cell)) {
                strings.index.insert(cell, static_cast<quint32>(strings.unique.size()));
                strings.unique << cell;
            }
            ++strings.total;
        }
    }
    if (rows.size() > MAX_ROWS || columns > MAX_COLUMNS)
        throw TzrError(
            QStringLiteral("A sheet holds at most %1 rows of %2 columns").arg(MAX_ROWS).arg(MAX_COLUMNS));

    QByteArray stream;
    record(stream, BOF, bof(GLOBALS));
    QByteArray codepage;
    put16(codepage, UTF16_CODEPAGE);
    record(stream, CODEPAGE, codepage);
    record(stream, WINDOW1, window1());
    for (int i = 0; i < FONTS; ++i)
        record(stream, FONT, font());
    for (int i = 0; i < STYLE_XFS; ++i) {
        const quint16 fontIndex = i == 1 || i == 2 ? 1 : (i == 3 || i == 4 ? 2 : 0);
        record(stream, XF, xf(true, fontIndex, i != 0));
    }
    record(stream, XF, xf(false, 0, false));
    QByteArray style;
    put16(style, 0x8000);  // built-in style for format 0
    style.append(char(0)); // "Normal"
    style.append(static_cast<char>(0xFF));
    record(stream, STYLE, style);

    QByteArray sheet;
    put32(sheet, 0); // patched with the position of the sheet's BOF
    put16(sheet, 0); // visible worksheet
    sheet += shortString(sheetName.left(31));
    const qsizetype sheetOffsetAt = stream.size() + 4;
    record(stream, BOUNDSHEET, sheet);
    const QByteArray ext = appendSst(stream, strings);
    record(stream, EXTSST, ext);
    record(stream, EOF_, {});

    patch32(stream, sheetOffsetAt, static_cast<quint32>(stream.size()));
    record(stream, BOF, bof(WORKSHEET));
    QByteArray dimension;
    put32(dimension, 0);
    put32(dimension, static_cast<quint32>(rows.size()));
    put16(dimension, 0);
    put16(dimension, static_cast<quint16>(columns));
    put16(dimension, 0);
    record(stream, DIMENSION, dimension);
    for (qsizetype r = 0; r < rows.size(); ++r) {
        for (qsizetype c = 0; c < rows.at(r).size(); ++c) {
            QByteArray cell;
            put16(cell, static_cast<quint16>(r));
            put16(cell, static_cast<quint16>(c));
            put16(cell, CELL_XF);
            // An empty text is a blank cell, as the spreadsheet application stores it; readers
            // such as libfreexl refuse a zero-length string.
            if (rows.at(r).at(c).isEmpty()) {
                record(stream, BLANK, cell);
                continue;
            }
            put32(cell, strings.index.value(rows.at(r).at(c)));
            record(stream, LABELSST, cell);
        }
    }
    QByteArray window2;
    put16(window2, 0x06B6); // grid lines, headers, zeros, outline symbols; selected and shown
    put16(window2, 0);      // top row
    put16(window2, 0);      // left column
    put32(window2, 0x40);   // automatic grid-line colour
    put16(window2, 0);      // zoom of the page-break preview: default
    put16(window2, 0);      // zoom of the normal view: default
    put32(window2, 0);
    record(stream, WINDOW2, window2);
    record(stream, EOF_, {});
    return stream;
}

void XlsWriter::write(const QString &fileName, const QList<QStringList> &rows, const QString &sheetName)
{
    const QByteArray workbook = workbookStream(rows, sheetName);

    // Built in memory and written through the private-file helper: the sheet holds the users'
    // codes, so a new file is the owner's only from its first byte and appears only complete.
    GsfOutput *sink = gsf_output_memory_new();
    GsfOutfile *ole = gsf_outfile_msole_new(sink);
    auto *oleOutput = reinterpret_cast<GsfOutput *>(ole);
    GsfOutput *stream = gsf_outfile_new_child(ole, "Workbook", FALSE);
    QString failure;
    if (!stream) {
        failure = outputError(oleOutput);
    } else {
        if (!gsf_output_write(stream, static_cast<size_t>(workbook.size()),
                              reinterpret_cast<const guint8 *>(workbook.constData())))
            failure = outputError(stream);
        if (!gsf_output_close(stream) && failure.isEmpty())
            failure = outputError(stream);
        g_object_unref(stream);
    }
    if (!gsf_output_close(oleOutput) && failure.isEmpty())
        failure = outputError(oleOutput);
    g_object_unref(ole);
    const QByteArray bytes(
        reinterpret_cast<const char *>(gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink))),
        static_cast<qsizetype>(gsf_output_size(sink)));
    g_object_unref(sink);
    if (!failure.isEmpty())
        throw TzrError(QStringLiteral("Cannot write %1: %2").arg(fileName, failure));
    PrivateFile::write(fileName, bytes, PrivateFile::Existing::KeepMode);
}
