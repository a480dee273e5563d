#include "DataFilePaths.h"

#include <QTest>

class TestDataFilePaths : public QObject
{
    Q_OBJECT

private slots:
    void quitaExtension_data();
    void quitaExtension();
    void extrae_data();
    void extrae();
    void uneRuta_data();
    void uneRuta();
};

void TestDataFilePaths::quitaExtension_data()
{
    QTest::addColumn<QString>("nombre");
    QTest::addColumn<QString>("resultado");
    QTest::newRow("path with .db") << "/home/ana/KORVEL/users.db"
                                   << "/home/ana/KORVEL/users";
    QTest::newRow("plain name") << "users.db"
                                << "users";
    QTest::newRow("other extension loses three characters") << "users.txt"
                                                            << "users.";
    QTest::newRow("four characters") << "a.db"
                                     << "a";
    QTest::newRow("three characters") << ".db"
                                      << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestDataFilePaths::quitaExtension()
{
    QFETCH(QString, nombre);
    QFETCH(QString, resultado);
    QCOMPARE(Quita_Extension(nombre), resultado);
}

void TestDataFilePaths::extrae_data()
{
    QTest::addColumn<QString>("ruta");
    QTest::addColumn<QString>("directorio");
    QTest::addColumn<QString>("fichero");
    QTest::newRow("full path") << "/home/ana/KORVEL/users.db"
                               << "/home/ana/KORVEL/"
                               << "users.db";
    QTest::newRow("relative") << "data/users.db"
                              << "data/"
                              << "users.db";
    QTest::newRow("no separator") << "users.db"
                                  << ""
                                  << "";
    QTest::newRow("separator only at the first position") << "/users.db"
                                                          << ""
                                                          << "";
    QTest::newRow("separator at the second position") << "a/users.db"
                                                      << "a/"
                                                      << "users.db";
    QTest::newRow("ends in a separator") << "/home/ana/"
                                         << "/home/ana/"
                                         << "";
    QTest::newRow("backslash is not a separator here") << "C:\\KORVEL\\users.db"
                                                       << ""
                                                       << "";
}

void TestDataFilePaths::extrae()
{
    QFETCH(QString, ruta);
    QFETCH(QString, directorio);
    QFETCH(QString, fichero);
    QCOMPARE(Extrae_Directorio(ruta), directorio);
    QCOMPARE(Extrae_Fichero(ruta), fichero);
}

void TestDataFilePaths::uneRuta_data()
{
    QTest::addColumn<QString>("directorio");
    QTest::addColumn<QString>("resultado");
    QTest::newRow("with separator") << "/home/ana/"
                                    << "/home/ana/users.db";
    QTest::newRow("without separator") << "/home/ana"
                                       << "/home/ana/users.db";
    QTest::newRow("no directory") << ""
                                  << "users.db";
}

void TestDataFilePaths::uneRuta()
{
    QFETCH(QString, directorio);
    QFETCH(QString, resultado);
    QCOMPARE(Une_Ruta(directorio, QStringLiteral("users.db")), resultado);
}

QTEST_GUILESS_MAIN(TestDataFilePaths)
#include "tst_datafilepaths.moc"
