#include "TzrError.h"
#include "XlsReader.h"
#include "XlsWriter.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/wait.h>

namespace {

// Debian's interpreter carries python3-xlrd; a python3 earlier in PATH may not.
QString pythonWithXlrd()
{
    for (const QString &candidate : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        QProcess probe;
        probe.start(candidate, {QStringLiteral("-c"), QStringLiteral("import xlrd")});
        if (probe.waitForFinished(60000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0)
            return candidate;
    }
    return {};
}

const char *READER = R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
sheet = book.sheet_by_index(0)
cells = [[[sheet.cell_type(r, c), sheet.cell_value(r, c)] for c in range(sheet.ncols)] for r in range(sheet.nrows)]
json.dump({"sheets": book.nsheets, "name": sheet.name, "cells": cells}, sys.stdout)
)";

struct Record
{
    qsizetype offset = 0;
    quint16 type = 0;
    QByteArray body;
};

quint16 u16(const QByteArray &b, qsizetype at)
{
    return static_cast<quint16>(static_cast<quint8>(b.at(at)) | static_cast<quint8>(b.at(at + 1)) << 8);
}

quint32 u32(const QByteArray &b, qsizetype at)
{
    return u16(b, at) | static_cast<quint32>(u16(b, at + 2)) << 16;
}

QList<Record> records(const QByteArray &stream)
{
    QList<Record> list;
    for (qsizetype at = 0; at + 4 <= stream.size();) {
        Record r;
        r.offset = at;
        r.type = u16(stream, at);
        r.body = stream.mid(at + 4, u16(stream, at + 2));
        list << r;
        at += 4 + r.body.size();
    }
    return list;
}

QList<QStringList> variedRows()
{
    // Lengths from 0 to 300 in both encodings, so string headers and characters fall on every
    // kind of record boundary.
    QList<QStringList> rows;
    for (int i = 0; i < 600; ++i) {
        const QChar c = i % 3 == 0 ? QChar(0x141) : QChar(u'a' + i % 26);
        rows << QStringList{QString(i % 301, c), QStringLiteral("%1").arg(i), QString()};
    }
    rows << QStringList{QString(9000, QLatin1Char('x')), QString(5000, QChar(0x141)), QStringLiteral("end")};
    return rows;
}

} // namespace

class TestXlsWriter : public QObject
{
    Q_OBJECT

private slots:
    void readerLeavesNoChildNorDescriptor();
    void readerRefusesSheetsLargerThanABoard_data();
    void readerRefusesSheetsLargerThanABoard();
    void initTestCase();
    void readerSeesEveryCell_data();
    void readerSeesEveryCell();
    void workbookIsACompoundFile();
    void streamHasTheRecordsExcelNeeds();
    void extSstPointsAtItsStrings();
    void replacesAnExistingFile();
    void unwritablePlaceRaisesTheSystemMessage_data();
    void unwritablePlaceRaisesTheSystemMessage();

private:
    QJsonObject readBack(const QString &file);
    QTemporaryDir m_dir;
    QString m_python;
};

void TestXlsWriter::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
    m_python = pythonWithXlrd();
    if (m_python.isEmpty())
        QFAIL("python3 with xlrd (Debian package python3-xlrd) is needed to read the workbooks back");
}

