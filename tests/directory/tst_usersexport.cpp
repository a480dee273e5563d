#include "CodeEntry.h"
#include "DataFileCopy.h"
#include "TextLookup.h"
#include "FicheroActual.h"
#include "TableCursor.h"
#include "TzrError.h"
#include "UsersExport.h"
#include "UsersTable.h"
#include "UsersTableRules.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString carpetaPatron()
{
    return qEnvironmentVariable("TZR_BUILD_DIR") + QStringLiteral("/data");
}

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
sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
json.dump([[sheet.cell_value(r, c) for c in range(sheet.ncols)] for r in range(sheet.nrows)], sys.stdout)
)";

// The kind texts of three languages, French chosen.
class ThreeLanguages : public TextLookup
{
public:
    QString texto(const QString &key, const QString &fallback) const override
    {
        return m_fr.value(key, fallback);
    }
    QString seccion() const override { return QStringLiteral("FRANÇAIS"); }
    QStringList textoEnTodas(const QString &key) const override
    {
        return {m_es.value(key), m_fr.value(key), m_en.value(key)};
    }

private:
    const QHash<QString, QString> m_es{
        {"K_TECLADO", "Teclado"}, {"K_TARJETA", "Tarjeta"}, {"K_LLAVE", "Llave"}};
    const QHash<QString, QString> m_fr{
        {"K_TECLADO", "Clavier"}, {"K_TARJETA", "Carte"}, {"K_LLAVE", "Bouton"}};
    const QHash<QString, QString> m_en{
        {"K_TECLADO", "Keypad"}, {"K_TARJETA", "Card"}, {"K_LLAVE", "Button"}};
};

} // namespace

class TestUsersExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void range_data();
    void range();
    void rowsAreDisplayTextsTrimmed();
    void threeUsersReadBackFromA1();
    void kindsInTheCurrentLanguage_data();
    void kindsInTheCurrentLanguage();
    void exportFollowsTheOrdering();
    void nothingIsWrittenWithoutRows_data();
    void nothingIsWrittenWithoutRows();
    void aRowBeingEditedIsStoredFirst();
    void unwritableFileRaisesAnError();

private:
    QList<QStringList> readBack(const QString &file);
    void store(const QStringList &row);
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    FicheroActual m_fichero;
    std::unique_ptr<UsersTable> m_users;
    QString m_python;
};

void TestUsersExport::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
    QVERIFY2(QFile::exists(carpetaPatron() + QStringLiteral("/Patron.db")),
             "the template is made by the build (target tzr_data) into $TZR_BUILD_DIR/data");
    m_python = pythonWithXlrd();
    if (m_python.isEmpty())
        QFAIL("python3 with xlrd (Debian package python3-xlrd) is needed to read the workbooks back");
}

void TestUsersExport::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    Copia_Patron(m_dir->filePath(QStringLiteral("users.db")), carpetaPatron());
    m_fichero.setDirectorio_Trabajo(m_dir->path() + QLatin1Char('/'));
    m_fichero.setNombre_Tabla(QStringLiteral("users.db"));
    m_users = std::make_unique<UsersTable>(m_fichero);
}

void TestUsersExport::cleanup()
{
    m_users.reset();
    m_dir.reset();
}

// Rows as a receive writes them: through the second handle, without the grid's rules.
void TestUsersExport::store(const QStringList &row)
{
    TableCursor file;
    file.open(m_dir->path(), QStringLiteral("users.db"));
    file.insert();
    const QList<QLatin1String> fields{Campo::NOMBRE, Campo::CALL,      Campo::TZR,      Campo::CODIGO,
                                      Campo::LINEA2, Campo::LINEA2_ON, Campo::TIPO_CODE};
    for (int i = 0; i < fields.size(); ++i)
        file.setValue(fields.at(i), row.value(i));
    file.post();
}

QList<QStringList> TestUsersExport::readBack(const QString &file)
{
    QProcess reader;
    reader.start(m_python, {QStringLiteral("-c"), QString::fromLatin1(READER), file});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        qWarning() << reader.readAllStandardError();
        return {};
    }
    QList<QStringList> rows;
    for (const QJsonValue &row : QJsonDocument::fromJson(reader.readAllStandardOutput()).array()) {
        QStringList cells;
        for (const QJsonValue &cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return rows;
}

void TestUsersExport::range_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("text");
    QTest::newRow("12 users") << 12 << 7 << "A1:G12";
    QTest::newRow("a full board") << 350 << 7 << "A1:G350";
    QTest::newRow("one cell") << 1 << 1 << "A1:A1";
    QTest::newRow("26 columns") << 3 << 26 << "A1:Z3";
}

void TestUsersExport::range()
{
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(QString, text);
    QCOMPARE(exportRange(rows, columns), text);
}

