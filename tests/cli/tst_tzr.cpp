#include "DataFileLock.h"
#include "FilaPrueba.h"
#include "History.h"
#include "InstalledData.h"
#include "RegistroPlaca.h"
#include "SystemIdentity.h"
#include "StandIn.h"
#include "TableFamily.h"
#include "Transferencias.h"
#include "UserArea.h"
#include "XlsWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sqlite3.h>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs the built tzr against the built stand-in over a pseudo-terminal, as a script would.
class TestTzr : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void subcommands_data();
    void subcommands();
    void jsonParsesBack();
    void syncAfterAnImport();
    void scanOnAnEchoingLine();
    void standInKilledMidSend();
    void ctrlCStopsAtTheNextExchange();
    void portOpensAfterAKilledReceive_data();
    void portOpensAfterAKilledReceive();
    void helpWrapsAtWords_data();
    void busyPortInTheConfiguredLanguage_data();
    void busyPortInTheConfiguredLanguage();
    void helpWrapsAtWords();
    void restoreOfAForeignFileTouchesNothing();
    void paramsNewCodes();
    void severalBoards();
    void allBoardsLeavesNoneOut();
    void paramsNotKeptSaysWhatTheBoardHolds();
    void nightlyBackupsKeepTheLastRuns();
    void frenchWords_data();
    void frenchWords();
    void heldDataFileIsRefused_data();
    void heldDataFileIsRefused();
    void crashLeftOversAreSettledOnce();
    void historyListsWhoDidWhat();
    void historyFilters_data();
    void historyFilters();
    void historyRefusesBadValues_data();
    void historyRefusesBadValues();
    void historyVerifyIntact();
    void historyVerifyFindsTampering_data();
    void historyVerifyFindsTampering();

private:
    // f.db made by an import, then three entries appended as the jobs append them: a receive
    // from board 3, a send of changes to it (two codes changed, EVA removed), a send to board 1.
    [[nodiscard]] bool writeHistory();
    // The sequences of the entries tzr history --json printed, and the users of their slots.
    static QList<qint64> sequencesOf(const QString &jsonLines, QStringList *slotUsers = nullptr);
    // (Re)starts the stand-in with boards 1 and 3 and these options besides.
    [[nodiscard]] bool startSim(const QStringList &extra);
    struct Result
    {
        int status = -1;
        QString out;
        QString err;
        // Standard output as written, before any decoding could drop a byte-order mark.
        QByteArray outBytes;
    };
    Result tzr(const QStringList &arguments, const QStringList &environment = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    StandIn m_sim;
    QString m_build;
};

void TestTzr::init()
{
    m_build = qEnvironmentVariable("TZR_BUILD_DIR");
    if (m_build.isEmpty())
        QSKIP("TZR_BUILD_DIR is not set");
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString korvel = m_dir->filePath(QStringLiteral("data/Korvel"));
    QVERIFY(copyInstalledData(m_build, korvel));

    QVERIFY(startSim({}));
}

bool TestTzr::startSim(const QStringList &extra)
{
    const QString error = m_sim.start(QStringList{"--port", "27", "--boards", "1,3", "--users", "5"} + extra,
                                      m_dir->filePath(QStringLiteral("data")));
    if (!error.isEmpty())
        qWarning("%s", qPrintable(error));
    return error.isEmpty();
}

void TestTzr::cleanup()
{
    m_sim.stop();
    m_dir.reset();
}

