#include "EndDates.h"
#include "InstalledData.h"
#include "StandIn.h"
#include "TableCursor.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <exception>
#include <memory>

namespace {

// libfaketime as the faketime package installs it; empty when it is not there.
QString libFaketime()
{
    const QString named = qEnvironmentVariable("TZR_LIBFAKETIME");
    if (!named.isEmpty())
        return QFile::exists(named) ? named : QString();
    for (const QString &folder : {QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime"),
                                  QStringLiteral("/usr/lib/aarch64-linux-gnu/faketime"),
                                  QStringLiteral("/usr/lib/faketime")}) {
        const QString path = folder + QStringLiteral("/libfaketime.so.1");
        if (QFile::exists(path))
            return path;
    }
    return QString();
}

QJsonObject firstObject(const QString &jsonLines)
{
    return QJsonDocument::fromJson(jsonLines.section(QLatin1Char('\n'), 0, 0).toUtf8()).object();
}

} // namespace

// tzr sync and the end dates, run as a timer runs them: the built tzr against the built stand-in,
// standard input not a terminal.
class TestTzrSync : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void dateJumpEmptiesTheExpiredUser();
    void leftOutIsSaid_data();
    void leftOutIsSaid();
    void compareAndHistoryNameTheExpired();
    void fileThatMetNoBoardIsRefused();
    void quietRunReportsASilentBoard();
    void quietRunAsksForNothing();
    void helpListsSync();

private:
    struct Result
    {
        int status = -1;
        QString out;
        QString err;
    };
    Result tzr(const QStringList &arguments, const QStringList &environment = {"TZR_CODE=73518"});
    [[nodiscard]] bool startSim(const QString &boards);
    // Gives the user in row (file order) of f.db the end date until; its name, trimmed, in name.
    [[nodiscard]] bool setEndDate(int row, const QDate &until, QString &name);

    std::unique_ptr<QTemporaryDir> m_dir;
    StandIn m_sim;
    QString m_build;
    const QStringList m_port{"--port", "COM28"};
};

void TestTzrSync::init()
{
    m_build = qEnvironmentVariable("TZR_BUILD_DIR");
    if (m_build.isEmpty())
        QSKIP("TZR_BUILD_DIR is not set");
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(copyInstalledData(m_build, m_dir->filePath(QStringLiteral("data/Korvel"))));
    QVERIFY(startSim(QStringLiteral("1,3")));
}

void TestTzrSync::cleanup()
{
    m_sim.stop();
    m_dir.reset();
}

bool TestTzrSync::startSim(const QString &boards)
{
    const QString error =
        m_sim.start({"--port", "28", "--boards", boards, "--users", "5"}, m_dir->filePath(QStringLiteral("data")));
    if (!error.isEmpty())
        qWarning("%s", qPrintable(error));
    return error.isEmpty();
}

