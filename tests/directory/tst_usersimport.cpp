#include "CsvText.h"
#include "DataFileCopy.h"
#include "FixedTexts.h"
#include "Table.h"
#include "TableCursor.h"
#include "TzrError.h"
#include "UsersExport.h"
#include "UsersImport.h"
#include "UsersTableRules.h"
#include "XlsWriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString carpetaPatron()
{
    return qEnvironmentVariable("TZR_BUILD_DIR") + QStringLiteral("/data");
}

QString languageFile()
{
    return qEnvironmentVariable("TZR_SOURCE_DIR") + QStringLiteral("/data/TZR_LANG.ini");
}

QList<SheetRow> sheet(const QList<QStringList> &rows)
{
    QList<SheetRow> result;
    for (qsizetype i = 0; i < rows.size(); ++i)
        result << SheetRow{static_cast<int>(i) + 1, rows.at(i)};
    return result;
}

} // namespace

class TestUsersImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void csvDialectsAndEncodings_data();
    void csvDialectsAndEncodings();
    void headerInEachLanguage_data();
    void headerInEachLanguage();
    void entryRules_data();
    void entryRules();
    void reasonsNameTheColumnTitle_data();
    void reasonsNameTheColumnTitle();
    void numberCells_data();
    void numberCells();
    void limitAndReport_data();
    void limitAndReport();
    void failedApplyLeavesTheTableUnchanged();
    void exportImportRoundTrip_data();
    void exportImportRoundTrip();

private:
    void store(const QList<QStringList> &rows);
    QList<QStringList> stored();

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    FixedTexts m_texts;
};

void TestUsersImport::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
    QVERIFY(QFile::exists(carpetaPatron() + QStringLiteral("/Patron.db")));
    QVERIFY(QFile::exists(languageFile()));
}

void TestUsersImport::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    Copia_Patron(m_dir->filePath(QStringLiteral("users.db")), carpetaPatron());
}

void TestUsersImport::cleanup()
{
    m_dir.reset();
}

void TestUsersImport::store(const QList<QStringList> &rows)
{
    ImportPlan plan;
    plan.rows = rows;
    UsersImport::apply(m_dir->path(), QStringLiteral("users.db"), plan, ImportMode::Append);
}

QList<QStringList> TestUsersImport::stored()
{
    TableCursor cursor;
    cursor.open(m_dir->path(), QStringLiteral("users.db"));
    QList<QStringList> rows;
    for (cursor.first(); !cursor.eof(); cursor.next()) {
        QStringList row;
        for (int f = 0; f < cursor.fieldCount(); ++f)
            row << cursor.value(cursor.fieldName(f));
        rows << row;
    }
    return rows;
}

void TestUsersImport::csvDialectsAndEncodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QStringList>>("cells");
    QTest::addColumn<QList<int>>("lines");
    QTest::newRow("comma, UTF-8") << QByteArray("GARCÍA,12,1\nB,7,2\n")
                                  << QList<QStringList>{{"GARCÍA", "12", "1"}, {"B", "7", "2"}}
                                  << QList<int>{1, 2};
    QTest::newRow("semicolon, BOM, CRLF")
        << QByteArray("\xEF\xBB\xBF"
                      "A;1,5;2\r\nB;3;4\r\n")
        << QList<QStringList>{{"A", "1,5", "2"}, {"B", "3", "4"}} << QList<int>{1, 2};
    QTest::newRow("quoted fields over two lines")
        << QByteArray("\"SMITH, J\";\"say \"\"hi\"\"\";\"two\nlines\"\nNEXT;1;2")
        << QList<QStringList>{{"SMITH, J", "say \"hi\"", "two\nlines"}, {"NEXT", "1", "2"}}
        << QList<int>{1, 3};
    QTest::newRow("Windows-1252") << QByteArray("MU\xD1OZ;\x80;\xC9")
                                  << QList<QStringList>{{"MUÑOZ", "€", "É"}} << QList<int>{1};
    QTest::newRow("empty last field, no final break")
        << QByteArray("A,,") << QList<QStringList>{{"A", "", ""}} << QList<int>{1};
}

void TestUsersImport::csvDialectsAndEncodings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QStringList>, cells);
    QFETCH(QList<int>, lines);
    const QList<SheetRow> rows = CsvText::read(bytes);
    QCOMPARE(rows.size(), cells.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows.at(i).cells, cells.at(i));
        QCOMPARE(rows.at(i).line, lines.at(i));
    }
}

