#include "CodeEntry.h"
#include "DataFileCopy.h"
#include "FicheroActual.h"
#include "FixedTexts.h"
#include "TableCursor.h"
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

class TestCodeEntry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void normalisation_data();
    void normalisation();
    void finishingStoresCodeAndKind_data();
    void finishingStoresCodeAndKind();
    void finishingTwiceStoresTheSame_data();
    void finishingTwiceStoresTheSame();
    void oneToThreeCharactersBeepAndStoreNothing_data();
    void oneToThreeCharactersBeepAndStoreNothing();
    void clearedCodeIsShownEmptyAndEditedAsFs();
    void kindUsesTheLanguageTexts();
    void insertedRowIsStoredOnce();
    void refusedPostLeavesTheRowInEditing();
    void kindFollowsTheStoredCodeWhenAnotherFieldIsSelected();

private:
    void newUser();
    QString stored(const QString &campo) const;
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    FicheroActual m_fichero;
    std::unique_ptr<FixedTexts> m_texts;
    std::unique_ptr<UsersTable> m_users;
};

void TestCodeEntry::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
    QVERIFY2(QFile::exists(carpetaPatron() + QStringLiteral("/Patron.db")),
             "the template is made by the build (target tzr_data) into $TZR_BUILD_DIR/data");
}

void TestCodeEntry::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_texts = std::make_unique<FixedTexts>();
    Copia_Patron(m_dir->filePath(QStringLiteral("users.db")), carpetaPatron());
    m_fichero.setDirectorio_Trabajo(m_dir->path() + QLatin1Char('/'));
    m_fichero.setNombre_Tabla(QStringLiteral("users.db"));
    m_users = std::make_unique<UsersTable>(m_fichero);
    m_users->Activa_Tabla(true);
}

void TestCodeEntry::cleanup()
{
    m_users.reset();
    m_dir.reset();
}

void TestCodeEntry::newUser()
{
    Table &t = m_users->Table1();
    QVERIFY(t.append());
    t.setValue(Campo::NOMBRE, QStringLiteral("ANA"));
    t.setValue(Campo::CALL, QStringLiteral("7"));
    t.setValue(Campo::TZR, QStringLiteral("5"));
    QVERIFY(t.post());
}

QString TestCodeEntry::stored(const QString &campo) const
{
    TableCursor file;
    file.open(m_dir->path(), QStringLiteral("users.db"));
    return file.eof() ? QStringLiteral("<none>") : file.value(campo);
}

void TestCodeEntry::normalisation_data()
{
    QTest::addColumn<QString>("texto");
    QTest::addColumn<bool>("beep");
    QTest::addColumn<QString>("codigo");
    QTest::newRow("empty") << "" << false << "FFFFFFFFFF";
    QTest::newRow("one") << "1" << true << "";
    QTest::newRow("three") << "123" << true << "";
    QTest::newRow("four") << "1234" << false << "123400";
    QTest::newRow("six") << "ABCDEF" << false << "ABCDEF";
    QTest::newRow("seven") << "ABCDEF1" << false << "ABCDEF1000";
    QTest::newRow("ten") << "0123456789" << false << "0123456789";
}

void TestCodeEntry::normalisation()
{
    QFETCH(QString, texto);
    QFETCH(bool, beep);
    QFETCH(QString, codigo);
    const CodeExit r = normalizedCode(texto);
    QCOMPARE(r.outcome == CodeExit::Outcome::Beep, beep);
    QCOMPARE(r.code, codigo);
}

void TestCodeEntry::finishingStoresCodeAndKind_data()
{
    QTest::addColumn<QString>("texto");
    QTest::addColumn<QString>("codigo");
    QTest::addColumn<QString>("tipo");
    QTest::newRow("1234 keypad") << "1234"
                                 << "123400"
                                 << "Keypad";
    QTest::newRow("1234567 card") << "1234567"
                                  << "1234567000"
                                  << "Card";
    QTest::newRow("ten digits card") << "9876543210"
                                     << "9876543210"
                                     << "Card";
    QTest::newRow("six hex keypad") << "ABCDEF"
                                    << "ABCDEF"
                                    << "Keypad";
    QTest::newRow("cleared") << ""
                             << "FFFFFFFFFF"
                             << "";
}

void TestCodeEntry::finishingStoresCodeAndKind()
{
    QFETCH(QString, texto);
    QFETCH(QString, codigo);
    QFETCH(QString, tipo);
    newUser();
    const CodeExit r = edtCodeExit(m_users->Table1(), texto, true, *m_texts);
    QCOMPARE(r.outcome, CodeExit::Outcome::Stored);
    QCOMPARE(r.code, codigo);
    QCOMPARE(m_users->Table1().state(), Table::State::Browse);
    QCOMPARE(stored(Campo::CODIGO), codigo);
    QCOMPARE(stored(Campo::TIPO_CODE), tipo);
}

void TestCodeEntry::finishingTwiceStoresTheSame_data()
{
    finishingStoresCodeAndKind_data();
}

