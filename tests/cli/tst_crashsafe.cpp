#include "InstalledData.h"
#include "StandIn.h"
#include "Table.h"
#include "TableFamily.h"
#include "TzrError.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int TRIALS = 24;

// The rows of a data file after the open that a user's next command makes; -1 when no family
// is there.
int rowsAfterRecovery(const QString &folder, const QString &name)
{
    const QString base = QDir(folder).filePath(TableFamily::baseOf(name));
    TableFamily::recover(base);
    if (!TableFamily::exists(base))
        return -1;
    Table table;
    table.setDirectory(folder + QLatin1Char('/'));
    table.setTableName(name);
    table.open();
    return table.recordCount();
}

// Working files a crash may leave behind that no open may leave. (The engine may leave a journal
// that is no longer hot; it plays no part in what the file holds.)
QStringList leftOvers(const QString &folder)
{
    QStringList left;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (name.contains(QLatin1String(".tzr-")))
            left << name;
    }
    return left;
}

// Waits a random part of span before the kill: the point of the cut is what is tested, so it is
// drawn, not waited for.
void randomPause(qint64 spanMicroseconds)
{
    const auto pause = QRandomGenerator::global()->bounded(spanMicroseconds + 1);
    std::this_thread::sleep_for(std::chrono::microseconds(pause));
}

} // namespace

class TestCrashSafe : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void killedReceiveIntoANewFile();
    void killedImport();
    void killedSaveAs();

private:
    [[nodiscard]] bool startSim();
    QProcessEnvironment environment() const;
    // Runs tzr to its end; its duration in microseconds, -1 on a failure.
    qint64 runToEnd(const QStringList &arguments);
    // Starts tzr and kills it (SIGKILL) after a random part of span.
    [[nodiscard]] bool runKilled(const QStringList &arguments, qint64 span);

    std::unique_ptr<QTemporaryDir> m_dir;
    StandIn m_sim;
    QString m_build;
};

void TestCrashSafe::init()
{
    m_build = qEnvironmentVariable("TZR_BUILD_DIR");
    if (m_build.isEmpty())
        QSKIP("TZR_BUILD_DIR is not set");
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString korvel = m_dir->filePath(QStringLiteral("data/Korvel"));
    QVERIFY(copyInstalledData(m_build, korvel));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("work"))));
}

void TestCrashSafe::cleanup()
{
    m_sim.stop();
    m_dir.reset();
}

QProcessEnvironment TestCrashSafe::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("TZR_CODE"), QStringLiteral("73518"));
    return env;
}

bool TestCrashSafe::startSim()
{
    const QString error = m_sim.start({"--port", "27", "--boards", "3", "--users", "5"},
                                      m_dir->filePath(QStringLiteral("data")));
    if (!error.isEmpty())
        qWarning("%s", qPrintable(error));
    return error.isEmpty();
}

qint64 TestCrashSafe::runToEnd(const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(m_dir->filePath(QStringLiteral("work")));
    process.setStandardInputFile(QProcess::nullDevice());
    QElapsedTimer took;
    took.start();
    process.start(m_build + QStringLiteral("/cli/tzr"), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning() << process.readAllStandardError();
        return -1;
    }
    return took.nsecsElapsed() / 1000;
}

bool TestCrashSafe::runKilled(const QStringList &arguments, qint64 span)
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(m_dir->filePath(QStringLiteral("work")));
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(m_build + QStringLiteral("/cli/tzr"), arguments);
    if (!process.waitForStarted())
        return false;
    // A little past the uncut run's time, so that runs cut after their end count too.
    randomPause(span + span / 4);
    ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
    return process.waitForFinished(60000);
}

void TestCrashSafe::killedReceiveIntoANewFile()
{
    QVERIFY(startSim());
    const QString work = m_dir->filePath(QStringLiteral("work"));
    const QStringList receive{"receive", "new.db", "--board", "3", "--port", "COM27"};
    const qint64 span = runToEnd(receive);
    QVERIFY(span > 0);
    QCOMPARE(rowsAfterRecovery(work, QStringLiteral("new.db")), 5);
    int whole = 0;
    int none = 0;
    for (int trial = 0; trial < TRIALS; ++trial) {
        TableFamily::remove(QDir(work).filePath(QStringLiteral("new")));
        QVERIFY(runKilled(receive, span));
        const int rows = rowsAfterRecovery(work, QStringLiteral("new.db"));
        QVERIFY2(rows == -1 || rows == 5, qPrintable(QStringLiteral("trial %1: %2 rows").arg(trial).arg(rows)));
        QCOMPARE(leftOvers(work), QStringList());
        (rows == 5 ? whole : none) += 1;
    }
    qInfo("receive: %d whole, %d not made", whole, none);
}