TestTzr::Result TestTzr::tzr(const QStringList &arguments, const QStringList &environment)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"TZR_CODE", "TZR_MASTER_CODE"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("data")));
    for (const QString &pair : environment)
        env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_dir->path());
    // Standard input is not a terminal: no code is ever prompted for.
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(m_build + QStringLiteral("/cli/tzr"), arguments);
    Result result;
    if (!process.waitForFinished(120000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.outBytes = process.readAllStandardOutput();
    result.out = QString::fromUtf8(result.outBytes);
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void TestTzr::subcommands_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<bool>("receiveFirst");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<bool>("fileAfter");

    const QStringList code{"TZR_CODE=73518"};
    const QStringList port{"--port", "COM27"};
    QTest::newRow("ports") << QStringList{"ports"} << code << false << 0 << "COM27\t"
                           << "" << false;
    QTest::newRow("scan") << QStringList{"scan"} + port << code << false << 0 << "01\n03\n"
                          << "" << false;
    QTest::newRow("scan, no such port") << QStringList{"scan", "--port", "COM99"} << code << false << 3 << ""
                                        << "there is no port COM99; 'tzr ports' lists the ports" << false;
    QTest::newRow("test") << QStringList{"test"} + port << code << false << 0
                          << "Panel : 3    Code length : 6 -- Card\n"
                          << "" << false;
    QTest::newRow("receive") << QStringList{"receive", "f.db"} + port << code << false << 0 << ""
                             << "Received 5 users" << true;
    QTest::newRow("receive, wrong code")
        << QStringList{"receive", "f"} + port << QStringList{"TZR_CODE=11111"} << false << 3 << ""
        << "refused the programming code" << false;
    QTest::newRow("receive, absent board")
        << QStringList{"receive", "f.db", "--board", "5"} + port << code << false << 3 << ""
        << "board 5 did not answer" << false;
    QTest::newRow("code as an option")
        << QStringList{"receive", "f.db", "--code", "73518"} + port << QStringList{} << false << 2 << ""
        << "never taken from the command line" << false;
    QTest::newRow("code as an option with =")
        << QStringList{"receive", "f.db", "--password=73518"} + port << QStringList{} << false << 2 << ""
        << "never taken" << false;
    QTest::newRow("no code without a terminal")
        << QStringList{"receive", "f.db"} + port << QStringList{} << false << 2 << ""
        << "TZR_CODE" << false;
    QTest::newRow("code from a file") << QStringList{"receive", "f.db", "--code-file", "code.txt"} + port
                                      << QStringList{"TZR_CODE=11111"} << false << 0 << ""
                                      << "Received 5 users" << true;
    QTest::newRow("code file that never ends")
        << QStringList{"receive", "f.db", "--code-file", "/dev/zero"} + port << QStringList{} << false << 4 << ""
        << "/dev/zero is larger than 64 KiB; refused unread" << false;
    QTest::newRow("workbook larger than a board")
        << QStringList{"import", "f.db", "big.xls"} << QStringList{} << true << 4 << ""
        << "big.xls declares 400 rows; a board holds at most 350 users and a title row" << true;
    QTest::newRow("send") << QStringList{"send", "f.db", "--by-name"} + port << code << true << 0 << ""
                          << "Sent 5 users" << true;
    QTest::newRow("send of a missing file")
        << QStringList{"send", "nothing.db"} + port << code << false << 4 << ""
        << "no data file" << false;
    QTest::newRow("send changes, nothing changed")
        << QStringList{"send", "f.db", "--changes"} + port << code << true << 0 << ""
        << "0 slots written, 0 emptied" << true;
    QTest::newRow("send changes, never synchronised")
        << QStringList{"send", "f.db", "--changes", "--board", "3"} + port << code << true << 1 << ""
        << "remembers nothing of board 3" << true;
    QTest::newRow("compare, same users")
        << QStringList{"compare", "f.db"} + port << code << true << 0 << "slot,kind,board_name"
        << "hold the same 5 users" << true;
    QTest::newRow("backup") << QStringList{"backup", "board.img"} + port
                            << QStringList{"TZR_MASTER_CODE=40962"} << false << 0 << ""
                            << "Saved board 1 (5 users)" << false;
    QTest::newRow("params") << QStringList{"params"} + port << QStringList{"TZR_MASTER_CODE=40962"} << false
                            << 0 << "panel=1\ncode-length=6\nlanguage=ENGLISH\nreader=0\ntime-a=10\n"
                            << "" << false;
    QTest::newRow("params, master code needed") << QStringList{"params"} + port << code << false << 2 << ""
                                                << "TZR_MASTER_CODE" << false;
    const QStringList master{"TZR_MASTER_CODE=40962"};
    // A board fresh from the factory holds no codes: new ones are part of any change.
    const QStringList codes{"--new-codes-file", "good.txt"};
    QTest::newRow("params, value refused")
        << QStringList{"params", "--set", "time-a=3"} + codes + port << master << false << 2 << ""
        << "No changes made: Time A" << false;
    // Refused before the master code is asked for, so before the board is asked anything.
    QTest::newRow("params, new code on the command line")
        << QStringList{"params", "--set", "master-code=54321"} + port << QStringList{} << false << 2 << ""
        << "new codes are never taken from the command line" << false;
    QTest::newRow("params, new code on the command line, upper case")
        << QStringList{"params", "--set", "Programming-Code=54321", "--set", "time-a=9"} + port << master << false
        << 2 << ""
        << "new codes are never taken from the command line" << false;
    QTest::newRow("params, reader out of range")
        << QStringList{"params", "--set", "reader=9"} + codes + port << master << false << 2 << ""
        << "No changes made: Reader" << false;
    QTest::newRow("params, reader as a large number")
        << QStringList{"params", "--set", "reader=300"} + codes + port << master << false << 2 << ""
        << "No changes made: Reader" << false;
    QTest::newRow("params, unknown language")
        << QStringList{"params", "--set", "language=klingon"} + codes + port << master << false << 2 << ""
        << "No changes made: Language" << false;
    QTest::newRow("params, panel with a sign")
        << QStringList{"params", "--set", "panel=+3"} + codes + port << master << false << 2 << ""
        << "No changes made: Panel number" << false;
    QTest::newRow("params, new code of 6 characters")
        << QStringList{"params", "--new-code", "programming-code", "--new-code", "master-code"} + port
        << QStringList{"TZR_MASTER_CODE=40962", "TZR_NEW_PROGRAMMING_CODE=123456", "TZR_NEW_MASTER_CODE=54321"}
        << false << 2 << ""
        << "No changes made: Programming Code" << false;
    QTest::newRow("params, new code with a letter the board cannot hold")
        << QStringList{"params", "--new-codes-file", "new.txt"} + port << master << false << 2 << ""
        << "No changes made: Master Code" << false;
    QTest::newRow("params, new code needed")
        << QStringList{"params", "--new-code", "master-code"} + port << master << false << 2 << ""
        << "TZR_NEW_MASTER_CODE" << false;
    QTest::newRow("export") << QStringList{"export", "f.db", "out.csv"} << code << true << 0 << ""
                            << "Exported 5 users" << true;
    QTest::newRow("import with a bad row")
        << QStringList{"import", "f.db", "in.csv", "--append"} << code << true << 1 << ""
        << "in.csv:3: Call is empty" << true;
    QTest::newRow("import into a file that does not exist")
        << QStringList{"import", "f.db", "in.csv"} << code << false << 1 << ""
        << "Created f.db from the template" << true;
    QTest::newRow("dry-run import into a file that does not exist")
        << QStringList{"import", "f.db", "in.csv", "--dry-run"} << code << false << 1 << ""
        << "1 user would be imported, 1 row not taken" << false;
    QTest::newRow("list of boards, receive")
        << QStringList{"receive", "f.db", "--board", "1,3"} + port << code << false << 2 << ""
        << "taken by send, compare and backup only" << false;
    QTest::newRow("list of boards, bad number")
        << QStringList{"compare", "f.db", "--board", "1,x"} + port << code << true << 2 << ""
        << "a list of them, or all" << true;
    QTest::newRow("keep without a list")
        << QStringList{"backup", "dir", "--keep", "2"} + port << code << false << 2 << ""
        << "--keep goes with --board LIST or all" << false;
    QTest::newRow("code file, board off the bus")
        << QStringList{"compare", "f.db", "--board", "1,3", "--code-file", "codes.txt"} + port << code << true << 2
        << "" << "line 2: board 40 is not on the bus" << true;
    QTest::newRow("unknown subcommand") << QStringList{"frobnicate"} << code << false << 2 << ""
                                        << "unknown subcommand" << false;
    QTest::newRow("help of a subcommand")
        << QStringList{"receive", "--help"} << code << false << 0 << "Usage: tzr receive FILE"
        << "" << false;
    QTest::newRow("version") << QStringList{"--version"} << code << false << 0 << "tzr 3.0"
                             << "" << false;
}

void TestTzr::subcommands()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(bool, receiveFirst);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(bool, fileAfter);

    QFile codeFile(m_dir->filePath(QStringLiteral("code.txt")));
    QVERIFY(codeFile.open(QIODevice::WriteOnly));
    codeFile.write("73518\n");
    codeFile.close();
    QFile codes(m_dir->filePath(QStringLiteral("codes.txt")));
    QVERIFY(codes.open(QIODevice::WriteOnly));
    codes.write("73518\n40=11111\n");
    codes.close();
    QFile csv(m_dir->filePath(QStringLiteral("in.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("ANA,1,1\n\nBOB,,2\n");
    csv.close();
    QFile newCodes(m_dir->filePath(QStringLiteral("new.txt")));
    QVERIFY(newCodes.open(QIODevice::WriteOnly));
    newCodes.write("programming-code=12345\nmaster-code=1C345\n");
    newCodes.close();
    QFile goodCodes(m_dir->filePath(QStringLiteral("good.txt")));
    QVERIFY(goodCodes.open(QIODevice::WriteOnly));
    goodCodes.write("programming-code=12345\nmaster-code=54321\n");
    goodCodes.close();
    QList<QStringList> many;
    for (int i = 0; i < 400; ++i)
        many << QStringList{QStringLiteral("USER%1").arg(i), QString::number(i + 1), QStringLiteral("1")};
    XlsWriter::write(m_dir->filePath(QStringLiteral("big.xls")), many);
    if (receiveFirst) {
        const Result r = tzr({"receive", "f.db", "--port", "COM27"}, {"TZR_CODE=73518"});
        QVERIFY2(r.status == 0, qPrintable(r.err));
    }

    const Result r = tzr(arguments, environment);
    QVERIFY2(r.status == status, qPrintable(QStringLiteral("status %1: %2").arg(r.status).arg(r.err)));
    // An empty expectation means nothing at all was printed there.
    if (out.isEmpty())
        QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
    else
        QVERIFY2(r.out.contains(out), qPrintable(r.out));
    if (err.isEmpty())
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    else
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
    QCOMPARE(QFileInfo::exists(m_dir->filePath(QStringLiteral("f.db"))), fileAfter);
}

void TestTzr::jsonParsesBack()
{
    const QStringList port{"--port", "COM27", "--json", "--board", "3"};
    Result r = tzr(QStringList{"receive", "f.db"} + port, {"TZR_CODE=73518"});
    QCOMPARE(r.status, 0);
    QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(o.value(QStringLiteral("board")).toInt(), 3);
    QCOMPARE(o.value(QStringLiteral("users")).toInt(), 5);
    QCOMPARE(o.value(QStringLiteral("complete")).toBool(), true);

    r = tzr(QStringList{"scan"} + port);
    QCOMPARE(r.status, 0);
    QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).object().value(QStringLiteral("boards")).toArray(),
             (QJsonArray{1, 3}));

    r = tzr(QStringList{"params"} + port, {"TZR_MASTER_CODE=40962"});
    QCOMPARE(r.status, 0);
    o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(o.value(QStringLiteral("panel")).toString(), QStringLiteral("3"));
    QCOMPARE(o.value(QStringLiteral("reader")).toString(), QStringLiteral("0"));

    QFile csv(m_dir->filePath(QStringLiteral("in.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("Nombre;Llamada;TZR\nANA;1;1\nBOB;x;2\n");
    csv.close();
    r = tzr({"import", "f.db", "in.csv", "--json", "--dry-run"});
    QCOMPARE(r.status, 1);
    o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(o.value(QStringLiteral("accepted")).toInt(), 1);
    QCOMPARE(o.value(QStringLiteral("imported")).toInt(), 0);
    QCOMPARE(o.value(QStringLiteral("header")).toBool(), true);
    const QJsonObject rejected = o.value(QStringLiteral("rejected")).toArray().at(0).toObject();
    QCOMPARE(rejected.value(QStringLiteral("line")).toInt(), 3);
}

// The file remembers the board after a receive; an import changes the file; compare sees it, a
// send of changes writes only that, and the two agree again. A whole board saved and restored.
void TestTzr::syncAfterAnImport()
{
    const QStringList port{"--port", "COM27"};
    const QStringList code{"TZR_CODE=73518"};
    QCOMPARE(tzr(QStringList{"receive", "f.db"} + port, code).status, 0);
    QFile csv(m_dir->filePath(QStringLiteral("in.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("NUEVO,77,7,1234\n");
    csv.close();
    QCOMPARE(tzr({"import", "f.db", "in.csv", "--append"}).status, 0);

    Result r = tzr(QStringList{"compare", "f.db", "--json"} + port, code);
    QCOMPARE(r.status, 1);
    QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(o.value(QStringLiteral("onlyInFile")).toInt(), 1);
    QCOMPARE(o.value(QStringLiteral("different")).toInt(), 0);
    const QJsonObject entry = o.value(QStringLiteral("entries")).toArray().at(0).toObject();
    QCOMPARE(entry.value(QStringLiteral("slot")).toInt(), 6);
    QCOMPARE(entry.value(QStringLiteral("fileName")).toString(), QStringLiteral("NUEVO"));

    r = tzr(QStringList{"send", "f.db", "--changes", "--json"} + port, code);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(o.value(QStringLiteral("written")).toInt(), 1);
    QCOMPARE(o.value(QStringLiteral("emptied")).toInt(), 0);
    QCOMPARE(tzr(QStringList{"compare", "f.db"} + port, code).status, 0);

    const QStringList master{"TZR_MASTER_CODE=40962"};
    r = tzr(QStringList{"backup", "board.img"} + port, master);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QCOMPARE(QFileInfo(m_dir->filePath(QStringLiteral("board.img"))).permissions() &
                 (QFile::ReadGroup | QFile::ReadOther),
             QFile::Permissions());
    // The board changes after the backup (one more user); the restore must take it back.
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("OTRO,78,8,5678\n");
    csv.close();
    QCOMPARE(tzr({"import", "f.db", "in.csv", "--append"}).status, 0);
    r = tzr(QStringList{"send", "f.db", "--changes"} + port, code);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QCOMPARE(tzr(QStringList{"compare", "f.db"} + port, code).status, 0);
    r = tzr(QStringList{"restore", "board.img"} + port, master);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("a send of changes from them checks the board first")), qPrintable(r.err));
    r = tzr(QStringList{"compare", "f.db", "--json"} + port, code);
    QCOMPARE(r.status, 1);
    o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(o.value(QStringLiteral("onlyInFile")).toInt(), 1);
    QCOMPARE(o.value(QStringLiteral("entries")).toArray().at(0).toObject().value(QStringLiteral("fileName")).toString(),
             QStringLiteral("OTRO"));
    // The file still remembers the board before the restore: its guard finds the board changed.
    r = tzr(QStringList{"send", "f.db", "--changes"} + port, code);
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(QStringLiteral("was changed since")), qPrintable(r.err));
}

// A file that is not an image is refused before the board is asked anything: no frame at all.
void TestTzr::restoreOfAForeignFileTouchesNothing()
{
    const QString log = m_dir->filePath(QStringLiteral("frames.log"));
    QVERIFY(startSim({"--log", log}));
    QFile foreign(m_dir->filePath(QStringLiteral("code.txt")));
    QVERIFY(foreign.open(QIODevice::WriteOnly));
    foreign.write("73518\n");
    foreign.close();
    const Result r = tzr({"restore", "code.txt", "--port", "COM27"}, {"TZR_MASTER_CODE=40962"});
    QVERIFY2(r.status == 4, qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("code.txt")) || r.err.contains(QStringLiteral("image")), qPrintable(r.err));
    QFile frames(log);
    QVERIFY(!frames.exists() || frames.open(QIODevice::ReadOnly));
    const QByteArray seen = frames.isOpen() ? frames.readAll() : QByteArray();
    QVERIFY2(!seen.contains("read") && !seen.contains("write"), seen.constData());
    // The positive control: a backup on the same stand-in does show in the log.
    QCOMPARE(tzr({"backup", "board.img", "--port", "COM27"}, {"TZR_MASTER_CODE=40962"}).status, 0);
    QTRY_VERIFY_WITH_TIMEOUT(frames.exists() && QFile(log).size() > 0, 10000);
}

// New codes come from a file or the environment; the board takes them and its old master code no
// longer opens it.
void TestTzr::paramsNewCodes()
{
    const QStringList port{"--port", "COM27"};
    Result r = tzr(QStringList{"params", "--new-code", "master-code", "--new-code", "programming-code"} + port,
                   {"TZR_MASTER_CODE=40962", "TZR_NEW_MASTER_CODE=12345", "TZR_NEW_PROGRAMMING_CODE=67890"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(QStringLiteral("master-code=set")) && !r.out.contains(QStringLiteral("12345")),
             qPrintable(r.out));
    QCOMPARE(tzr(QStringList{"params"} + port, {"TZR_MASTER_CODE=40962"}).status, 3);
    QFile newCodes(m_dir->filePath(QStringLiteral("new.txt")));
    QVERIFY(newCodes.open(QIODevice::WriteOnly));
    newCodes.write("# changed after the audit\nprogramming-code=2A4B6\n");
    newCodes.close();
    r = tzr(QStringList{"params", "--new-codes-file", "new.txt"} + port, {"TZR_MASTER_CODE=12345"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    r = tzr(QStringList{"params", "--show-codes"} + port, {"TZR_MASTER_CODE=12345"});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("programming-code=2A4B6\nmaster-code=12345")), qPrintable(r.out));
    // Without asking, only whether each code is set, in text and in JSON.
    r = tzr(QStringList{"params"} + port, {"TZR_MASTER_CODE=12345"});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.endsWith(QStringLiteral("programming-code=set\nmaster-code=set\n")), qPrintable(r.out));
    QVERIFY2(!r.out.contains(QStringLiteral("2A4B6")) && !r.out.contains(QStringLiteral("12345")), qPrintable(r.out));
    r = tzr(QStringList{"params", "--json"} + port, {"TZR_MASTER_CODE=12345"});
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(o.value(QStringLiteral("programming-code")).toString(), QStringLiteral("set"));
    QCOMPARE(o.value(QStringLiteral("master-code")).toString(), QStringLiteral("set"));
}

// What a crash left beside a data file is removed by the next command on it, which says so once.
void TestTzr::crashLeftOversAreSettledOnce()
{
    const QString patron = m_dir->filePath(QStringLiteral("data/Korvel/Patron"));
    TableFamily::copy(patron, m_dir->filePath(QStringLiteral("f")));
    const QString working = TableFamily::copyToWorking(patron, m_dir->filePath(QStringLiteral("f")));
    QVERIFY(QFileInfo::exists(working + QStringLiteral(".db")));
    Result r = tzr({"export", "f.db", "out.csv"});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.err.contains(QStringLiteral("f.db: a copy left unfinished when the tool was cut short was removed")),
             qPrintable(r.err));
    QVERIFY(!QFileInfo::exists(working + QStringLiteral(".db")));
    r = tzr({"export", "f.db", "out.csv"});
    QCOMPARE(r.status, 0);
    QVERIFY2(!r.err.contains(QStringLiteral("cut short")), qPrintable(r.err));
}

// A run over several boards: a CSV row or a JSON object per board, the worst board's status.
void TestTzr::severalBoards()
{
    const QStringList port{"--port", "COM27"};
    const QStringList code{"TZR_CODE=73518"};
    QCOMPARE(tzr(QStringList{"receive", "f.db"} + port, code).status, 0);
    Result r = tzr(QStringList{"send", "f.db", "--board", "all"} + port, code);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(QStringLiteral("\r\n1,done,5,5,,0,")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("\r\n3,done,5,5,,0,")), qPrintable(r.out));

    QFile csv(m_dir->filePath(QStringLiteral("in.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("NUEVO,77,7,1234\n");
    csv.close();
    QCOMPARE(tzr({"import", "f.db", "in.csv", "--append"}).status, 0);
    // Board 5 is not on the bus: the others are still done, and the status says one did not answer.
    r = tzr(QStringList{"send", "f.db", "--changes", "--board", "3,1,5", "--json"} + port, code);
    QVERIFY2(r.status == 3, qPrintable(r.err));
    const QStringList lines = r.out.trimmed().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QStringList seen;
    for (const QString &line : lines) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        seen << QStringLiteral("%1 %2 %3")
                    .arg(o.value(QStringLiteral("board")).toInt())
                    .arg(o.value(QStringLiteral("outcome")).toString())
                    .arg(o.value(QStringLiteral("written")).toInt());
    }
    QCOMPARE(seen, (QStringList{"3 done 1", "1 done 1", "5 not-answering 0"}));

    // Board 3 has a code of its own in the file, and it is the wrong one.
    QFile codes(m_dir->filePath(QStringLiteral("codes.txt")));
    QVERIFY(codes.open(QIODevice::WriteOnly));
    codes.write("73518\n03=11111\n");
    codes.close();
    r = tzr(QStringList{"compare", "f.db", "--board", "1,3", "--code-file", "codes.txt"} + port);
    QVERIFY2(r.status == 3, qPrintable(r.err));
    QVERIFY2(r.out.contains(QStringLiteral("\r\n1,done,")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("\r\n3,code-refused,")), qPrintable(r.out));
}

// --board all: each board lets its first probe pass and is still found; a board the file has
// met in full that is no longer on the bus gets its row, not answering, and the status is 3.
void TestTzr::allBoardsLeavesNoneOut()
{
    const QStringList port{"--port", "COM27"};
    const QStringList code{"TZR_CODE=73518"};
    QCOMPARE(tzr(QStringList{"receive", "f.db", "--board", "3"} + port, code).status, 0);
    QCOMPARE(tzr(QStringList{"receive", "f.db"} + port, code).status, 0);
    QVERIFY(startSim({"--boards", "1", "--miss-probes", "1"}));
    const Result r = tzr(QStringList{"compare", "f.db", "--board", "all"} + port, code);
    QVERIFY2(r.status == 3, qPrintable(r.err));
    QVERIFY2(r.out.contains(QStringLiteral("\r\n1,done,")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("\r\n3,not-answering,")), qPrintable(r.out));
}

// A board that acknowledges the master code's writes without keeping them: status 1, the board's
// state said on standard error, the new code not printed as if it were set.
void TestTzr::paramsNotKeptSaysWhatTheBoardHolds()
{
    QVERIFY(startSim({"--lose-writes-at", "16-21", "--programming-code", "11111"}));
    const QStringList port{"--port", "COM27"};
    const Result r = tzr(QStringList{"params", "--new-code", "master-code"} + port,
                         {"TZR_MASTER_CODE=40962", "TZR_NEW_MASTER_CODE=12345"});
    QVERIFY2(r.status == 1, qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("The master code was not changed.")), qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("Parameters written")), qPrintable(r.err));
    QVERIFY2(!r.out.contains(QStringLiteral("12345")), qPrintable(r.out));
    // The board still opens with the code it had.
    QCOMPARE(tzr(QStringList{"params"} + port, {"TZR_MASTER_CODE=40962"}).status, 0);
}

// backup --board all --keep N: a dated folder per run with one owner-only image per board, and
// only the last N runs left; anything else in the folder is not touched.
void TestTzr::nightlyBackupsKeepTheLastRuns()
{
    const QString root = m_dir->filePath(QStringLiteral("backups"));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/keep-me")));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/2020-01-01T00-00-00")));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/2020-01-02T00-00-00")));
    const QStringList arguments{"backup", "--board", "all", "--keep", "2", "--port", "COM27", root};
    const Result r = tzr(arguments, {"TZR_MASTER_CODE=40962"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QStringList runs = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(runs.size(), 3);
    QCOMPARE(runs.at(0), QStringLiteral("2020-01-02T00-00-00"));
    QCOMPARE(runs.at(2), QStringLiteral("keep-me"));
    const QDir run(root + QLatin1Char('/') + runs.at(1));
    const QString date = runs.at(1).left(10);
    QCOMPARE(run.entryList(QDir::Files, QDir::Name),
             (QStringList{QStringLiteral("board-01-%1.tzrimg").arg(date), QStringLiteral("board-03-%1.tzrimg").arg(date)}));
    for (const QString &name : run.entryList(QDir::Files))
        QCOMPARE(QFileInfo(run.filePath(name)).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());
    QCOMPARE(QFileInfo(run.path()).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther),
             QFile::Permissions());

    // A run that saves nothing removes nothing.
    const Result none = tzr(QStringList{"backup", "--board", "5,6", "--keep", "1", "--port", "COM27", root},
                            {"TZR_MASTER_CODE=40962"});
    QCOMPARE(none.status, 3);
    QCOMPARE(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name), runs);
}