void TestUsersExport::rowsAreDisplayTextsTrimmed()
{
    store({"  ANA", "0001", "001", "FFFFFFFFFF", "\tLINE\x01", "X", "Keypad"});
    m_users->Activa_Tabla(true);
    QVERIFY(m_users->Table1().last());
    const QList<QStringList> rows = exportRows(m_users->Table1());
    const QList<QStringList> expected{{"ANA", "0001", "001", "", "LINE", "X", "Keypad"}};
    QCOMPARE(rows, expected);
    QCOMPARE(m_users->Table1().currentRow(), 0);
}

void TestUsersExport::threeUsersReadBackFromA1()
{
    store({"ÑANDÚ", "0001", "001", "123400", "", "", "Keypad"});
    store({"ŁUKASZ", "0002", "002", "FFFFFFFFFF", "SEGUNDA", "X", ""});
    store({"PAU", "0003", "003", "1234567000", "", "", "Card"});
    m_users->Activa_Tabla(true);
    const QString file = m_dir->filePath(QStringLiteral("users.xls"));
    QVERIFY(ToolExcelClick(m_users->Table1(), file));
    const QList<QStringList> expected{{"ÑANDÚ", "0001", "001", "123400", "", "", "Keypad"},
                                      {"ŁUKASZ", "0002", "002", "", "SEGUNDA", "X", ""},
                                      {"PAU", "0003", "003", "1234567000", "", "", "Card"}};
    QCOMPARE(readBack(file), expected);
}

void TestUsersExport::kindsInTheCurrentLanguage_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("exported");
    QTest::newRow("English") << "Keypad" << "Clavier";
    QTest::newRow("Spanish") << "Tarjeta" << "Carte";
    QTest::newRow("French already") << "Bouton" << "Bouton";
    QTest::newRow("none") << "" << "";
    QTest::newRow("unknown text kept") << "Otro" << "Otro";
}

// Rows written under different languages come out in one.
void TestUsersExport::kindsInTheCurrentLanguage()
{
    QFETCH(QString, stored);
    QFETCH(QString, exported);
    store({"ANA", "0001", "001", "123400", "", "", stored});
    m_users->Activa_Tabla(true);
    const QList<QStringList> rows = exportRows(m_users->Table1(), kindsInCurrentLanguage(ThreeLanguages()));
    QCOMPARE(rows.value(0).value(6), exported);
}

void TestUsersExport::exportFollowsTheOrdering()
{
    store({"MARIA", "0001"});
    store({"ANA", "0002"});
    store({"PAU", "0003"});
    m_users->Activa_Tabla(true);
    const QString file = m_dir->filePath(QStringLiteral("users.xls"));
    auto names = [this, &file] {
        QStringList n;
        for (const QStringList &row : readBack(file))
            n << row.value(0);
        return n;
    };
    m_users->ToolOrdenClick(true);
    QVERIFY(ToolExcelClick(m_users->Table1(), file));
    QCOMPARE(names(), QStringList({"ANA", "MARIA", "PAU"}));
    m_users->ToolOrdenClick(false);
    QVERIFY(ToolExcelClick(m_users->Table1(), file));
    QCOMPARE(names(), QStringList({"MARIA", "ANA", "PAU"}));
}

void TestUsersExport::nothingIsWrittenWithoutRows_data()
{
    QTest::addColumn<QString>("case_");
    QTest::newRow("empty name") << "name";
    QTest::newRow("closed table") << "closed";
    QTest::newRow("empty table") << "empty";
}

void TestUsersExport::nothingIsWrittenWithoutRows()
{
    QFETCH(QString, case_);
    if (case_ != QLatin1String("empty"))
        store({"ANA", "0001"});
    if (case_ != QLatin1String("closed"))
        m_users->Activa_Tabla(true);
    const QString file = m_dir->filePath(QStringLiteral("users.xls"));
    QVERIFY(!ToolExcelClick(m_users->Table1(), case_ == QLatin1String("name") ? QString() : file));
    QVERIFY(!QFile::exists(file));
}

void TestUsersExport::aRowBeingEditedIsStoredFirst()
{
    store({"ANA", "0001", "001"});
    m_users->Activa_Tabla(true);
    Table &t = m_users->Table1();
    QVERIFY(t.edit());
    t.setValue(Campo::NOMBRE, QStringLiteral("EVA"));
    const QString file = m_dir->filePath(QStringLiteral("users.xls"));
    QVERIFY(ToolExcelClick(t, file));
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(readBack(file).value(0).value(0), QStringLiteral("EVA"));
}

void TestUsersExport::unwritableFileRaisesAnError()
{
    store({"ANA", "0001"});
    m_users->Activa_Tabla(true);
    QVERIFY_THROWS_EXCEPTION(
        TzrError, ToolExcelClick(m_users->Table1(), m_dir->filePath(QStringLiteral("missing/u.xls"))));
}

QTEST_GUILESS_MAIN(TestUsersExport)
#include "tst_usersexport.moc"
