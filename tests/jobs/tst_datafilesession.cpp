#include "DataFileSession.h"

#include "TableFamily.h"
#include "UsersTable.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// The data file of one command-line command: what stops it, and the new file seen under its
// name only once published.
class TestDataFileSession : public QObject
{
    Q_OBJECT

private slots:
    void openSaysWhatStopsTheCommand_data()
    {
        QTest::addColumn<bool>("fileThere");
        QTest::addColumn<bool>("templateThere");
        QTest::addColumn<bool>("createFromTemplate");
        QTest::addColumn<bool>("heldElsewhere");
        QTest::addColumn<int>("access");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("named");
        QTest::addColumn<bool>("isNew");
        using Kind = DataFileSession::Refusal::Kind;
        const int reads = int(DataFileSession::Access::Reads);
        const int writes = int(DataFileSession::Access::Writes);
        QTest::newRow("there, read") << true << true << false << false << reads << int(Kind::None) << QString() << false;
        QTest::newRow("there, read while held") << true << true << false << true << reads << int(Kind::None) << QString() << false;
        QTest::newRow("there, written") << true << true << false << false << writes << int(Kind::None) << QString() << false;
        QTest::newRow("there, written while held")
            << true << true << false << true << writes << int(Kind::Busy) << QStringLiteral("users.db") << false;
        QTest::newRow("missing") << false << true << false << false << writes << int(Kind::NoFile) << QStringLiteral("users") << false;
        QTest::newRow("missing, made from the template")
            << false << true << true << false << writes << int(Kind::None) << QString() << true;
        QTest::newRow("missing, no template")
            << false << false << true << false << writes << int(Kind::NoTemplate) << QStringLiteral("Patron") << false;
    }
    void openSaysWhatStopsTheCommand()
    {
        QFETCH(bool, fileThere);
        QFETCH(bool, templateThere);
        QFETCH(bool, createFromTemplate);
        QFETCH(bool, heldElsewhere);
        QFETCH(int, access);
        QFETCH(int, expected);
        QFETCH(QString, named);
        QFETCH(bool, isNew);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString korvel = dir.filePath(QStringLiteral("korvel"));
        QVERIFY(QDir().mkpath(korvel));
        if (templateThere)
            TableFamily::create(korvel + QStringLiteral("/Patron"), UsersTable::descripcion());
        const QString base = dir.filePath(QStringLiteral("users"));
        if (fileThere)
            TableFamily::create(base, UsersTable::descripcion());
        DataFileSession other(korvel);
        if (heldElsewhere) {
            other.name(base, DataFileSession::Access::Writes);
            QVERIFY(!other.open(false));
        }

        DataFileSession session(korvel);
        QCOMPARE(session.name(base + QStringLiteral(".db"), DataFileSession::Access(access)),
                 DataFileSession::Recovered::Nothing);
        QCOMPARE(session.tableName(), QStringLiteral("users.db"));
        QCOMPARE(session.directory(), dir.path() + QLatin1Char('/'));
        const DataFileSession::Refusal refusal = session.open(createFromTemplate);
        QCOMPARE(int(refusal.kind), expected);
        QCOMPARE(QFileInfo(refusal.file).fileName(), named);
        QCOMPARE(session.isNew(), isNew);
    }

    void aNewFileIsSeenOnlyOncePublished_data()
    {
        QTest::addColumn<bool>("publish");
        QTest::newRow("published") << true;
        QTest::newRow("discarded") << false;
    }
    void aNewFileIsSeenOnlyOncePublished()
    {
        QFETCH(bool, publish);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TableFamily::create(dir.filePath(QStringLiteral("Patron")), UsersTable::descripcion());
        const QString base = dir.filePath(QStringLiteral("new"));
        DataFileSession session(dir.path());
        session.name(base, DataFileSession::Access::Writes);
        QVERIFY(!session.open(true));
        QVERIFY(session.createWorking());
        QVERIFY(session.created());
        QVERIFY(!session.lockWorking());
        QVERIFY(!TableFamily::exists(base));
        QVERIFY(session.file().table != QStringLiteral("new.db"));
        QVERIFY(QFile::exists(dir.filePath(session.file().table)));
        if (publish)
            session.publish();
        else
            session.discard();
        QVERIFY(!session.created());
        QCOMPARE(TableFamily::exists(base), publish);
        QCOMPARE(session.file().table, QStringLiteral("new.db"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), (publish ? 2 : 1) * 5);
    }
};

QTEST_GUILESS_MAIN(TestDataFileSession)
#include "tst_datafilesession.moc"