QTEST_GUILESS_MAIN(TestTzr)
#include "tst_tzr.moc"

// On a two-wire line that echoes, the port's echo setting makes tzr list only the boards there.
void TestTzr::scanOnAnEchoingLine()
{
    QVERIFY(startSim({"--echo"}));
    QFile ini(m_dir->filePath(QStringLiteral("data/Korvel/TZR_USR.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[TZR]\r\nComPort=27\r\n[LineEcho]\r\nCOM27=1\r\n");
    ini.close();
    const Result r = tzr({"scan"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("01\n03\n"));
}

// The stand-in goes away in the middle of a send: tzr says how far it got and exits 3.
void TestTzr::standInKilledMidSend()
{
    const QString log = m_dir->filePath(QStringLiteral("frames.log"));
    // Slow replies, so that the send is still under way when the (buffered) log shows its writes.
    QVERIFY(startSim({"--log", log, "--latency", "20"}));
    QCOMPARE(tzr({"receive", "f.db", "--port", "COM27"}, {"TZR_CODE=73518"}).status, 0);
    QProcess send;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("TZR_CODE"), QStringLiteral("73518"));
    send.setProcessEnvironment(env);
    send.setWorkingDirectory(m_dir->path());
    send.setStandardInputFile(QProcess::nullDevice());
    send.start(m_build + QStringLiteral("/cli/tzr"), {"send", "f.db", "--port", "COM27"});
    QVERIFY(send.waitForStarted());
    // The erase is 350 writes; once the users' writes are under way the stand-in is killed.
    auto writes = [&log] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count("write") : qsizetype(0);
    };
    QTRY_VERIFY_WITH_TIMEOUT(writes() > 380, 60000);
    m_sim.kill();
    QVERIFY(send.waitForFinished(60000));
    const QString err = QString::fromUtf8(send.readAllStandardError());
    QVERIFY2(send.exitCode() == 3, qPrintable(err));
    // How many were not written, and which, add up with those written; the system's own words
    // come only as a detail.
    const QRegularExpression report(QStringLiteral("users written: (\\d) of 5; not written: (\\d) \\(([^)]*)\\)"));
    const QRegularExpressionMatch m = report.match(err);
    QVERIFY2(m.hasMatch(), qPrintable(err));
    QCOMPARE(m.captured(1).toInt() + m.captured(2).toInt(), 5);
    QVERIFY(m.captured(2).toInt() > 0);
    QCOMPARE(m.captured(3).split(QStringLiteral(", ")).size(), m.captured(2).toInt());
    QVERIFY2(err.contains(QStringLiteral("COM27 is no longer present. (the system said: ")), qPrintable(err));
}

// Ctrl+C during a receive stops it at the next exchange, as Stop does: the file keeps its rows.
void TestTzr::ctrlCStopsAtTheNextExchange()
{
    const QString log = m_dir->filePath(QStringLiteral("frames.log"));
    QVERIFY(startSim({"--log", log, "--latency", "20"}));
    QProcess receive;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("TZR_CODE"), QStringLiteral("73518"));
    receive.setProcessEnvironment(env);
    receive.setWorkingDirectory(m_dir->path());
    receive.setStandardInputFile(QProcess::nullDevice());
    receive.start(m_build + QStringLiteral("/cli/tzr"), {"receive", "f.db", "--port", "COM27"});
    QVERIFY(receive.waitForStarted());
    auto reads = [&log] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count("read") : qsizetype(0);
    };
    QTRY_VERIFY_WITH_TIMEOUT(reads() > 200, 60000);
    QCOMPARE(::kill(static_cast<pid_t>(receive.processId()), SIGINT), 0);
    QVERIFY(receive.waitForFinished(60000));
    const QString err = QString::fromUtf8(receive.readAllStandardError());
    QCOMPARE(receive.exitStatus(), QProcess::NormalExit);
    QVERIFY2(receive.exitCode() == 1, qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("receive incomplete; the file was not changed")), qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("stopped before the end")), qPrintable(err));
    // Nothing was received: the file this receive made is gone again.
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("f.db"))));
}