void TestCodeEntry::finishingTwiceStoresTheSame()
{
    QFETCH(QString, texto);
    QFETCH(QString, codigo);
    QFETCH(QString, tipo);
    newUser();
    // A finishing key, then the loss of focus: the second run sees the normalised text.
    const CodeExit first = edtCodeExit(m_users->Table1(), texto, true, *m_texts);
    const CodeExit second = edtCodeExit(m_users->Table1(), first.code, true, *m_texts);
    QCOMPARE(second.outcome, CodeExit::Outcome::Stored);
    QCOMPARE(second.code, codigo);
    QCOMPARE(stored(Campo::CODIGO), codigo);
    QCOMPARE(stored(Campo::TIPO_CODE), tipo);
    QCOMPARE(m_users->Table1().recordCount(), 1);
}

void TestCodeEntry::oneToThreeCharactersBeepAndStoreNothing_data()
{
    QTest::addColumn<QString>("texto");
    QTest::newRow("12") << "12";
    QTest::newRow("A") << "A";
    QTest::newRow("FFF") << "FFF";
}

void TestCodeEntry::oneToThreeCharactersBeepAndStoreNothing()
{
    QFETCH(QString, texto);
    newUser();
    QVERIFY(m_users->Table1().edit());
    const CodeExit r = edtCodeExit(m_users->Table1(), texto, true, *m_texts);
    QCOMPARE(r.outcome, CodeExit::Outcome::Beep);
    QCOMPARE(m_users->Table1().state(), Table::State::Edit);
    QVERIFY(!m_users->Table1().isModified());
    QCOMPARE(stored(Campo::CODIGO), QString(CODIGO_VACIO));
}

void TestCodeEntry::clearedCodeIsShownEmptyAndEditedAsFs()
{
    newUser();
    QCOMPARE(edtCodeExit(m_users->Table1(), QStringLiteral("1234"), true, *m_texts).outcome,
             CodeExit::Outcome::Stored);
    QCOMPARE(edtCodeExit(m_users->Table1(), QString(), true, *m_texts).outcome, CodeExit::Outcome::Stored);
    const Table &t = m_users->Table1();
    QCOMPARE(t.displayText(0, Campo::CODIGO), QString());
    QCOMPARE(t.editText(Campo::CODIGO), QString(CODIGO_VACIO));
    QCOMPARE(t.value(Campo::TIPO_CODE), QString());
}

void TestCodeEntry::kindUsesTheLanguageTexts()
{
    m_texts->set(QStringLiteral("K_TECLADO"), QStringLiteral("Teclado"));
    m_texts->set(QStringLiteral("K_TARJETA"), QStringLiteral("Tarjeta"));
    newUser();
    edtCodeExit(m_users->Table1(), QStringLiteral("4321"), true, *m_texts);
    QCOMPARE(stored(Campo::TIPO_CODE), QStringLiteral("Teclado"));
    edtCodeExit(m_users->Table1(), QStringLiteral("ABCDEF12"), true, *m_texts);
    QCOMPARE(stored(Campo::TIPO_CODE), QStringLiteral("Tarjeta"));
}

void TestCodeEntry::insertedRowIsStoredOnce()
{
    Table &t = m_users->Table1();
    QVERIFY(t.append());
    t.setValue(Campo::CALL, QStringLiteral("1"));
    t.setValue(Campo::TZR, QStringLiteral("2"));
    const CodeExit r = edtCodeExit(t, QStringLiteral("1234"), true, *m_texts);
    QCOMPARE(r.outcome, CodeExit::Outcome::Stored);
    QCOMPARE(t.recordCount(), 1);
    QCOMPARE(t.value(Campo::CODIGO), QStringLiteral("123400"));
    QCOMPARE(t.value(Campo::CALL), QStringLiteral("0001"));
}

void TestCodeEntry::refusedPostLeavesTheRowInEditing()
{
    Table &t = m_users->Table1();
    QVERIFY(t.append());
    t.setValue(Campo::NOMBRE, QStringLiteral("NO CALL"));
    const CodeExit r = edtCodeExit(t, QStringLiteral("1234"), true, *m_texts);
    QCOMPARE(r.outcome, CodeExit::Outcome::Refused);
    QCOMPARE(t.state(), Table::State::Insert);
    QCOMPARE(t.value(Campo::CODIGO), QStringLiteral("123400"));
    QCOMPARE(t.value(Campo::NOMBRE), QStringLiteral("NO CALL"));
    QCOMPARE(t.recordCount(), 0);
}

void TestCodeEntry::kindFollowsTheStoredCodeWhenAnotherFieldIsSelected()
{
    newUser();
    edtCodeExit(m_users->Table1(), QStringLiteral("1234567"), true, *m_texts);
    // The grid left CODIGO already: the code is not replaced, and the kind still describes it.
    const CodeExit r = edtCodeExit(m_users->Table1(), QStringLiteral("1234"), false, *m_texts);
    QCOMPARE(r.outcome, CodeExit::Outcome::Stored);
    QCOMPARE(stored(Campo::CODIGO), QStringLiteral("1234567000"));
    QCOMPARE(stored(Campo::TIPO_CODE), QStringLiteral("Card"));
}

QTEST_GUILESS_MAIN(TestCodeEntry)
#include "tst_codeentry.moc"
