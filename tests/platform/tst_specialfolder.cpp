#include "SpecialFolder.h"

#include <QTemporaryDir>
#include <QtTest>

class TestSpecialFolder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void localApplicationData_data();
    void localApplicationData();
    void knowsOnlyFolder28();
    void korvelAndWorkingFolders();
    void stateFolder_data();
    void stateFolder();
    void debugLogFolderFallsBackToTheStateFolder();

private:
    QByteArray m_home = qgetenv("HOME");
    QByteArray m_xdg = qgetenv("XDG_DATA_HOME");
    QByteArray m_xdgState = qgetenv("XDG_STATE_HOME");
};

namespace {

void restore(const char *name, const QByteArray &value)
{
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

} // namespace

void TestSpecialFolder::initTestCase()
{
    QVERIFY(!m_home.isEmpty());
}

void TestSpecialFolder::cleanup()
{
    restore("HOME", m_home);
    restore("XDG_DATA_HOME", m_xdg);
    restore("XDG_STATE_HOME", m_xdgState);
}

void TestSpecialFolder::localApplicationData_data()
{
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QByteArray>("xdg");
    QTest::addColumn<QString>("expected");

    QTest::newRow("XDG_DATA_HOME") << QByteArray("/home/ana") << QByteArray("/data/ana") << "/data/ana";
    QTest::newRow("trailing separators dropped")
        << QByteArray("/home/ana") << QByteArray("/data/ana//") << "/data/ana";
    QTest::newRow("unset") << QByteArray("/home/ana") << QByteArray() << "/home/ana/.local/share";
    QTest::newRow("empty") << QByteArray("/home/ana/") << QByteArray("") << "/home/ana/.local/share";
    QTest::newRow("relative is ignored")
        << QByteArray("/home/ana") << QByteArray("data") << "/home/ana/.local/share";
    QTest::newRow("non-ASCII home") << QByteArray("/home/mu\xC3\xB1oz") << QByteArray()
                                    << "/home/muñoz/.local/share";
}

void TestSpecialFolder::localApplicationData()
{
    QFETCH(QByteArray, home);
    QFETCH(QByteArray, xdg);
    QFETCH(QString, expected);

    qputenv("HOME", home);
    if (xdg.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", xdg);
    QCOMPARE(SpecialFolder::path(SpecialFolder::LocalAppData), expected);
}

void TestSpecialFolder::knowsOnlyFolder28()
{
    QVERIFY(!SpecialFolder::path(28).isEmpty());
    QVERIFY(SpecialFolder::path(26).isEmpty());
    QVERIFY(SpecialFolder::path(0).isEmpty());
    QVERIFY(SpecialFolder::path(-1).isEmpty());
}

void TestSpecialFolder::korvelAndWorkingFolders()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path()));
    qputenv("HOME", "/home/ana");
    QCOMPARE(SpecialFolder::korvelFolder(), dir.path() + QStringLiteral("/Korvel"));
    QCOMPARE(SpecialFolder::defaultWorkingDirectory(), QStringLiteral("/home/ana/KORVEL"));
    QVERIFY(!QFileInfo::exists(SpecialFolder::korvelFolder()));
}

void TestSpecialFolder::stateFolder_data()
{
    QTest::addColumn<QByteArray>("xdg");
    QTest::addColumn<QString>("expected");
    QTest::newRow("XDG_STATE_HOME") << QByteArray("/state/ana/") << "/state/ana/Korvel";
    QTest::newRow("unset") << QByteArray() << "/home/ana/.local/state/Korvel";
    QTest::newRow("relative is ignored") << QByteArray("state") << "/home/ana/.local/state/Korvel";
}

void TestSpecialFolder::stateFolder()
{
    QFETCH(QByteArray, xdg);
    QFETCH(QString, expected);
    qputenv("HOME", "/home/ana");
    if (xdg.isNull())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", xdg);
    QCOMPARE(SpecialFolder::korvelStateFolder(), expected);
}

void TestSpecialFolder::debugLogFolderFallsBackToTheStateFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("state"))));
    QCOMPARE(SpecialFolder::debugLogFolder(dir.path()), dir.path());
    // A folder that cannot be written, whoever runs the test: it does not exist.
    const QString state = dir.filePath(QStringLiteral("state/Korvel"));
    QCOMPARE(SpecialFolder::debugLogFolder(dir.filePath(QStringLiteral("gone"))), state);
    QVERIFY(QFileInfo(state).isDir());
}

QTEST_GUILESS_MAIN(TestSpecialFolder)
#include "tst_specialfolder.moc"