// tzr ended in the middle of a receive, by a second Ctrl+C or by SIGKILL: the port opens again at
// once, and the file holds the users it had before, with no journal left beside it where the
// program had a chance to end its transaction.
void TestTzr::portOpensAfterAKilledReceive_data()
{
    QTest::addColumn<QList<int>>("sent");
    QTest::addColumn<bool>("journalLeft");
    QTest::newRow("Ctrl+C twice") << QList<int>{SIGINT, SIGINT} << false;
    QTest::newRow("SIGKILL") << QList<int>{SIGKILL} << true;
}

void TestTzr::portOpensAfterAKilledReceive()
{
    QFETCH(QList<int>, sent);
    QFETCH(bool, journalLeft);
    const QString log = m_dir->filePath(QStringLiteral("frames.log"));
    const QStringList port{"--port", "COM27"};
    const QStringList code{"TZR_CODE=73518"};
    QCOMPARE(tzr(QStringList{"receive", "f.db"} + port, code).status, 0);
    // Replies slow enough that the stop asked by the first Ctrl+C is still waiting for its
    // exchange when the second one comes, yet within the link's reply time.
    QVERIFY(startSim({"--log", log, "--latency", "80"}));

    QProcess receive;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("TZR_CODE"), QStringLiteral("73518"));
    receive.setProcessEnvironment(env);
    receive.setWorkingDirectory(m_dir->path());
    receive.setStandardInputFile(QProcess::nullDevice());
    const auto reads = [&log] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count("read") : qsizetype(0);
    };
    const qsizetype before = reads();
    receive.start(m_build + QStringLiteral("/cli/tzr"), QStringList{"receive", "f.db"} + port);
    QVERIFY(receive.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(reads() > before + 20, 60000);
    QString err;
    for (qsizetype i = 0; i < sent.size(); ++i) {
        QCOMPARE(::kill(static_cast<pid_t>(receive.processId()), sent.at(i)), 0);
        // The second Ctrl+C only once the first has been taken as one (two pending would merge).
        if (sent.at(i) == SIGINT && i + 1 < sent.size()) {
            QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(receive.readAllStandardError()))
                                         .contains(QStringLiteral("stopping at the next exchange")),
                                     10000);
        }
    }
    QVERIFY(receive.waitForFinished(60000));
    QCOMPARE(receive.exitStatus(), QProcess::CrashExit);
    QCOMPARE(QFileInfo::exists(m_dir->filePath(QStringLiteral("f.db-journal"))), journalLeft);

    // The reply to the killed program's last request may still be on its way (the stand-in's
    // 80 ms): the scan must not take it for board 0 answering.
    const Result scan = tzr(QStringList{"scan"} + port);
    QVERIFY2(scan.status == 0, qPrintable(scan.err));
    QCOMPARE(scan.out, QStringLiteral("01\n03\n"));
    // Even after SIGKILL the users are all there: SQLite takes back what was begun.
    const Result exported = tzr({"export", "f.db", "out.csv", "--json"});
    QCOMPARE(exported.status, 0);
    QVERIFY2(exported.out.contains(QStringLiteral("\"users\":5")), qPrintable(exported.out));
}

