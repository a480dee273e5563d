#include "BoardBus.h"
#include "BoardCodes.h"
#include "BoardRun.h"
#include "BoardSession.h"
#include "BusSerialPort.h"
#include "Comunicacion_TZR.h"
#include "CsvText.h"
#include "FilaPrueba.h"
#include "FixedTexts.h"
#include "JobsFixture.h"
#include "ScanJob.h"
#include "SyncImageStore.h"
#include "SystemImage.h"
#include "TablaCursor.h"
#include "TableFamily.h"
#include "TransferReport.h"
#include "UsersTable.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(BoardRunEntry)
Q_DECLARE_METATYPE(BoardOutcome)

namespace {

const QList<int> Boards{1, 3, 17};

// Records the moments of a run and answers its questions as a test sets.
class RunObserver : public BoardRunObserver, public ProgressView
{
public:
    ProgressView *progress() override { return this; }
    void boardStarted(int board, int index, int count) override
    {
        started << board;
        indexes << index;
        m_count = count;
    }
    void boardFinished(const BoardRunEntry &entry) override { finished << entry.board; }
    std::optional<QString> askCode(int board, bool) override
    {
        asked << board;
        return answer;
    }

    void display() override {}
    void dismiss() override {}
    void setMessage(const QString &) override {}
    void setMaximum(int) override {}
    void setPosition(int position) override
    {
        m_position = position;
        if (onPosition)
            onPosition();
    }
    int position() const override { return m_position; }
    void setCounter(const QString &) override {}
    void setUserInHand(const QString &) override {}

    QList<int> started;
    QList<int> indexes;
    QList<int> finished;
    QList<int> asked;
    std::optional<QString> answer;
    std::function<void()> onPosition;
    int count() const { return m_count; }

private:
    int m_position = 0;
    int m_count = 0;
};

QList<BoardOutcome> outcomes(const BoardRunReport &report)
{
    QList<BoardOutcome> list;
    for (const BoardRunEntry &e : report.boards)
        list << e.outcome;
    return list;
}

} // namespace