void TestUsersImport::headerInEachLanguage_data()
{
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("data");
    QTest::addColumn<bool>("header");
    const QStringList inOrder{"ANA", "12", "3", "1234", "PISO 2", "X", ""};
    QTest::newRow("español") << QStringList{"Nombre", "Llamada", "TZR", "Código", "Línea 2", "L2", "Tipo"}
                             << inOrder << true;
    QTest::newRow("français") << QStringList{"Nom", "Appel", "TZR", "Code", "Ligne 2", "L2", "Type"}
                              << inOrder << true;
    QTest::newRow("english") << QStringList{"Name", "Call", "TZR", "Code", "Line 2", "L2", "Type"} << inOrder
                             << true;
    QTest::newRow("field names, other order")
        << QStringList{"linea2_on", "CALL", "tzr", "codigo", "nombre", "LINEA2"}
        << QStringList{"X", "12", "3", "1234", "ANA", "PISO 2"} << true;
    QTest::newRow("no title row") << QStringList{} << inOrder << false;
}

void TestUsersImport::headerInEachLanguage()
{
    QFETCH(QStringList, titles);
    QFETCH(QStringList, data);
    QFETCH(bool, header);
    QList<QStringList> rows;
    if (!titles.isEmpty())
        rows << titles;
    rows << data;
    const UsersImport import(m_texts, languageFile());
    const ImportPlan plan = import.plan(sheet(rows), ImportMode::Replace, 0);
    QCOMPARE(plan.header, header);
    QVERIFY2(plan.problems.isEmpty(), qPrintable(plan.problems.value(0).reason));
    QCOMPARE(plan.rows, (QList<QStringList>{{"ANA", "0012", "003", "123400", "PISO 2", "X", "Keypad"}}));
}

void TestUsersImport::entryRules_data()
{
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QStringList>("row");
    QTest::addColumn<QString>("reason");
    const auto ok = [](const QStringList &cells, const QStringList &row) {
        return std::make_tuple(cells, row, QString());
    };
    const auto no = [](const QStringList &cells, const QString &reason) {
        return std::make_tuple(cells, QStringList(), reason);
    };
    const std::pair<const char *, std::tuple<QStringList, QStringList, QString>> cases[] = {
        {"case kept, zero filling",
         ok({" ana*b ", "7", "5"}, {"ana*b", "0007", "005", "FFFFFFFFFF", "", "", ""})},
        {"keypad code padded", ok({"A", "1", "1", "1234"}, {"A", "0001", "001", "123400", "", "", "Keypad"})},
        {"card code padded",
         ok({"A", "1", "1", "abcdef1"}, {"A", "0001", "001", "ABCDEF1000", "", "", "Card"})},
        {"second line on",
         ok({"A", "1", "1", "", "PISO", "x"}, {"A", "0001", "001", "FFFFFFFFFF", "PISO", "X", ""})},
        {"button kind kept",
         ok({"A", "1", "1", "12AB00", "", "", "Button"}, {"A", "0001", "001", "12AB00", "", "", "Button"})},
        {"kind follows the code",
         ok({"A", "1", "1", "123456", "", "", "Card"}, {"A", "0001", "001", "123456", "", "", "Keypad"})},
        // What a board gives back is taken back as it is.
        {"accented name as a board gives it", ok({"García Ñúñez", "1", "1"}, {"García Ñúñez", "0001", "001", "FFFFFFFFFF", "", "", ""})},
        {"punctuation in line 2", ok({"A", "1", "1", "", "Piso-2º"}, {"A", "0001", "001", "FFFFFFFFFF", "Piso-2º", "", ""})},
        {"beyond what a board holds", no({"JOSÉ €", "1", "1"}, "Nombre: character \"€\" not accepted")},
        {"control character", no({"A\tB", "1", "1"}, "Nombre: character \"\t\" not accepted")},
        {"name too long", no({"ABCDEFGHIJKLMNOPQ", "1", "1"}, "Nombre: more than 16 characters")},
        {"empty call", no({"A", "", "1"}, "Llamada is empty")},
        {"empty TZR", no({"A", "1", " "}, "TZR is empty")},
        {"letter in call", no({"A", "12B", "1"}, "Llamada: character \"B\" not accepted")},
        {"call too long", no({"A", "12345", "1"}, "Llamada: more than 4 characters")},
        {"short code", no({"A", "1", "1", "12"}, "Codigo: 1 to 3 characters, a code needs 4 to 10")},
        {"non-hex code", no({"A", "1", "1", "12G4"}, "Codigo: character \"G\" not accepted")},
        {"code too long", no({"A", "1", "1", "12345678901"}, "Codigo: more than 10 characters")},
        {"second line switch", no({"A", "1", "1", "", "", "yes"}, "L2: only X or empty")},
    };
    for (const auto &[name, c] : cases)
        QTest::newRow(name) << std::get<0>(c) << std::get<1>(c) << std::get<2>(c);
}