// The help is laid out for the terminal it is shown on, 80 columns elsewhere, and broken only
// between words.
void TestTzr::helpWrapsAtWords_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("not a terminal") << 0 << QStringList{"--help"};
    QTest::newRow("a terminal of 60 columns") << 60 << QStringList{"--help"};
    QTest::newRow("a terminal of 120 columns") << 120 << QStringList{"--help"};
    QTest::newRow("a subcommand, not a terminal") << 0 << QStringList{"import", "--help"};
    QTest::newRow("a subcommand, 50 columns") << 50 << QStringList{"import", "--help"};
}

void TestTzr::helpWrapsAtWords()
{
    QFETCH(int, columns);
    QFETCH(QStringList, arguments);
    QString out;
    if (columns == 0) {
        const Result r = tzr(arguments);
        QCOMPARE(r.status, 0);
        out = r.out;
    } else {
        // On a pseudo-terminal of that size, as a user's terminal window would be.
        winsize size{};
        size.ws_col = static_cast<unsigned short>(columns);
        size.ws_row = 50;
        int master = -1;
        const QByteArray program = QFile::encodeName(m_build + QStringLiteral("/cli/tzr"));
        QList<QByteArray> words;
        for (const QString &a : arguments)
            words << a.toUtf8();
        const pid_t child = ::forkpty(&master, nullptr, nullptr, &size);
        QVERIFY(child >= 0);
        if (child == 0) {
            std::vector<char *> argv{const_cast<char *>(program.constData())};
            for (QByteArray &w : words)
                argv.push_back(w.data());
            argv.push_back(nullptr);
            ::execv(program.constData(), argv.data());
            ::_exit(127);
        }
        QByteArray bytes;
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::read(master, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, got);
        ::close(master);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        out = QString::fromUtf8(bytes).remove(QLatin1Char('\r'));
    }
    const int width = columns == 0 ? 80 : columns;
    qsizetype longest = 0;
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        QVERIFY2(line.size() <= width, qPrintable(line));
        longest = std::max(longest, line.size());
    }
    // The width is used, not merely some width below it.
    QVERIFY2(longest > width - 12, qPrintable(out));
    // Every word whole, in its order.
    const QString flat = out.simplified();
    const QString summary = arguments.first() == QLatin1String("import")
                                ? QStringLiteral("rows that cannot be taken are reported with their line.")
                                : QStringLiteral("Receive the board's users into the data file FILE (created from "
                                                 "the template when it does not exist). Needs the programming code.");
    QVERIFY2(flat.contains(summary), qPrintable(out));
}