QJsonObject TestXlsWriter::readBack(const QString &file)
{
    QProcess reader;
    reader.start(m_python, {QStringLiteral("-c"), QString::fromLatin1(READER), file});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        qWarning() << reader.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

void TestXlsWriter::readerSeesEveryCell_data()
{
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::newRow("names beyond ASCII") << QList<QStringList>{
        {QStringLiteral("ÑANDÚ"), QStringLiteral("0001"), QStringLiteral("005"), QString(),
         QStringLiteral("ÁÉÍÓÚÜ"), QStringLiteral("X"), QStringLiteral("Keypad")},
        {QStringLiteral("ŁUKASZ"), QStringLiteral("0002"), QStringLiteral("006"),
         QStringLiteral("1234567000"), QStringLiteral("Ωμέγα €"), QString(), QStringLiteral("Card")},
        {QStringLiteral("ÑANDÚ"), QStringLiteral("0001"), QStringLiteral("005"), QString(), QString(),
         QString(), QString()}};
    QList<QStringList> board;
    for (int i = 0; i < 350; ++i) {
        board << QStringList{QStringLiteral("USER %1").arg(i),
                             QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0')),
                             QStringLiteral("%1").arg(i % 1000, 3, 10, QLatin1Char('0')),
                             i % 2 ? QStringLiteral("ABCDEF") : QString(),
                             QStringLiteral("LINE %1").arg(i),
                             i % 3 ? QStringLiteral("X") : QString(),
                             i % 2 ? QStringLiteral("Keypad") : QString()};
    }
    QTest::newRow("a full board") << board;
    QTest::newRow("strings continued over records") << variedRows();
}

void TestXlsWriter::readerSeesEveryCell()
{
    QFETCH(QList<QStringList>, rows);
    const QString file = m_dir.filePath(QStringLiteral("users.xls"));
    XlsWriter::write(file, rows);
    const QJsonObject book = readBack(file);
    QCOMPARE(book.value(QStringLiteral("sheets")).toInt(), 1);
    const QJsonArray cells = book.value(QStringLiteral("cells")).toArray();
    QCOMPARE(cells.size(), rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        const QJsonArray row = cells.at(r).toArray();
        QCOMPARE(row.size(), rows.at(r).size());
        for (int c = 0; c < rows.at(r).size(); ++c) {
            // An empty text is a blank cell, which readers see as empty.
            constexpr int XL_CELL_EMPTY = 0;
            constexpr int XL_CELL_TEXT = 1;
            QCOMPARE(row.at(c).toArray().at(0).toInt(),
                     rows.at(r).at(c).isEmpty() ? XL_CELL_EMPTY : XL_CELL_TEXT);
            QCOMPARE(row.at(c).toArray().at(1).toString(), rows.at(r).at(c));
        }
    }
}

void TestXlsWriter::workbookIsACompoundFile()
{
    const QString file = m_dir.filePath(QStringLiteral("magic.xls"));
    XlsWriter::write(file, {{QStringLiteral("A")}});
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.read(8), QByteArray::fromHex("D0CF11E0A1B11AE1"));
}

void TestXlsWriter::streamHasTheRecordsExcelNeeds()
{
    const QByteArray stream =
        XlsWriter::workbookStream({{QStringLiteral("A"), QStringLiteral("B")}}, QStringLiteral("Sheet1"));
    const QList<Record> list = records(stream);
    QCOMPARE(list.first().type, 0x0809);
    QCOMPARE(u16(list.first().body, 2), 0x0005);
    int xfs = 0;
    int styleXfs = 0;
    quint32 sheetAt = 0;
    for (const Record &r : list) {
        QVERIFY(r.body.size() <= 8224);
        if (r.type == 0x0042)
            QCOMPARE(u16(r.body, 0), 1200);
        if (r.type == 0x00E0) {
            ++xfs;
            styleXfs += (u16(r.body, 4) & 0x0004) ? 1 : 0;
        }
        if (r.type == 0x0085)
            sheetAt = u32(r.body, 0);
    }
    // Excel reserves formats 0 to 15: fifteen style formats and the default cell format.
    QCOMPARE(xfs, 16);
    QCOMPARE(styleXfs, 15);
    QCOMPARE(u16(stream, sheetAt), 0x0809);
    QCOMPARE(u16(stream, sheetAt + 6), 0x0010);
    QCOMPARE(list.last().type, 0x000A);
}

void TestXlsWriter::extSstPointsAtItsStrings()
{
    const QList<QStringList> rows = variedRows();
    QStringList unique;
    for (const QStringList &row : rows) {
        for (const QString &cell : row) {
            if (!cell.isEmpty() && !unique.contains(cell))
                unique << cell;
        }
    }
    const QByteArray stream = XlsWriter::workbookStream(rows, QStringLiteral("Sheet1"));
    const QList<Record> list = records(stream);
    int continues = 0;
    Record ext;
    for (const Record &r : list) {
        continues += r.type == 0x003C ? 1 : 0;
        if (r.type == 0x00FF)
            ext = r;
    }
    QVERIFY(continues > 10);
    QCOMPARE(ext.type, 0x00FF);
    const int perBucket = u16(ext.body, 0);
    const qsizetype buckets = (ext.body.size() - 2) / 8;
    QCOMPARE(buckets, (unique.size() + perBucket - 1) / perBucket);
    for (qsizetype b = 0; b < buckets; ++b) {
        const quint32 at = u32(ext.body, 2 + 8 * b);
        const quint16 inRecord = u16(ext.body, 6 + 8 * b);
        const QString &expected = unique.at(b * perBucket);
        QCOMPARE(u16(stream, at), expected.size());
        const auto holder = std::find_if(list.cbegin(), list.cend(), [at](const Record &r) {
            return at >= r.offset + 4 && at < r.offset + 4 + r.body.size();
        });
        QVERIFY(holder != list.cend());
        QCOMPARE(at - holder->offset, inRecord);
    }
}

