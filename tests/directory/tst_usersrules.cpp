#include "DataFileCopy.h"
#include "FicheroActual.h"
#include "TableCursor.h"
#include "TableFamily.h"
#include "TzrError.h"
#include "UsersTable.h"
#include "UsersTableRules.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString carpetaPatron()
{
    return qEnvironmentVariable("TZR_BUILD_DIR") + QStringLiteral("/data");
}

} // namespace

class TestUsersRules : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rellena_data();
    void rellena();
    void codigoGetText_data();
    void codigoGetText();

    void templateCopyOpensAsEmptyUsersTable();
    void beforePostFillsWithZeros_data();
    void beforePostFillsWithZeros();
    void beforePostRefusesEmptyCallOrTzr_data();
    void beforePostRefusesEmptyCallOrTzr();
    void limitOf350Rows();
    void afterInsertClearsAPresetLinea2_data();
    void afterInsertClearsAPresetLinea2();
    void activaTablaAttachesTheCodeDisplayAtEveryOpening();
    void activaTablaOnAMissingFileStaysClosed();
    void orderingOnAndOff();
    void orderingATableWithoutTheIndexIsIgnored();

private:
    void addUser(const QString &nombre, const QString &call);
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    FicheroActual m_fichero;
    std::unique_ptr<UsersTable> m_users;
};

void TestUsersRules::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
    QVERIFY2(QFile::exists(carpetaPatron() + QStringLiteral("/Patron.db")),
             "the template is made by the build (target tzr_data) into $TZR_BUILD_DIR/data");
}

void TestUsersRules::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    Copia_Patron(m_dir->filePath(QStringLiteral("users.db")), carpetaPatron());
    m_fichero.setDirectorio_Trabajo(m_dir->path() + QLatin1Char('/'));
    m_fichero.setNombre_Tabla(QStringLiteral("users.db"));
    m_users = std::make_unique<UsersTable>(m_fichero);
    m_users->Activa_Tabla(true);
}

void TestUsersRules::cleanup()
{
    m_users.reset();
    m_dir.reset();
}

void TestUsersRules::addUser(const QString &nombre, const QString &call)
{
    Table &t = m_users->Table1();
    QVERIFY(t.append());
    t.setValue(Campo::NOMBRE, nombre);
    t.setValue(Campo::CALL, call);
    t.setValue(Campo::TZR, QStringLiteral("1"));
    QVERIFY(t.post());
}

void TestUsersRules::rellena_data()
{
    QTest::addColumn<QString>("texto");
    QTest::addColumn<int>("longitud");
    QTest::addColumn<QString>("derecha");
    QTest::addColumn<QString>("izquierda");
    QTest::newRow("short") << "7" << 4 << "7000"
                           << "0007";
    QTest::newRow("empty") << "" << 3 << "000"
                           << "000";
    QTest::newRow("exact") << "1234" << 4 << "1234"
                           << "1234";
    QTest::newRow("longer") << "12345" << 4 << "12345"
                            << "12345";
    QTest::newRow("code") << "ABCDEF1" << 10 << "ABCDEF1000"
                          << "000ABCDEF1";
}

void TestUsersRules::rellena()
{
    QFETCH(QString, texto);
    QFETCH(int, longitud);
    QFETCH(QString, derecha);
    QFETCH(QString, izquierda);
    QCOMPARE(Rellena_Derecha(texto, longitud), derecha);
    QCOMPARE(Rellena_Izquierda(texto, longitud), izquierda);
}

void TestUsersRules::codigoGetText_data()
{
    QTest::addColumn<QString>("valor");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("edit");
    QTest::newRow("no code") << "FFFFFFFFFF"
                             << ""
                             << "FFFFFFFFFF";
    QTest::newRow("keypad") << "123400"
                            << "123400"
                            << "123400";
    QTest::newRow("six F") << "FFFFFF"
                           << "FFFFFF"
                           << "FFFFFF";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
}

void TestUsersRules::codigoGetText()
{
    QFETCH(QString, valor);
    QFETCH(QString, display);
    QFETCH(QString, edit);
    QCOMPARE(::codigoGetText(valor, true), display);
    QCOMPARE(::codigoGetText(valor, false), edit);
}