class TestBoardRun : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_file = JobsFixture::threeUsers(m_dir, ++m_files);
        m_bus = std::make_unique<BoardBus>(7);
        for (int b : Boards) {
            m_bus->addBoard(b);
            m_bus->board(b)->seedUsers(4, b);
            QVERIFY(m_bus->board(b)->setProgrammingCode(QStringLiteral("11111")));
            QVERIFY(m_bus->board(b)->setMasterCode(QStringLiteral("22222")));
        }
        m_line.open(*m_bus, m_texts, m_dir.filePath(QStringLiteral("TZR_USR%1.ini").arg(m_files)));
        QVERIFY(m_line.session->openPort(QStringLiteral("COM20")));
        m_codes = BoardCodes();
        m_codes.setDefault(QStringLiteral("11111"));
        m_observer = std::make_unique<RunObserver>();
    }

    void cleanup()
    {
        m_observer.reset();
        m_line.close();
        m_bus.reset();
    }

    // Boards that let probes pass: one attempt per board drops them, three (as reads are tried)
    // find every board that answers its second or third probe.
    void scanRetriesEachProbe_data()
    {
        QTest::addColumn<int>("attempts");
        QTest::addColumn<QList<int>>("found");
        QTest::newRow("one probe, as the bus scan") << 1 << QList<int>{17};
        QTest::newRow("three probes") << 3 << QList<int>{1, 3, 17};
    }
    void scanRetriesEachProbe()
    {
        QFETCH(int, attempts);
        QFETCH(QList<int>, found);
        m_line.link->setIntervalo(std::chrono::milliseconds(5));
        m_bus->setMissedProbes(1, 1);
        m_bus->setMissedProbes(3, 2);
        ScanJob scan(*m_line.session);
        scan.setAttempts(attempts);
        const ScanResult result = scan.run();
        QVERIFY(result.done());
        QCOMPARE(result.boards, found);
    }

    // Every board of the list gets its row: one known silent is reported not answering without
    // being asked; a port lost during a board's turn is marked on that board alone.
    void everyBoardGetsARow()
    {
        BoardRun run(*m_line.session, BoardRun::Kind::Compare);
        run.setFile(m_file);
        run.setCodes(m_codes);
        run.setNotAnswering({5});
        m_bus->clearLog();
        const BoardRunReport report = run.run({1, 5, 17}, m_observer.get());
        QCOMPARE(outcomes(report),
                 (QList<BoardOutcome>{BoardOutcome::Different, BoardOutcome::NotAnswering, BoardOutcome::Different}));
        for (const BoardBus::Request &request : m_bus->requests())
            QVERIFY(request.board != 5);
        QCOMPARE(m_observer->finished, (QList<int>{1, 5, 17}));

        m_line.port->unplugAfterWrites(2000);
        const BoardRunReport lost = runOn(BoardRun::Kind::Compare, {1, 3, 17});
        QList<bool> portLost;
        for (const BoardRunEntry &e : lost.boards)
            portLost << e.portLost;
        QCOMPARE(outcomes(lost).at(0), BoardOutcome::Failed);
        QCOMPARE(portLost, (QList<bool>{true, false, false}));
        QCOMPARE(outcomes(lost).at(2), BoardOutcome::NotDone);
    }

    // A change sent to every board: the board changed behind the file is refused by its guard
    // and left as it was; the others get the one new user.
    void sendChangesToAll()
    {
        QCOMPARE(outcomes(runOn(BoardRun::Kind::Send, Boards)),
                 (QList<BoardOutcome>{BoardOutcome::Done, BoardOutcome::Done, BoardOutcome::Done}));
        TablaCursor(m_file.directory, m_file.table).inserta(fila("DAN", "0004", "004", "222222"));
        m_bus->board(3)->clearRecord(1);
        const QByteArray board3 = m_bus->board(3)->memory();
        m_bus->clearLog();
        m_observer->indexes.clear();
        const BoardRunReport report = runOn(BoardRun::Kind::SendChanges, Boards);
        QCOMPARE(outcomes(report),
                 (QList<BoardOutcome>{BoardOutcome::Done, BoardOutcome::GuardRefused, BoardOutcome::Done}));
        QCOMPARE(report.boards.at(0).written, 1);
        QCOMPARE(report.boards.at(2).written, 1);
        QCOMPARE(report.boards.at(1).written, 0);
        QCOMPARE(report.boards.at(1).detail, QStringLiteral("2"));
        QCOMPARE(m_bus->board(3)->memory(), board3);
        QCOMPARE(m_bus->board(1)->usersStored(), 4);
        QCOMPARE(m_bus->board(17)->usersStored(), 4);
        QCOMPARE(m_bus->count(BoardBus::CMD_WRITE, 3), 0);
        QCOMPARE(m_observer->indexes, (QList<int>{1, 2, 3}));
        QCOMPARE(m_observer->count(), 3);
        // The link is left addressing the board it addressed before the run.
        QCOMPARE(m_line.link->placaActual(), 1);
    }

    // A board that falls silent during its job is given up; the boards after it are done.
    void silentBoardIsGivenUp()
    {
        m_bus->setSilentAfter(3, m_bus->board(3)->exchanges() + 60);
        const BoardRunReport report = runOn(BoardRun::Kind::Send, Boards);
        QCOMPARE(outcomes(report),
                 (QList<BoardOutcome>{BoardOutcome::Done, BoardOutcome::NotAnswering, BoardOutcome::Done}));
        QCOMPARE(m_bus->board(17)->usersStored(), 3);
        QVERIFY(!report.stopped);
        QVERIFY(!m_line.link->parada());
    }

    // Stop during the second board ends it as a Stop does; the third is never addressed.
    void stopDuringTheSecondBoard()
    {
        BoardRun run(*m_line.session, BoardRun::Kind::Send);
        run.setFile(m_file);
        run.setCodes(m_codes);
        m_observer->onPosition = [&] {
            if (m_observer->started.size() == 2 && m_observer->position() > 2)
                run.requestStop();
        };
        m_bus->clearLog();
        const BoardRunReport report = run.run(Boards, m_observer.get());
        QCOMPARE(outcomes(report),
                 (QList<BoardOutcome>{BoardOutcome::Done, BoardOutcome::Stopped, BoardOutcome::NotDone}));
        QVERIFY(report.stopped);
        QCOMPARE(m_observer->started, (QList<int>{1, 3}));
        QCOMPARE(m_observer->finished, Boards);
        QVERIFY(m_bus->requests(BoardBus::CMD_READ, 17).isEmpty());
        QCOMPARE(m_bus->requests(BoardBus::CMD_WRITE, 17).size(), 0);
        QVERIFY(!m_line.link->parada());
        QVERIFY(m_line.link->Sondea_Placa(17));
    }

    // The default code, a board's own code from the codes, or one given when asked.
    void codesPerBoard_data()
    {
        QTest::addColumn<QString>("codesText");
        QTest::addColumn<bool>("answerWhenAsked");
        QTest::addColumn<QList<int>>("asked");
        QTest::addColumn<BoardOutcome>("board3");
        QTest::newRow("default only, not asked") << "11111" << false << QList<int>{3} << BoardOutcome::CodeRefused;
        // Board 3 compared (it differs from the file) once its code was accepted.
        QTest::newRow("own code in the codes") << "11111\n03=12345" << false << QList<int>{} << BoardOutcome::Different;
        QTest::newRow("own code when asked") << "11111" << true << QList<int>{3} << BoardOutcome::Different;
        QTest::newRow("wrong own code, asked") << "11111\n3=54321" << true << QList<int>{3} << BoardOutcome::Different;
    }
    void codesPerBoard()
    {
        QFETCH(QString, codesText);
        QFETCH(bool, answerWhenAsked);
        QFETCH(QList<int>, asked);
        QFETCH(BoardOutcome, board3);
        QVERIFY(m_bus->board(3)->setProgrammingCode(QStringLiteral("12345")));
        QString error;
        QVERIFY2(BoardCodes::parse(codesText, m_codes, error), qPrintable(error));
        if (answerWhenAsked)
            m_observer->answer = QStringLiteral("12345");
        m_bus->clearLog();
        const BoardRunReport report = runOn(BoardRun::Kind::Compare, Boards);
        QCOMPARE(m_observer->asked, asked);
        QCOMPARE(report.boards.at(1).outcome, board3);
        // The others differ from the file: they hold their own sample users.
        QCOMPARE(report.boards.at(0).outcome, BoardOutcome::Different);
        QCOMPARE(report.boards.at(2).outcome, BoardOutcome::Different);
        QCOMPARE(m_bus->count(BoardBus::CMD_OPEN, 3) > 0, board3 == BoardOutcome::Different);
    }

    // A shared code typed wrong: the code typed for the first board is tried on the others before
    // anyone is asked again.
    void codeTypedForOneBoardIsTriedOnTheNext()
    {
        for (int b : Boards)
            QVERIFY(m_bus->board(b)->setProgrammingCode(QStringLiteral("12345")));
        m_observer->answer = QStringLiteral("12345");
        const BoardRunReport report = runOn(BoardRun::Kind::Compare, Boards);
        QCOMPARE(m_observer->asked, QList<int>{Boards.first()});
        QCOMPARE(outcomes(report), QList<BoardOutcome>(Boards.size(), BoardOutcome::Different));
        QVERIFY(report.compared);
    }

    // One image per board, named with its number and the date, readable by its owner only.
    void imagesOfEveryBoard()
    {
        m_codes.setDefault(QStringLiteral("22222"));
        m_bus->removeBoard(17);
        BoardRun run(*m_line.session, BoardRun::Kind::SaveImage);
        run.setCodes(m_codes);
        run.setImageFolder(m_dir.path(), QDate(2026, 12, 8));
        const BoardRunReport report = run.run(Boards, m_observer.get());
        QCOMPARE(outcomes(report),
                 (QList<BoardOutcome>{BoardOutcome::Done, BoardOutcome::Done, BoardOutcome::NotAnswering}));
        for (int b : {1, 3}) {
            const QString path = m_dir.filePath(QStringLiteral("board-%1-2026-12-08.tzrimg")
                                                    .arg(b, 2, 10, QLatin1Char('0')));
            QCOMPARE(report.boards.at(b == 1 ? 0 : 1).detail, path);
            QCOMPARE(QFile(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
                     QFile::ReadOwner | QFile::WriteOwner);
            QCOMPARE(SystemImage::load(path).usuarios.users(), 4);
        }
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("board-17-2026-12-08.tzrimg"))));
    }

    void csvReport_data()
    {
        QTest::addColumn<BoardRunEntry>("entry");
        QTest::addColumn<QString>("line");
        BoardRunEntry done{1, BoardOutcome::Done, 3, 3, {}, 0, QString(), 1260};
        QTest::newRow("done") << done << "1,done,3,3,,0,1.3,";
        BoardRunEntry failed{3, BoardOutcome::FailedUsers, 1, 3, {"ANA", "BOB"}, 0, QString(), 400};
        QTest::newRow("failed users") << failed << "3,failed-users,1,3,\"ANA; BOB\",0,0.4,";
        BoardRunEntry guard{17, BoardOutcome::GuardRefused, 0, 0, {}, 0, "2 5", 90};
        QTest::newRow("guard") << guard << "17,refused-by-guard,0,0,,0,0.1,2 5";
        BoardRunEntry notDone{4, BoardOutcome::NotDone, 0, 0, {}, 0, QString(), 0};
        QTest::newRow("not done") << notDone << "4,not-done,0,0,,0,0.0,";
        BoardRunEntry comma{5, BoardOutcome::Failed, 0, 0, {}, 0, "no room, disk full", 0};
        QTest::newRow("quoted detail") << comma << "5,failed,0,0,,0,0.0,\"no room, disk full\"";
    }
    void csvReport()
    {
        QFETCH(BoardRunEntry, entry);
        QFETCH(QString, line);
        BoardRunReport report;
        report.boards << entry;
        const QStringList lines = CsvText::decode(report.toCsv()).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.at(0), QStringLiteral("board,outcome,written,total,failed users,differences,seconds,detail"));
        QCOMPARE(lines.at(1), line);
    }

    void parseCodes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("defaultCode");
        QTest::addColumn<QString>("board3");
        QTest::addColumn<QString>("error");
        QTest::newRow("code alone") << "ab123\n" << true << "AB123" << "AB123" << QString();
        QTest::newRow("per board") << "11111\n03=12345\n# note\n\n" << true << "11111" << "12345" << QString();
        QTest::newRow("spaces") << " 3 = 9A9 " << true << QString() << "9A9" << QString();
        QTest::newRow("board off the bus") << "32=11111" << false << QString() << QString()
                                           << "line 1: board 32 is not on the bus (0 to 31)";
        QTest::newRow("too long") << "11111\n4=123456" << false << QString() << QString()
                                  << "line 2: a code has at most 5 characters";
        QTest::newRow("not a number") << "x=11111" << false << QString() << QString()
                                      << "line 1: expected NN=CODE or a code alone";
    }
    void parseCodes()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, defaultCode);
        QFETCH(QString, board3);
        QFETCH(QString, error);
        BoardCodes codes;
        codes.setDefault(QStringLiteral("KEPT"));
        QString why;
        QCOMPARE(BoardCodes::parse(text, codes, why), ok);
        QCOMPARE(why, error);
        if (!ok) {
            QCOMPARE(codes.defaultCode(), QStringLiteral("KEPT"));
            return;
        }
        QCOMPARE(codes.defaultCode(), defaultCode);
        QCOMPARE(codes.codeFor(3), board3);
    }

private:
    BoardRunReport runOn(BoardRun::Kind kind, const QList<int> &boards)
    {
        BoardRun run(*m_line.session, kind);
        run.setFile(m_file);
        run.setCodes(m_codes);
        return run.run(boards, m_observer.get());
    }

    QTemporaryDir m_dir;
    int m_files = 0;
    DataFileRef m_file;
    FixedTexts m_texts;
    BoardCodes m_codes;
    std::unique_ptr<BoardBus> m_bus;
    JobsFixture::Line m_line;
    std::unique_ptr<RunObserver> m_observer;
};

QTEST_GUILESS_MAIN(TestBoardRun)
#include "tst_boardrun.moc"