// A port another program holds is named busy, with that program and its process; that message
// (shared with the window) and tzr's own are both in the configured language.
void TestTzr::busyPortInTheConfiguredLanguage_data()
{
    QTest::addColumn<QByteArray>("idioma");
    QTest::addColumn<QString>("busy");
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QString>("refused");
    QTest::newRow("English") << QByteArray("ENGLISH") << "is in use by another program."
                             << "Close tzr (process %1)" << "board 1 refused the programming code";
    QTest::newRow("Spanish") << QByteArray("ESPA\xd1" "OL") << QString::fromUtf8("está en uso por otro programa.")
                             << "Cierre tzr (proceso %1)" << QString::fromUtf8("la placa 1 rechazó el código de programación");
    QTest::newRow("French") << QByteArray("FRAN\xc7" "AIS") << QString::fromUtf8("est utilisé par un autre programme.")
                            << "Fermez tzr (processus %1)" << QString::fromUtf8("la platine 1 a refusé le code de programmation");
}

void TestTzr::busyPortInTheConfiguredLanguage()
{
    QFETCH(QByteArray, idioma);
    QFETCH(QString, busy);
    QFETCH(QString, holder);
    QFETCH(QString, refused);
    QFile ini(m_dir->filePath(QStringLiteral("data/Korvel/TZR_USR.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[TZR]\r\nComPort=27\r\nIDIOMA=" + idioma + "\r\n");
    ini.close();
    const QString log = m_dir->filePath(QStringLiteral("frames.log"));
    QVERIFY(startSim({"--log", log, "--latency", "80"}));

    QProcess receive;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("TZR_CODE"), QStringLiteral("73518"));
    receive.setProcessEnvironment(env);
    receive.setWorkingDirectory(m_dir->path());
    receive.setStandardInputFile(QProcess::nullDevice());
    receive.start(m_build + QStringLiteral("/cli/tzr"), {"receive", "f.db"});
    QVERIFY(receive.waitForStarted());
    const auto reads = [&log] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count("read") : qsizetype(0);
    };
    QTRY_VERIFY_WITH_TIMEOUT(reads() > 5, 60000);
    const qint64 holderPid = receive.processId();
    const Result scan = tzr({"scan"});
    receive.kill();
    receive.waitForFinished(10000);
    QCOMPARE(scan.status, 3);
    QVERIFY2(scan.err.contains(busy), qPrintable(scan.err));
    QVERIFY2(scan.err.contains(holder.arg(holderPid)), qPrintable(scan.err));
    QVERIFY2(!scan.err.contains(QStringLiteral("Permission error")), qPrintable(scan.err));

    QTest::qWait(300);
    const Result wrongCode = tzr({"receive", "g.db"}, {"TZR_CODE=11111"});
    QCOMPARE(wrongCode.status, 3);
    QVERIFY2(wrongCode.err.contains(refused), qPrintable(wrongCode.err));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("g.db"))));
}

void TestTzr::heldDataFileIsRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("receive") << QStringList{"receive", "f.db", "--port", "COM27", "--board", "3"};
    QTest::newRow("send") << QStringList{"send", "f.db", "--port", "COM27"};
    QTest::newRow("import") << QStringList{"import", "f.db", "in.csv"};
}