void TestUsersRules::templateCopyOpensAsEmptyUsersTable()
{
    const Table &t = m_users->Table1();
    QVERIFY(t.isOpen());
    QCOMPARE(t.recordCount(), 0);
    const QList<std::pair<QString, int>> expected{{"NOMBRE", 16},   {"CALL", 4},    {"TZR", 3},
                                                  {"CODIGO", 10},   {"LINEA2", 16}, {"LINEA2_ON", 1},
                                                  {"TIPO_CODE", 20}};
    QCOMPARE(t.fieldCount(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(t.fieldName(i), expected.at(i).first);
        QCOMPARE(t.fieldSize(expected.at(i).first), expected.at(i).second);
    }
    for (const QString &ext : TableFamily::extensions()) {
        QFile copy(m_dir->filePath(QStringLiteral("users")) + ext);
        QFile original(carpetaPatron() + QStringLiteral("/Patron") + ext);
        QVERIFY(copy.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), original.readAll());
    }
}

void TestUsersRules::beforePostFillsWithZeros_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("tzr");
    QTest::addColumn<QString>("codigo");
    QTest::addColumn<QString>("callStored");
    QTest::addColumn<QString>("tzrStored");
    QTest::addColumn<QString>("codigoStored");
    QTest::newRow("7 and 5") << "7"
                             << "5"
                             << ""
                             << "0007"
                             << "005"
                             << "FFFFFFFFFF";
    QTest::newRow("full width") << "1234"
                                << "999"
                                << "123400"
                                << "1234"
                                << "999"
                                << "123400";
    QTest::newRow("trailing spaces") << "12  "
                                     << "3 "
                                     << ""
                                     << "0012"
                                     << "003"
                                     << "FFFFFFFFFF";
    QTest::newRow("too long is cut first") << "123456"
                                           << "1234"
                                           << ""
                                           << "1234"
                                           << "123"
                                           << "FFFFFFFFFF";
}

void TestUsersRules::beforePostFillsWithZeros()
{
    QFETCH(QString, call);
    QFETCH(QString, tzr);
    QFETCH(QString, codigo);
    QFETCH(QString, callStored);
    QFETCH(QString, tzrStored);
    QFETCH(QString, codigoStored);
    Table &t = m_users->Table1();
    QVERIFY(t.append());
    t.setValue(Campo::CALL, call);
    t.setValue(Campo::TZR, tzr);
    t.setValue(Campo::CODIGO, codigo);
    QVERIFY(t.post());

    TableCursor file;
    file.open(m_dir->path(), QStringLiteral("users.db"));
    QCOMPARE(file.value(Campo::CALL), callStored);
    QCOMPARE(file.value(Campo::TZR), tzrStored);
    QCOMPARE(file.value(Campo::CODIGO), codigoStored);
    // A row stored without a code gets no kind.
    QCOMPARE(file.value(Campo::TIPO_CODE), QString());
}

void TestUsersRules::beforePostRefusesEmptyCallOrTzr_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("tzr");
    QTest::newRow("empty CALL") << ""
                                << "5";
    QTest::newRow("spaces in CALL") << "   "
                                    << "5";
    QTest::newRow("empty TZR") << "7"
                               << "";
    QTest::newRow("both empty") << ""
                                << "";
}

void TestUsersRules::beforePostRefusesEmptyCallOrTzr()
{
    QFETCH(QString, call);
    QFETCH(QString, tzr);
    Table &t = m_users->Table1();
    QVERIFY(t.append());
    t.setValue(Campo::NOMBRE, QStringLiteral("ANA"));
    t.setValue(Campo::CALL, call);
    t.setValue(Campo::TZR, tzr);
    QVERIFY(!t.post());
    QCOMPARE(t.state(), Table::State::Insert);
    QCOMPARE(t.value(Campo::NOMBRE), QStringLiteral("ANA"));
    QCOMPARE(t.recordCount(), 0);
    TableCursor file;
    file.open(m_dir->path(), QStringLiteral("users.db"));
    QCOMPARE(file.recordCount(), 0);
    // Completing the row lets it be stored.
    t.setValue(Campo::CALL, QStringLiteral("1"));
    t.setValue(Campo::TZR, QStringLiteral("2"));
    QVERIFY(t.post());
    QCOMPARE(t.recordCount(), 1);
}

void TestUsersRules::limitOf350Rows()
{
    m_users->Activa_Tabla(false);
    {
        TableCursor file;
        file.open(m_dir->path(), QStringLiteral("users.db"));
        file.begin();
        for (int i = 0; i < 349; ++i) {
            file.insert();
            file.setValue(Campo::NOMBRE, QStringLiteral("U%1").arg(i));
            file.post();
        }
        file.commit();
    }
    m_users->Activa_Tabla(true);
    Table &t = m_users->Table1();
    QCOMPARE(t.recordCount(), 349);
    addUser(QStringLiteral("LAST"), QStringLiteral("1"));
    QCOMPARE(t.recordCount(), 350);
    QVERIFY(!t.insert());
    QVERIFY(!t.append());
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.rowCount(), 350);
    QCOMPARE(t.value(Campo::NOMBRE), QStringLiteral("LAST"));
    // Deleting one makes room again.
    QVERIFY(t.deleteCurrent());
    QVERIFY(t.append());
}