void TestXlsWriter::replacesAnExistingFile()
{
    const QString file = m_dir.filePath(QStringLiteral("again.xls"));
    XlsWriter::write(file, {{QStringLiteral("FIRST")}, {QStringLiteral("SECOND")}});
    XlsWriter::write(file, {{QStringLiteral("THIRD")}});
    const QJsonArray cells = readBack(file).value(QStringLiteral("cells")).toArray();
    QCOMPARE(cells.size(), 1);
    QCOMPARE(cells.at(0).toArray().at(0).toArray().at(1).toString(), QStringLiteral("THIRD"));
}

void TestXlsWriter::unwritablePlaceRaisesTheSystemMessage_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing folder") << "missing/users.xls"
                                    << "No such file or directory";
    QTest::newRow("a file as folder") << "plain/users.xls"
                                      << "Not a directory";
}

void TestXlsWriter::unwritablePlaceRaisesTheSystemMessage()
{
    QFETCH(QString, place);
    QFETCH(QString, message);
    QFile plain(m_dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    try {
        XlsWriter::write(m_dir.filePath(place), {{QStringLiteral("A")}});
        QFAIL("the workbook was written");
    } catch (const TzrError &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
}

// The workbook is parsed in a child process: every read, good or refused, reaps it and closes
// its pipe.
void TestXlsWriter::readerLeavesNoChildNorDescriptor()
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("users.xls"));
    XlsWriter::write(good, {{QStringLiteral("ANA"), QStringLiteral("7")}});
    const QString bad = dir.filePath(QStringLiteral("bad.xls"));
    QFile garbage(bad);
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, '\xd0'));
    garbage.close();
    const auto descriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size(); };
    const qsizetype before = descriptors();
    for (int i = 0; i < 10; ++i) {
        const QList<SheetRow> rows = XlsReader::read(good);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.at(0).cells, (QStringList{QStringLiteral("ANA"), QStringLiteral("7")}));
        QVERIFY_THROWS_EXCEPTION(TzrError, XlsReader::read(bad));
    }
    QCOMPARE(descriptors(), before);
    int status = 0;
    QCOMPARE(::waitpid(-1, &status, WNOHANG), pid_t(-1));
    QCOMPARE(errno, ECHILD);
}

void TestXlsWriter::readerRefusesSheetsLargerThanABoard_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("declaredColumns");
    QTest::addColumn<bool>("refused");
    QTest::newRow("350 users and a title row") << 351 << 0 << false;
    QTest::newRow("one row more") << 352 << 0 << true;
    // Only the declaration says so: the reader would take it and allocate for every cell.
    QTest::newRow("3 rows declared 300 columns wide") << 3 << 300 << true;
}

void TestXlsWriter::readerRefusesSheetsLargerThanABoard()
{
    QFETCH(int, rows);
    QFETCH(int, declaredColumns);
    QFETCH(bool, refused);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("users.xls"));
    QList<QStringList> sheet;
    for (int i = 0; i < rows; ++i)
        sheet << QStringList{QStringLiteral("USER%1").arg(i), QString::number(i + 1)};
    XlsWriter::write(path, sheet);
    if (declaredColumns > 0) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        // DIMENSIONS: type 0x0200, length 14, first row 0, rows, first column 0, columns 2.
        QByteArray record("\x00\x02\x0e\x00\x00\x00\x00\x00", 8);
        record += char(rows) + QByteArray("\x00\x00\x00\x00\x00\x02\x00", 7);
        const qsizetype at = bytes.indexOf(record);
        QVERIFY(at >= 0);
        bytes[at + 14] = char(declaredColumns & 0xFF);
        bytes[at + 15] = char(declaredColumns >> 8);
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
        file.close();
    }
    if (!refused) {
        QCOMPARE(XlsReader::read(path).size(), rows);
        return;
    }
    try {
        XlsReader::read(path);
        QFAIL("the sheet was read");
    } catch (const SheetTooLarge &e) {
        QCOMPARE(e.users(), 350u);
        QVERIFY2(e.message().contains(QLatin1String("350 users")), qPrintable(e.message()));
    }
}

QTEST_GUILESS_MAIN(TestXlsWriter)
#include "tst_xlswriter.moc"