// The window holds the file it shows; a command that would write it is told by whom.
void TestTzr::heldDataFileIsRefused()
{
    QFETCH(QStringList, arguments);
    const QStringList code{"TZR_CODE=73518"};
    QVERIFY(tzr({"receive", "f.db", "--port", "COM27"}, code).status == 0);
    QFile csv(m_dir->filePath(QStringLiteral("in.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("ANA,1,1\n");
    csv.close();
    const QString file = m_dir->filePath(QStringLiteral("f.db"));
    const QByteArray before = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    {
        DataFileLock held;
        held.lock(file);
        const Result r = tzr(arguments, code);
        QVERIFY2(r.status == 4, qPrintable(QStringLiteral("status %1: %2").arg(r.status).arg(r.err)));
        const QString holder = QStringLiteral("is in use by %1 (process %2)")
                                   .arg(DataFileLock::holderOf(file).value_or(DataFileLock::Holder{}).program)
                                   .arg(QCoreApplication::applicationPid());
        QVERIFY2(r.err.contains(QStringLiteral("f.db ") + holder), qPrintable(r.err));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
    const Result r = tzr(arguments, code);
    QVERIFY2(r.status == 0, qPrintable(r.err));
}

void TestTzr::frenchWords_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("notExpected");
    QTest::newRow("board test") << QStringList{"test"} << QString::fromUtf8("Platine : 3    Longueur du code : 6 -- Carte")
                                << " -- Card";
    QTest::newRow("several boards") << QStringList{"compare", "f.db", "--board", "1,3"}
                                    << QString::fromUtf8("Platine 3 : Différente du fichier") << ": different";
    QTest::newRow("one user imported") << QStringList{"import", "f.db", "one.csv", "--append"}
                                       << QString::fromUtf8("Import dans f.db : 1 utilisateur ; non retenues : 0 ligne")
                                       << "1 utilisateurs";
    QTest::newRow("history checked") << QStringList{"history", "f.db", "--verify"}
                                     << QString::fromUtf8("historique intact : ") << "history intact";
}

void TestTzr::frenchWords()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    QFETCH(QString, notExpected);
    QFile ini(m_dir->filePath(QStringLiteral("data/Korvel/TZR_USR.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[TZR]\r\nComPort=27\r\nIDIOMA=FRAN\xC7" "AIS\r\n");
    ini.close();
    QFile csv(m_dir->filePath(QStringLiteral("one.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("ANA,1,1\n");
    csv.close();
    QVERIFY(tzr({"receive", "f.db", "--board", "1"}, {"TZR_CODE=73518"}).status == 0);
    const Result r = tzr(arguments, {"TZR_CODE=73518"});
    const QString all = r.out + r.err;
    QVERIFY2(all.contains(expected), qPrintable(all));
    QVERIFY2(!all.contains(notExpected), qPrintable(all));
}

namespace {

RegistroEnvio sent(const QString &name, const QString &code)
{
    RegistroEnvio r;
    r.fila = fila(name, QStringLiteral("0011"), QStringLiteral("101"), code);
    r.registro = Codifica_Registro(Fila_a_Ficha(r.fila, 0, 0), 0);
    return r;
}

// The codes the history's entries were made from; none may ever be printed.
const char *const HISTORY_CODES[] = {"1111", "2222", "3333", "9876", "5432", "4444", "5555"};

} // namespace

bool TestTzr::writeHistory()
{
    QFile csv(m_dir->filePath(QStringLiteral("in.csv")));
    if (!csv.open(QIODevice::WriteOnly))
        return false;
    csv.write("ANA,1,1\n");
    csv.close();
    if (tzr({"import", "f.db", "in.csv"}).status != 0)
        return false;
    try {
        History history(DataFileRef{m_dir->path(), QStringLiteral("f.db")});
        HistoryEntry receive = History::start(History::Job::Receive, 3, QStringLiteral("COM27"));
        receive.read = true;
        receive.users = 3;
        receive.outcome = History::Outcome::Done;
        history.append(receive);
        HistoryEntry changes = History::start(History::Job::SendChanges, 3, QStringLiteral("COM27"));
        UserArea before;
        before.setRecord(0, sent(QStringLiteral("ANA"), QStringLiteral("1111")).registro);
        before.setRecord(1, sent(QStringLiteral("LUIS"), QStringLiteral("2222")).registro);
        before.setRecord(2, sent(QStringLiteral("EVA"), QStringLiteral("3333")).registro);
        changes.changes = History::changesBetween(
            before, {sent(QStringLiteral("ANA"), QStringLiteral("9876")), sent(QStringLiteral("LUIS"), QStringLiteral("5432"))});
        changes.outcome = History::Outcome::Done;
        history.append(changes);
        HistoryEntry send = History::start(History::Job::Send, 1, QStringLiteral("COM27"));
        send.changes = History::written({sent(QStringLiteral("ANA"), QStringLiteral("4444")),
                                         sent(QStringLiteral("BOB"), QStringLiteral("5555"))});
        send.outcome = History::Outcome::Incomplete;
        history.append(send);
    } catch (const TzrError &e) {
        qWarning("%s", qPrintable(e.message()));
        return false;
    }
    return true;
}

QList<qint64> TestTzr::sequencesOf(const QString &jsonLines, QStringList *slotUsers)
{
    QList<qint64> sequences;
    for (const QString &line : jsonLines.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        sequences << o.value(QStringLiteral("sequence")).toInteger(-1);
        for (const QJsonValue &c : o.value(QStringLiteral("changes")).toArray()) {
            if (slotUsers)
                *slotUsers << c.toObject().value(QStringLiteral("user")).toString();
        }
    }
    return sequences;
}

// Who ran which job on which board, and which users it touched, by name; the codes never.
void TestTzr::historyListsWhoDidWhat()
{
    QVERIFY(writeHistory());
    const QString file = m_dir->filePath(QStringLiteral("f.db"));
    Result r;
    {
        // The window holding the file does not keep its history from being read.
        DataFileLock held;
        held.lock(file);
        r = tzr({"history", "f.db", "--json"});
    }
    QVERIFY2(r.status == 0, qPrintable(r.err));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QList<QJsonObject> entries;
    for (const QString &line : lines) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        QVERIFY2(doc.isObject(), qPrintable(error.errorString()));
        entries << doc.object();
    }
    QCOMPARE(entries[0].value(QStringLiteral("board")).toInt(), 3);
    QCOMPARE(entries[0].value(QStringLiteral("job")).toString(), History::Job::Receive);
    QCOMPARE(entries[0].value(QStringLiteral("read")).toBool(), true);
    QCOMPARE(entries[1].value(QStringLiteral("job")).toString(), History::Job::SendChanges);
    QCOMPARE(entries[2].value(QStringLiteral("board")).toInt(), 1);
    QCOMPARE(entries[2].value(QStringLiteral("outcome")).toString(), History::Outcome::Incomplete);
    const QJsonArray changes = entries[1].value(QStringLiteral("changes")).toArray();
    QCOMPARE(changes.size(), 3);
    QCOMPARE(changes.at(0).toObject().value(QStringLiteral("user")).toString(), QStringLiteral("ANA"));
    QCOMPARE(changes.at(0).toObject().value(QStringLiteral("change")).toString(), QStringLiteral("code-changed"));
    QCOMPARE(changes.at(2).toObject().value(QStringLiteral("user")).toString(), QStringLiteral("EVA"));
    QCOMPARE(changes.at(2).toObject().value(QStringLiteral("change")).toString(), QStringLiteral("removed"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QJsonObject &e : entries) {
        QCOMPARE(e.value(QStringLiteral("user")).toString(), SystemIdentity::userName());
        const QDateTime time = QDateTime::fromString(e.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
        QVERIFY2(time.isValid() && time.secsTo(now) >= 0 && time.secsTo(now) < 600,
                 qPrintable(e.value(QStringLiteral("time")).toString()));
    }

    // Lines for a reader: local time, the board in two digits, one line per slot, reads marked.
    r = tzr({"history", "f.db"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    const QStringList text = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(text.size(), 1 + 3 + 2);
    const QString who = SystemIdentity::userName() + QLatin1Char('@') + SystemIdentity::hostName();
    QVERIFY2(text[0].contains(who + QStringLiteral("  tst_tzr  board 03  receive  done (read)")), qPrintable(text[0]));
    QVERIFY2(text[3].endsWith(QStringLiteral("board 03  send changes  done  slot 3: removed EVA")), qPrintable(text[3]));
    QVERIFY2(text[5].endsWith(QStringLiteral("board 01  send  incomplete  slot 2: written BOB")), qPrintable(text[5]));
    const QString local = QDateTime::fromString(entries[0].value(QStringLiteral("time")).toString(), Qt::ISODateWithMs)
                              .toLocalTime()
                              .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QVERIFY2(text[0].startsWith(local + QStringLiteral("  ")), qPrintable(text[0]));

    // Comma-separated: the title line first, no byte-order mark, one line per entry and slot.
    const Result csv = tzr({"history", "f.db", "--csv"});
    QVERIFY2(csv.status == 0, qPrintable(csv.err));
    const QStringList rows = csv.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 1 + 1 + 3 + 2);
    QVERIFY2(csv.outBytes.startsWith("sequence,time,user,host,program"), csv.outBytes.left(40).constData());

    for (const QString &out : {r.out, csv.out, lines.join(QLatin1Char('\n'))}) {
        for (const char *code : HISTORY_CODES)
            QVERIFY2(!out.contains(QLatin1String(code)), code);
    }
}

void TestTzr::historyFilters_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QList<qint64>>("sequences");
    QTest::addColumn<QStringList>("slotUsers");

    const QStringList all{"ANA", "LUIS", "EVA", "ANA", "BOB"};
    QTest::newRow("everything") << QStringList{} << QList<qint64>{1, 2, 3} << all;
    QTest::newRow("board 3") << QStringList{"--board", "3"} << QList<qint64>{1, 2}
                             << QStringList{"ANA", "LUIS", "EVA"};
    QTest::newRow("board 1") << QStringList{"--board", "1"} << QList<qint64>{3} << QStringList{"ANA", "BOB"};
    QTest::newRow("board 0") << QStringList{"--board", "0"} << QList<qint64>{} << QStringList{};
    QTest::newRow("part of a name in another case")
        << QStringList{"--user", "ui"} << QList<qint64>{2} << QStringList{"LUIS"};
    QTest::newRow("a name on two boards") << QStringList{"--user", "ana"} << QList<qint64>{2, 3}
                                          << QStringList{"ANA", "ANA"};
    QTest::newRow("user and board") << QStringList{"--user", "ana", "--board", "1"} << QList<qint64>{3}
                                    << QStringList{"ANA"};
    QTest::newRow("since a past day") << QStringList{"--since", "2000-01-01"} << QList<qint64>{1, 2, 3} << all;
    QTest::newRow("since tomorrow")
        << QStringList{"--since", QDate::currentDate().addDays(1).toString(Qt::ISODate)} << QList<qint64>{}
        << QStringList{};
    QTest::newRow("since an hour ago, in UTC")
        << QStringList{"--since", QDateTime::currentDateTimeUtc().addSecs(-3600).toString(Qt::ISODate)}
        << QList<qint64>{1, 2, 3} << all;
    QTest::newRow("since in an hour, local")
        << QStringList{"--since", QDateTime::currentDateTime().addSecs(3600).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))}
        << QList<qint64>{} << QStringList{};
}

void TestTzr::historyFilters()
{
    QFETCH(QStringList, options);
    QFETCH(QList<qint64>, sequences);
    QFETCH(QStringList, slotUsers);
    QVERIFY(writeHistory());
    const Result r = tzr(QStringList{"history", "f.db", "--json"} + options);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QStringList users;
    QCOMPARE(sequencesOf(r.out, &users), sequences);
    QCOMPARE(users, slotUsers);
}

void TestTzr::historyRefusesBadValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err");
    QTest::newRow("board off the bus") << QStringList{"history", "f.db", "--board", "32"} << 2
                                       << "--board takes a number from 0 to 31";
    QTest::newRow("a list of boards") << QStringList{"history", "f.db", "--board", "1,3"} << 2
                                      << "taken by send, compare and backup only";
    QTest::newRow("a word for a date") << QStringList{"history", "f.db", "--since", "yesterday"} << 2
                                       << "--since takes a date YYYY-MM-DD or a time";
    QTest::newRow("a day that does not exist") << QStringList{"history", "f.db", "--since", "2026-02-30"} << 2
                                               << "not '2026-02-30'";
    QTest::newRow("no name") << QStringList{"history", "f.db", "--user", " "} << 2
                             << "--user takes a name or part of one";
    QTest::newRow("two formats") << QStringList{"history", "f.db", "--csv", "--json"} << 2
                                 << "--csv and --json exclude each other";
    QTest::newRow("no such file") << QStringList{"history", "nothing.db"} << 4 << "no data file";
    QTest::newRow("no file named") << QStringList{"history"} << 2 << "usage: tzr history FILE";
}

void TestTzr::historyRefusesBadValues()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, err);
    QVERIFY(writeHistory());
    const Result r = tzr(arguments);
    QVERIFY2(r.status == status, qPrintable(QStringLiteral("status %1: %2").arg(r.status).arg(r.err)));
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
}

// The check prints the hash to keep elsewhere; with the listing options it still only checks.
void TestTzr::historyVerifyIntact()
{
    QVERIFY(writeHistory());
    const QList<HistoryEntry> entries = History(DataFileRef{m_dir->path(), QStringLiteral("f.db")}).entries();
    QCOMPARE(entries.size(), 3);
    const QString expected = QStringLiteral("history intact: 3 entries, last hash %1\n").arg(entries.last().hash);
    for (const QStringList &options : {QStringList{}, QStringList{"--board", "1", "--user", "ana"}}) {
        const Result r = tzr(QStringList{"history", "f.db", "--verify"} + options);
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(r.out, expected);
    }
    const Result json = tzr({"history", "f.db", "--verify", "--json"});
    QCOMPARE(json.status, 0);
    const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QCOMPARE(o.value(QStringLiteral("intact")).toBool(false), true);
    QCOMPARE(o.value(QStringLiteral("entries")).toInt(), 3);
    QCOMPARE(o.value(QStringLiteral("lastHash")).toString(), entries.last().hash);
}

void TestTzr::historyVerifyFindsTampering_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("err");
    const auto row = [](qint64 sequence) {
        return QStringLiteral("clase = '%1' AND clave = '%2'").arg(History::Kind, History::keyOf(sequence));
    };
    // One byte replaced, as any SQLite tool could.
    QTest::newRow("a name") << QStringLiteral("UPDATE tzr_anexos SET valor = CAST(replace(CAST(valor AS TEXT), 'LUIS', "
                                              "'LUIZ') AS BLOB) WHERE %1")
                                   .arg(row(2))
                            << "at entry 2: entry 2 was changed after it was written";
    QTest::newRow("the last entry's board")
        << QStringLiteral("UPDATE tzr_anexos SET valor = CAST(replace(CAST(valor AS TEXT), '\"board\":1', "
                          "'\"board\":2') AS BLOB) WHERE %1")
               .arg(row(3))
        << "at entry 3: entry 3 was changed after it was written";
    QTest::newRow("an entry removed") << QStringLiteral("DELETE FROM tzr_anexos WHERE %1").arg(row(2))
                                      << "at entry 2: entry 2 is stored as";
}

void TestTzr::historyVerifyFindsTampering()
{
    QFETCH(QString, sql);
    QFETCH(QString, err);
    QVERIFY(writeHistory());
    sqlite3 *h = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(m_dir->filePath(QStringLiteral("f.db"))).constData(), &h), SQLITE_OK);
    const int rc = sqlite3_exec(h, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    const int touched = sqlite3_changes(h);
    sqlite3_close(h);
    QCOMPARE(rc, SQLITE_OK);
    QCOMPARE(touched, 1);
    const Result r = tzr({"history", "f.db", "--verify"});
    QVERIFY2(r.status == 1, qPrintable(QStringLiteral("status %1: %2").arg(r.status).arg(r.err)));
    QVERIFY2(r.err.contains(QStringLiteral("history of f.db does not hold ") + err), qPrintable(r.err));
    QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
}