void TestUsersRules::afterInsertClearsAPresetLinea2_data()
{
    QTest::addColumn<QString>("preset");
    QTest::addColumn<QString>("kept");
    QTest::newRow("text cleared") << "ABC"
                                  << "";
    QTest::newRow("X kept") << "X"
                            << "X";
    QTest::newRow("empty") << ""
                           << "";
}

void TestUsersRules::afterInsertClearsAPresetLinea2()
{
    QFETCH(QString, preset);
    QFETCH(QString, kept);
    // A template whose checks give LINEA2 a default.
    QList<TableDescription::Field> fields;
    const TableDescription users = UsersTable::descripcion();
    for (const TableDescription::Field &f : users.fields())
        fields << TableDescription::Field(f.name(), f.width(),
                                          f.name() == Campo::LINEA2 ? preset : QString());
    TableFamily::create(m_dir->filePath(QStringLiteral("preset")),
                        TableDescription(fields, INDICE_NOMBRE, Campo::NOMBRE));
    m_fichero.setNombre_Tabla(QStringLiteral("preset.db"));
    m_users->Activa_Tabla(true);
    Table &t = m_users->Table1();
    QVERIFY(t.append());
    QCOMPARE(t.value(Campo::LINEA2), kept);
}

void TestUsersRules::activaTablaAttachesTheCodeDisplayAtEveryOpening()
{
    addUser(QStringLiteral("ANA"), QStringLiteral("1"));
    Table &t = m_users->Table1();
    QCOMPARE(t.value(Campo::CODIGO), QString(CODIGO_VACIO));
    QCOMPARE(t.displayText(Campo::CODIGO), QString());
    QCOMPARE(t.editText(Campo::CODIGO), QString(CODIGO_VACIO));
    m_users->Activa_Tabla(false);
    QVERIFY(!t.isOpen());
    m_users->Activa_Tabla(true);
    QCOMPARE(t.displayText(0, Campo::CODIGO), QString());
    QCOMPARE(t.directory(), m_fichero.Directorio_Trabajo());
    QCOMPARE(t.tableName(), QStringLiteral("users.db"));
}

void TestUsersRules::activaTablaOnAMissingFileStaysClosed()
{
    m_fichero.setNombre_Tabla(QStringLiteral("nobody.db"));
    QVERIFY_THROWS_EXCEPTION(TzrError, m_users->Activa_Tabla(true));
    QVERIFY(!m_users->Table1().isOpen());
}

void TestUsersRules::orderingOnAndOff()
{
    addUser(QStringLiteral("MARIA"), QStringLiteral("1"));
    addUser(QStringLiteral("ANA"), QStringLiteral("2"));
    addUser(QStringLiteral("PAU"), QStringLiteral("3"));
    const Table &t = m_users->Table1();
    auto order = [&t] {
        QStringList n;
        for (int r = 0; r < t.rowCount(); ++r)
            n << t.value(r, Campo::NOMBRE);
        return n;
    };
    m_users->ToolOrdenClick(true);
    QCOMPARE(order(), QStringList({"ANA", "MARIA", "PAU"}));
    m_users->Activa_Tabla(false);
    m_users->Activa_Tabla(true);
    QCOMPARE(order(), QStringList({"ANA", "MARIA", "PAU"}));
    m_users->ToolOrdenClick(false);
    QCOMPARE(order(), QStringList({"MARIA", "ANA", "PAU"}));
}

void TestUsersRules::orderingATableWithoutTheIndexIsIgnored()
{
    TableFamily::create(
        m_dir->filePath(QStringLiteral("plain")),
        TableDescription(UsersTable::descripcion().fields(), QStringLiteral("I_CALL"), Campo::CALL));
    m_fichero.setNombre_Tabla(QStringLiteral("plain.db"));
    m_users->Activa_Tabla(true);
    m_users->ToolOrdenClick(true);
    QCOMPARE(m_users->Table1().indexName(), QString());
    QVERIFY(m_users->Table1().isOpen());
}

QTEST_GUILESS_MAIN(TestUsersRules)
#include "tst_usersrules.moc"