void TestUsersImport::entryRules()
{
    QFETCH(QStringList, cells);
    QFETCH(QStringList, row);
    QFETCH(QString, reason);
    const UsersImport import(m_texts, QString());
    const ImportPlan plan = import.plan(sheet({cells}), ImportMode::Replace, 0);
    if (reason.isEmpty()) {
        QVERIFY2(plan.problems.isEmpty(), qPrintable(plan.problems.value(0).reason));
        QCOMPARE(plan.rows, QList<QStringList>{row});
    } else {
        QVERIFY(plan.rows.isEmpty());
        QCOMPARE(plan.problems.size(), 1);
        QCOMPARE(plan.problems.first().line, 1);
        QCOMPARE(plan.problems.first().reason, reason);
    }
}

// A refusal names the column as the grid titles it in the chosen language, not the field.
void TestUsersImport::reasonsNameTheColumnTitle_data()
{
    QTest::addColumn<QString>("titulo");
    QTest::addColumn<QString>("vacio");
    QTest::addColumn<QString>("reason");
    QTest::newRow("English") << "Call" << "%1 is empty" << "Call is empty";
    QTest::newRow("Spanish") << "Llamada" << QString::fromUtf8("%1 está vacío") << QString::fromUtf8("Llamada está vacío");
    QTest::newRow("French") << "Appel" << "%1 est vide" << "Appel est vide";
}

void TestUsersImport::reasonsNameTheColumnTitle()
{
    QFETCH(QString, titulo);
    QFETCH(QString, vacio);
    QFETCH(QString, reason);
    FixedTexts textos;
    textos.set(QStringLiteral("FormPrincipal_DBGrid1_Columns_1_title_Caption"), titulo);
    textos.set(QStringLiteral("IMP_R_EMPTY"), vacio);
    const UsersImport import(textos, QString());
    const ImportPlan plan = import.plan(sheet({{"A", "", "1"}}), ImportMode::Replace, 0);
    QCOMPARE(plan.problems.size(), 1);
    QCOMPARE(plan.problems.first().reason, reason);
}

// A cell that holds a number (an .xls numeric cell) carries no leading zeros; a code is taken
// from one only when its digits fill the field.
void TestUsersImport::numberCells_data()
{
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("reason");
    const QString refused = QStringLiteral("Codigo: stored as a number in the sheet (leading zeros are lost); "
                                           "format the column as text");
    QTest::newRow("six-digit code as a number") << QStringList{"A", "1", "1", "12345"} << QList<int>{3}
                                                << QString() << refused;
    QTest::newRow("keypad code as a number") << QStringList{"A", "1", "1", "123456"} << QList<int>{3}
                                             << QString() << refused;
    QTest::newRow("ten digits as a number") << QStringList{"A", "1", "1", "1234567890"} << QList<int>{3}
                                            << QStringLiteral("1234567890") << QString();
    QTest::newRow("the same code as text") << QStringList{"A", "1", "1", "012345"} << QList<int>{}
                                           << QStringLiteral("012345") << QString();
    QTest::newRow("call code and TZR as numbers") << QStringList{"A", "7", "5", "012345"} << QList<int>{1, 2}
                                                  << QStringLiteral("012345") << QString();
}

void TestUsersImport::numberCells()
{
    QFETCH(QStringList, cells);
    QFETCH(QList<int>, numbers);
    QFETCH(QString, code);
    QFETCH(QString, reason);
    const UsersImport import(m_texts, QString());
    const ImportPlan plan = import.plan({SheetRow{1, cells, numbers}}, ImportMode::Replace, 0);
    if (reason.isEmpty()) {
        QVERIFY2(plan.problems.isEmpty(), qPrintable(plan.problems.value(0).reason));
        QCOMPARE(plan.rows.size(), 1);
        QCOMPARE(plan.rows.first().at(3), code);
    } else {
        QVERIFY(plan.rows.isEmpty());
        QCOMPARE(plan.problems.size(), 1);
        QCOMPARE(plan.problems.first().reason, reason);
    }
}

void TestUsersImport::limitAndReport_data()
{
    QTest::addColumn<int>("existing");
    QTest::addColumn<bool>("append");
    QTest::addColumn<int>("taken");
    QTest::addColumn<QList<int>>("reportedLines");
    // Rows of the file: a blank line 2 (skipped), a bad row on line 4, then good rows to line 353.
    QTest::newRow("replace keeps 350") << 10 << false << 350 << QList<int>{4, 353};
    QTest::newRow("append fills the rest") << 340 << true << 10 << QList<int>{4};
}