TestTzrSync::Result TestTzrSync::tzr(const QStringList &arguments, const QStringList &environment)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"TZR_CODE", "TZR_MASTER_CODE", "LD_PRELOAD", "FAKETIME"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("data")));
    for (const QString &pair : environment)
        env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_dir->path());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(m_build + QStringLiteral("/cli/tzr"), arguments);
    Result result;
    if (!process.waitForFinished(120000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

bool TestTzrSync::setEndDate(int row, const QDate &until, QString &name)
{
    try {
        TableCursor cursor;
        cursor.open(m_dir->path(), QStringLiteral("f.db"));
        cursor.first();
        for (int i = 0; i < row && !cursor.eof(); ++i)
            cursor.next();
        if (cursor.eof())
            return false;
        const QString stored = cursor.value(QStringLiteral("NOMBRE"));
        EndDates::set(cursor, stored, cursor.value(QStringLiteral("CODIGO")), until);
        name = stored.trimmed();
        return !name.isEmpty();
    } catch (const std::exception &e) {
        qWarning("%s", e.what());
        return false;
    }
}

// The day after a user's last day, the next timer run empties its slot, and only then.
void TestTzrSync::dateJumpEmptiesTheExpiredUser()
{
    const QString faketime = libFaketime();
    if (faketime.isEmpty())
        QSKIP("libfaketime is not installed (package faketime): the date cannot be moved");
    QCOMPARE(tzr(QStringList{"receive", "f.db", "--board", "1"} + m_port).status, 0);
    QString name;
    QVERIFY(setEndDate(1, QDate::currentDate().addDays(100), name));

    Result r = tzr(QStringList{"sync", "f.db", "--json"} + m_port);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QJsonObject o = firstObject(r.out);
    QCOMPARE(o.value(QStringLiteral("board")).toInt(), 1);
    QCOMPARE(o.value(QStringLiteral("outcome")).toString(), QStringLiteral("done"));
    QCOMPARE(o.value(QStringLiteral("written")).toInt(), 0);
    QCOMPARE(o.value(QStringLiteral("leftOut")).toArray().size(), 0);

    // Only the wall clock jumps: the event loop's timers run on the monotonic clock as before.
    QString asan = qEnvironmentVariable("ASAN_OPTIONS");
    asan += QStringLiteral("%1verify_asan_link_order=0").arg(asan.isEmpty() ? QString() : QStringLiteral(":"));
    const QStringList later{"TZR_CODE=73518", "LD_PRELOAD=" + faketime, "FAKETIME=+200d",
                            "FAKETIME_DONT_FAKE_MONOTONIC=1", "ASAN_OPTIONS=" + asan};
    r = tzr(QStringList{"sync", "f.db", "--json"} + m_port, later);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    o = firstObject(r.out);
    QCOMPARE(o.value(QStringLiteral("outcome")).toString(), QStringLiteral("done"));
    QCOMPARE(o.value(QStringLiteral("written")).toInt(), 1);
    QCOMPARE(o.value(QStringLiteral("leftOut")).toArray(), QJsonArray{name});

    // The board itself, read into a new file today: the user is gone, the others stay.
    r = tzr(QStringList{"receive", "g.db", "--board", "1"} + m_port);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("Received 4 users")), qPrintable(r.err));
    r = tzr({"export", "g.db", "g.csv"}, {});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QFile csv(m_dir->filePath(QStringLiteral("g.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QString exported = QString::fromUtf8(csv.readAll());
    QVERIFY2(!exported.contains(name), qPrintable(exported));
    QCOMPARE(exported.count(QLatin1Char('\n')), 4);
}

void TestTzrSync::leftOutIsSaid_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("send") << QStringList{"send", "f.db"};
    QTest::newRow("send of changes") << QStringList{"send", "f.db", "--changes"};
    QTest::newRow("send to several boards") << QStringList{"send", "f.db", "--board", "1,3"};
    QTest::newRow("send of changes to several boards") << QStringList{"send", "f.db", "--changes", "--board", "1,3"};
    QTest::newRow("sync") << QStringList{"sync", "f.db"};
}

// A user whose last day was yesterday: every send says it leaves the user out, in words and in JSON.
void TestTzrSync::leftOutIsSaid()
{
    QFETCH(QStringList, arguments);
    QCOMPARE(tzr(QStringList{"receive", "f.db", "--board", "3"} + m_port).status, 0);
    QCOMPARE(tzr(QStringList{"receive", "f.db", "--board", "1"} + m_port).status, 0);
    QString name;
    QVERIFY(setEndDate(0, QDate::currentDate().addDays(-1), name));

    Result r = tzr(arguments + m_port);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    const QString said = QStringLiteral("1 user left out: their end date has passed (%1)").arg(name);
    QVERIFY2(r.err.contains(said), qPrintable(r.err));
    QCOMPARE(r.err.count(said), 1);

    // A second run still names who stays out.
    r = tzr(arguments + m_port + QStringList{"--json"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QCOMPARE(firstObject(r.out).value(QStringLiteral("leftOut")).toArray(), QJsonArray{name});
}

void TestTzrSync::compareAndHistoryNameTheExpired()
{
    QCOMPARE(tzr(QStringList{"receive", "f.db"} + m_port).status, 0);
    QString name;
    QVERIFY(setEndDate(2, QDate::currentDate().addDays(-1), name));

    Result r = tzr(QStringList{"compare", "f.db"} + m_port);
    QCOMPARE(r.status, 1);
    QVERIFY2(r.out.contains(QStringLiteral("3,expired_on_board,%1,").arg(name)), qPrintable(r.out));
    QVERIFY2(r.err.contains(QStringLiteral("1 user whose end date has passed is still on the board")),
             qPrintable(r.err));
    r = tzr(QStringList{"compare", "f.db", "--json"} + m_port);
    QCOMPARE(r.status, 1);
    QCOMPARE(firstObject(r.out).value(QStringLiteral("expiredOnBoard")).toInt(), 1);

    r = tzr(QStringList{"sync", "f.db"} + m_port);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("Sync of f.db: 1 of 1 boards done, 1 slots written or emptied")),
             qPrintable(r.err));
    r = tzr({"history", "f.db"}, {});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(QStringLiteral("slot 3: expired %1").arg(name)), qPrintable(r.out));
    // The kind in the configured language, from the language file.
    QFile ini(m_dir->filePath(QStringLiteral("data/Korvel/TZR_USR.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[TZR]\r\nComPort=28\r\nIDIOMA=FRAN\xC7" "AIS\r\n");
    ini.close();
    r = tzr({"history", "f.db"}, {});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(QStringLiteral("position 3 : expiré %1").arg(name)), qPrintable(r.out));
    // Now the board holds what the file sends: nothing left to compare.
    QCOMPARE(tzr(QStringList{"compare", "f.db"} + m_port).status, 0);
}

void TestTzrSync::fileThatMetNoBoardIsRefused()
{
    QFile csv(m_dir->filePath(QStringLiteral("in.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("NUEVO,77,7,1234\n");
    csv.close();
    QCOMPARE(tzr({"import", "f.db", "in.csv"}, {}).status, 0);
    const Result r = tzr(QStringList{"sync", "f.db"} + m_port);
    QCOMPARE(r.status, 4);
    QVERIFY2(r.err.contains(QStringLiteral("f.db has met no board in full")), qPrintable(r.err));
}

// For a timer's journal: no report on standard output, the board that did not answer and the
// summary on standard error, and the status says a board did not answer.
void TestTzrSync::quietRunReportsASilentBoard()
{
    QCOMPARE(tzr(QStringList{"receive", "f.db", "--board", "3"} + m_port).status, 0);
    QCOMPARE(tzr(QStringList{"receive", "f.db", "--board", "1"} + m_port).status, 0);
    QVERIFY(startSim(QStringLiteral("1")));
    const Result r = tzr(QStringList{"sync", "f.db", "--quiet"} + m_port);
    QVERIFY2(r.status == 3, qPrintable(r.err));
    QCOMPARE(r.out, QString());
    QVERIFY2(r.err.contains(QStringLiteral("tzr: Board 3: Not answering")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("Sync of f.db: 1 of 2 boards done, 0 slots written or emptied")),
             qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("Board 1")), qPrintable(r.err));
}

void TestTzrSync::quietRunAsksForNothing()
{
    QCOMPARE(tzr(QStringList{"receive", "f.db"} + m_port).status, 0);
    const Result r = tzr(QStringList{"sync", "f.db", "--quiet"} + m_port, {});
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains(QStringLiteral("with --quiet the programming code must come from --code-file FILE or TZR_CODE")),
             qPrintable(r.err));
}

void TestTzrSync::helpListsSync()
{
    const Result r = tzr({"help"}, {});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("sync FILE [--board LIST|all]")), qPrintable(r.out));
}

QTEST_GUILESS_MAIN(TestTzrSync)
#include "tst_tzrsync.moc"