void TestCrashSafe::killedImport()
{
    const QString work = m_dir->filePath(QStringLiteral("work"));
    QFile csv(QDir(work).filePath(QStringLiteral("in.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("Nombre;Llamada;TZR\n");
    for (int i = 0; i < 150; ++i)
        csv.write(QStringLiteral("USER%1;%2;%3\n").arg(i).arg(i + 1).arg(i % 999 + 1).toUtf8());
    csv.close();
    TableFamily::copy(m_dir->filePath(QStringLiteral("data/Korvel/Patron")), QDir(work).filePath(QStringLiteral("f")));
    QVERIFY(runToEnd({"import", "f.db", "in.csv", "--append"}) > 0);
    QCOMPARE(rowsAfterRecovery(work, QStringLiteral("f.db")), 150);
    const QByteArray oldDb = [&] {
        QFile f(QDir(work).filePath(QStringLiteral("f.db")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const qint64 span = runToEnd({"import", "f.db", "in.csv", "--append"});
    QVERIFY(span > 0);
    int old = 0;
    int renewed = 0;
    for (int trial = 0; trial < TRIALS; ++trial) {
        // Back to 150 users each time; the killed run appends 150 more or nothing.
        QFile::remove(QDir(work).filePath(QStringLiteral("f.db-journal")));
        QFile f(QDir(work).filePath(QStringLiteral("f.db")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(oldDb) == oldDb.size());
        f.close();
        QVERIFY(runKilled({"import", "f.db", "in.csv", "--append"}, span));
        const int rows = rowsAfterRecovery(work, QStringLiteral("f.db"));
        QVERIFY2(rows == 150 || rows == 300, qPrintable(QStringLiteral("trial %1: %2 rows").arg(trial).arg(rows)));
        QCOMPARE(leftOvers(work).join(QLatin1Char(' ')), QString());
        (rows == 150 ? old : renewed) += 1;
    }
    qInfo("import: %d old, %d new", old, renewed);
}

void TestCrashSafe::killedSaveAs()
{
    // Save as runs the family move of the window's command; a forked child runs it so that it can
    // be killed at any point.
    const QString work = m_dir->filePath(QStringLiteral("work"));
    const QString other = m_dir->filePath(QStringLiteral("other"));
    QVERIFY(QDir().mkpath(other));
    const QString from = QDir(work).filePath(QStringLiteral("users"));
    const QString to = QDir(other).filePath(QStringLiteral("copy"));
    const QString patron = m_dir->filePath(QStringLiteral("data/Korvel/Patron"));
    int before = 0;
    int after = 0;
    qint64 span = 0;
    for (int trial = -1; trial < TRIALS; ++trial) {
        TableFamily::remove(from);
        TableFamily::remove(to);
        TableFamily::copy(patron, from);
        TableFamily::copy(patron, to);
        {
            Table users;
            users.setDirectory(work + QLatin1Char('/'));
            users.setTableName(QStringLiteral("users.db"));
            users.open();
            for (int i = 0; i < 7; ++i) {
                QVERIFY(users.insert());
                users.setValue(QStringLiteral("NOMBRE"), QStringLiteral("U%1").arg(i));
                users.setValue(QStringLiteral("CALL"), QStringLiteral("0001"));
                users.setValue(QStringLiteral("TZR"), QStringLiteral("001"));
                QVERIFY(users.post());
            }
        }
        QElapsedTimer took;
        took.start();
        const pid_t child = ::fork();
        if (child == 0) {
            try {
                TableFamily::moveLeavingCopy(from, to);
            } catch (...) {
                ::_exit(2);
            }
            ::_exit(0);
        }
        QVERIFY(child > 0);
        if (trial < 0) {
            // The first run goes to its end and gives the span the kills are drawn from.
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            span = took.nsecsElapsed() / 1000;
            QCOMPARE(rowsAfterRecovery(other, QStringLiteral("copy.db")), 7);
            continue;
        }
        randomPause(span + span / 4);
        ::kill(child, SIGKILL);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QCOMPARE(rowsAfterRecovery(work, QStringLiteral("users.db")), 7);
        const int rows = rowsAfterRecovery(other, QStringLiteral("copy.db"));
        QVERIFY2(rows == 0 || rows == 7, qPrintable(QStringLiteral("trial %1: %2 rows").arg(trial).arg(rows)));
        QCOMPARE(leftOvers(work).join(QLatin1Char(' ')), QString());
        QCOMPARE(leftOvers(other).join(QLatin1Char(' ')), QString());
        (rows == 0 ? before : after) += 1;
    }
    qInfo("save as: %d old, %d new (span %lld us)", before, after, span);
}

QTEST_GUILESS_MAIN(TestCrashSafe)
#include "tst_crashsafe.moc"
