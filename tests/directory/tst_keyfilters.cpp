#include "KeyFilters.h"
#include "UsersTableRules.h"

#include <QTest>

class TestKeyFilters : public QObject
{
    Q_OBJECT

private slots:
    void grid_data();
    void grid();
    void codeEditor_data();
    void codeEditor();
};

void TestKeyFilters::grid_data()
{
    QTest::addColumn<QString>("campo");
    QTest::addColumn<QChar>("tecla");
    QTest::addColumn<QChar>("resultado");
    const QChar bel = BEL;
    for (const QString &campo : {QString(Campo::NOMBRE), QString(Campo::LINEA2)}) {
        const QByteArray c = campo.toLatin1();
        QTest::newRow(c + " lower case b") << campo << QChar(u'b') << QChar(u'B');
        QTest::newRow(c + " upper case") << campo << QChar(u'Z') << QChar(u'Z');
        QTest::newRow(c + " digit") << campo << QChar(u'7') << QChar(u'7');
        QTest::newRow(c + " star") << campo << QChar(u'*') << QChar(u'*');
        QTest::newRow(c + " space") << campo << QChar(u' ') << QChar(u' ');
        QTest::newRow(c + " backspace") << campo << QChar(8) << QChar(8);
        QTest::newRow(c + " return") << campo << QChar(13) << QChar(13);
        QTest::newRow(c + " accented") << campo << QChar(0xE9) << bel;
        QTest::newRow(c + " upper accented") << campo << QChar(0xD1) << bel;
        QTest::newRow(c + " hyphen") << campo << QChar(u'-') << bel;
        QTest::newRow(c + " full stop") << campo << QChar(u'.') << bel;
        QTest::newRow(c + " ctrl+V") << campo << QChar(22) << bel;
    }
    for (const QString &campo : {QString(Campo::CALL), QString(Campo::TZR)}) {
        const QByteArray c = campo.toLatin1();
        QTest::newRow(c + " digit") << campo << QChar(u'4') << QChar(u'4');
        QTest::newRow(c + " letter enters zero") << campo << QChar(u'a') << QChar(u'0');
        QTest::newRow(c + " star enters zero") << campo << QChar(u'*') << QChar(u'0');
        QTest::newRow(c + " space") << campo << QChar(u' ') << QChar(u' ');
        QTest::newRow(c + " tab") << campo << QChar(9) << QChar(9);
        QTest::newRow(c + " line feed") << campo << QChar(10) << QChar(10);
    }
    QTest::newRow("LINEA2_ON letter") << QString(Campo::LINEA2_ON) << QChar(u'q') << QChar(u'X');
    QTest::newRow("LINEA2_ON digit") << QString(Campo::LINEA2_ON) << QChar(u'1') << QChar(u'X');
    QTest::newRow("LINEA2_ON space") << QString(Campo::LINEA2_ON) << QChar(u' ') << QChar(u'X');
    QTest::newRow("LINEA2_ON backspace") << QString(Campo::LINEA2_ON) << QChar(8) << QChar(8);
    QTest::newRow("CODIGO upper-cased only") << QString(Campo::CODIGO) << QChar(u'g') << QChar(u'G');
    QTest::newRow("CODIGO punctuation passes") << QString(Campo::CODIGO) << QChar(u'.') << QChar(u'.');
}

void TestKeyFilters::grid()
{
    QFETCH(QString, campo);
    QFETCH(QChar, tecla);
    QFETCH(QChar, resultado);
    QCOMPARE(DBGrid1KeyPress(campo, tecla), resultado);
}

void TestKeyFilters::codeEditor_data()
{
    QTest::addColumn<QChar>("tecla");
    QTest::addColumn<QChar>("resultado");
    QTest::addColumn<bool>("termina");
    QTest::newRow("a becomes A") << QChar(u'a') << QChar(u'A') << false;
    QTest::newRow("f becomes F") << QChar(u'f') << QChar(u'F') << false;
    QTest::newRow("g refused") << QChar(u'g') << BEL << false;
    QTest::newRow("G refused") << QChar(u'G') << BEL << false;
    QTest::newRow("digit") << QChar(u'9') << QChar(u'9') << false;
    QTest::newRow("space refused") << QChar(u' ') << BEL << false;
    QTest::newRow("backspace") << QChar(8) << QChar(8) << false;
    QTest::newRow("tab finishes") << QChar(9) << QChar(9) << true;
    QTest::newRow("line feed finishes") << QChar(10) << QChar(10) << true;
    QTest::newRow("return finishes") << QChar(13) << QChar(13) << true;
    QTest::newRow("escape refused") << QChar(27) << BEL << false;
}

void TestKeyFilters::codeEditor()
{
    QFETCH(QChar, tecla);
    QFETCH(QChar, resultado);
    QFETCH(bool, termina);
    const CodeKey k = edtCodeKeyPress(tecla);
    QCOMPARE(k.key, resultado);
    QCOMPARE(k.finish, termina);
}

QTEST_GUILESS_MAIN(TestKeyFilters)
#include "tst_keyfilters.moc"