void TestUsersImport::limitAndReport()
{
    QFETCH(int, existing);
    QFETCH(bool, append);
    QFETCH(int, taken);
    QFETCH(QList<int>, reportedLines);
    QList<SheetRow> rows{{1, {"A", "1", "1"}}, {2, {"", " "}}, {3, {"B", "2", "2"}}, {4, {"C", "", "3"}}};
    for (int line = 5; line <= 353; ++line)
        rows << SheetRow{line, {QStringLiteral("U%1").arg(line), QString::number(line), "1"}};
    const UsersImport import(m_texts, QString());
    const ImportPlan plan = import.plan(rows, append ? ImportMode::Append : ImportMode::Replace, existing);
    QCOMPARE(plan.rows.size(), taken);
    QList<int> lines;
    for (const ImportProblem &p : plan.problems) {
        if (!lines.contains(p.line))
            lines << p.line;
    }
    // Every row past the limit is reported, each with its own line.
    QCOMPARE(lines.mid(0, reportedLines.size()), reportedLines);
    QCOMPARE(plan.problems.size(), 352 - taken);
    QVERIFY(plan.problems.last().reason.contains(QLatin1String("350")));
}

void TestUsersImport::failedApplyLeavesTheTableUnchanged()
{
    QList<QStringList> before;
    for (int i = 0; i < 345; ++i)
        before << QStringList{QStringLiteral("U%1").arg(i), "0001", "001", "FFFFFFFFFF", "", "", ""};
    store(before);
    ImportPlan plan;
    for (int i = 0; i < 6; ++i)
        plan.rows << QStringList{QStringLiteral("NEW%1").arg(i), "0002", "002", "FFFFFFFFFF", "", "", ""};
    // Past the limit the whole import is undone, the rows already inserted included.
    QVERIFY_THROWS_EXCEPTION(
        TzrError, UsersImport::apply(m_dir->path(), QStringLiteral("users.db"), plan, ImportMode::Append));
    QCOMPARE(stored(), before);
    // A replace that fails part way (a row wider than its field raises nothing, so use the limit
    // with the old rows gone) still keeps them.
    plan.rows.clear();
    for (int i = 0; i < 351; ++i)
        plan.rows << QStringList{QStringLiteral("N%1").arg(i), "0002", "002", "FFFFFFFFFF", "", "", ""};
    QVERIFY_THROWS_EXCEPTION(
        TzrError, UsersImport::apply(m_dir->path(), QStringLiteral("users.db"), plan, ImportMode::Replace));
    QCOMPARE(stored(), before);
}

void TestUsersImport::exportImportRoundTrip_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("csv") << QStringLiteral("csv");
    QTest::newRow("xls") << QStringLiteral("xls");
}

void TestUsersImport::exportImportRoundTrip()
{
    QFETCH(QString, suffix);
    const QList<QStringList> rows{{"GARCIA LOPEZ", "0012", "001", "123400", "PISO 3 A", "X", "Keypad"},
                                  {"NO CODE", "0007", "005", "FFFFFFFFFF", "", "", ""},
                                  {"CARD USER", "1234", "999", "ABCDEF1000", "LINE*2", "", "Card"},
                                  {"BUTTON", "0001", "002", "12AB00", "", "", "Button"}};
    store(rows);
    Table table;
    table.setDirectory(m_dir->path() + QLatin1Char('/'));
    table.setTableName(QStringLiteral("users.db"));
    table.open();
    table.setGetTextHook(Campo::CODIGO, codigoGetText);
    const QString out = m_dir->filePath(QStringLiteral("out.") + suffix);
    if (suffix == QLatin1String("csv")) {
        QFile file(out);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(CsvText::write(exportRows(table)));
    } else {
        QVERIFY(ToolExcelClick(table, out));
    }
    table.close();

    Copia_Patron(m_dir->filePath(QStringLiteral("back.db")), carpetaPatron());
    const UsersImport import(m_texts, languageFile());
    const ImportPlan plan = import.plan(UsersImport::readFile(out), ImportMode::Replace, 0);
    QVERIFY(!plan.header);
    QVERIFY2(plan.problems.isEmpty(), qPrintable(plan.problems.value(0).reason));
    QCOMPARE(plan.rows, rows);
    // Stored in another file and read back, the rows are the same.
    UsersImport::apply(m_dir->path(), QStringLiteral("back.db"), plan, ImportMode::Replace);
    TableCursor back;
    back.open(m_dir->path(), QStringLiteral("back.db"));
    QCOMPARE(back.recordCount(), rows.size());
}

QTEST_GUILESS_MAIN(TestUsersImport)
#include "tst_usersimport.moc"
