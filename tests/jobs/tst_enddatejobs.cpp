#include "BoardBus.h"
#include "BoardCodes.h"
#include "BoardRun.h"
#include "BoardSession.h"
#include "BusSerialPort.h"
#include "CompareJob.h"
#include "Comunicacion_TZR.h"
#include "EndDates.h"
#include "FilaPrueba.h"
#include "FixedTexts.h"
#include "History.h"
#include "JobsFixture.h"
#include "ReceiveJob.h"
#include "SendChangesJob.h"
#include "SendJob.h"
#include "SyncImageStore.h"
#include "TablaCursor.h"
#include "TableCursor.h"
#include "TableFamily.h"
#include "UsersTable.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

const QDate TODAY(2026, 12, 10);

} // namespace

Q_DECLARE_METATYPE(BoardBus::Faults)

// Users whose end date has passed are never written, and a send of changes takes them off the
// board, whatever else the board holds; every other user stays in its slot.
class TestEndDateJobs : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_file = JobsFixture::threeUsers(m_dir, ++m_files);
        m_bus = std::make_unique<BoardBus>(7);
        m_bus->addBoard(1);
        m_bus->board(1)->seedUsers(6);
        m_line.open(*m_bus, m_texts, m_dir.filePath(QStringLiteral("TZR_USR%1.ini").arg(m_files)));
        m_line.link->setTipo_lector(1);
        QVERIFY(m_line.session->openPort(QStringLiteral("COM1")));
    }

    void cleanup()
    {
        m_line.close();
        m_bus.reset();
    }

    void fullSendLeavesExpiredUsersOut_data()
    {
        QTest::addColumn<QDate>("bobUntil");
        QTest::addColumn<bool>("bobWritten");
        QTest::newRow("no end") << QDate() << true;
        QTest::newRow("ends today") << TODAY << true;
        QTest::newRow("ended yesterday") << TODAY.addDays(-1) << false;
        QTest::newRow("ended long ago") << QDate(2001, 1, 1) << false;
    }
    void fullSendLeavesExpiredUsersOut()
    {
        QFETCH(QDate, bobUntil);
        QFETCH(bool, bobWritten);
        setEnd("BOB", "654321", bobUntil);
        SendJob send(*m_line.session, m_file);
        send.setToday(TODAY);
        const SendPlan plan = send.prepare(false);
        QCOMPARE(plan.leftOut, bobWritten ? QStringList{} : QStringList{QStringLiteral("BOB")});
        const SendResult result = send.run(plan.records);
        QVERIFY(result.complete());
        QCOMPARE(result.total, bobWritten ? 3 : 2);
        // Nobody moves: CAT keeps slot 3 with BOB's slot empty between.
        QCOMPARE(boardNames(), (QStringList{"ANA", bobWritten ? "BOB" : "", "CAT", "", "", ""}));
        const HistoryEntry entry = History(m_file).entries().last();
        QCOMPARE(entry.users, bobWritten ? 3 : 2);
        QStringList written;
        for (const HistoryChange &c : entry.changes)
            written << c.user;
        QCOMPARE(written, bobWritten ? QStringList({"ANA", "BOB", "CAT"}) : QStringList({"ANA", "CAT"}));
        // What is remembered is what the board holds: a send of changes the same day has nothing to do.
        SendChangesJob changes(*m_line.session, m_file);
        changes.setToday(TODAY);
        const SendChangesResult again = changes.run(changes.prepare(false).preparation);
        QVERIFY(again.complete());
        QVERIFY(again.sent.plan.escribir.isEmpty());
        QVERIFY(again.sent.plan.vaciar.isEmpty());
    }

    // The day after a user's last day, a send of changes empties that slot and touches no other.
    void sendOfChangesEmptiesTheSlotOnceTheDatePasses()
    {
        setEnd("BOB", "654321", TODAY.addDays(10));
        SendJob send(*m_line.session, m_file);
        send.setToday(TODAY);
        QVERIFY(send.run(send.prepare(false).records).complete());
        for (const QDate &day : {TODAY, TODAY.addDays(10)}) {
            SendChangesJob changes(*m_line.session, m_file);
            changes.setToday(day);
            const SendChangesPlan plan = changes.prepare(false);
            QVERIFY(plan.leftOut.isEmpty());
            const SendChangesResult r = changes.run(plan.preparation);
            QVERIFY(r.complete());
            QCOMPARE(r.sent.plan.escribir.size() + r.sent.plan.vaciar.size(), 0);
        }
        const QByteArray before = m_bus->board(1)->memory();
        SendChangesJob later(*m_line.session, m_file);
        later.setToday(TODAY.addDays(200));
        const SendChangesPlan plan = later.prepare(false);
        QCOMPARE(plan.leftOut, QStringList{QStringLiteral("BOB")});
        const SendChangesResult r = later.run(plan.preparation);
        QVERIFY(r.complete());
        QVERIFY(r.sent.plan.escribir.isEmpty());
        QCOMPARE(r.sent.plan.vaciar, QList<int>{1});
        QCOMPARE(boardNames(), (QStringList{"ANA", "", "CAT", "", "", ""}));
        // Only byte 20 of BOB's slot changed.
        const QByteArray after = m_bus->board(1)->memory();
        int changed = 0;
        for (int i = 0; i < after.size(); ++i)
            changed += after[i] != before[i] ? 1 : 0;
        QCOMPARE(changed, 1);
        const HistoryEntry entry = History(m_file).entries().last();
        QCOMPARE(entry.changes, (QList<HistoryChange>{{2, HistoryChange::Kind::Expired, "BOB", {}, {}}}));
        QCOMPARE(entry.users, 2);
        QVERIFY(History(m_file).verify().intact);
    }

    void compareNamesExpiredUsersStillOnTheBoard()
    {
        setEnd("BOB", "654321", TODAY);
        SendJob send(*m_line.session, m_file);
        send.setToday(TODAY);
        QVERIFY(send.run(send.prepare(false).records).complete());
        CompareJob compare(*m_line.session, m_file);
        compare.setToday(TODAY.addDays(1));
        const CompareResult r = compare.run(false);
        QVERIFY(r.done());
        const CompareReport &report = r.comparison.informe;
        QCOMPARE(report.expiredOnBoard, 1);
        QCOMPARE(report.entries.size(), 1);
        QCOMPARE(report.entries[0].kind, CompareEntry::Kind::ExpiredOnBoard);
        QCOMPARE(report.entries[0].slot, 1);
        QCOMPARE(report.entries[0].boardName, QStringLiteral("BOB"));
        QCOMPARE(report.fileUsers, 2);
        QVERIFY(!r.comparison.imagenGuardada);
        QVERIFY(report.toCsv().contains("2,expired_on_board,BOB,BOB"));
        // The same day, the board is in line.
        CompareJob sameDay(*m_line.session, m_file);
        sameDay.setToday(TODAY);
        QVERIFY(sameDay.run(false).comparison.informe.noDifferences());
    }

    // A receive replaces the rows with the board's: the same user, back from the board, keeps
    // its end.
    void receiveKeepsTheEndOfTheSameUser()
    {
        setEnd("CAT", "111111", TODAY.addDays(30));
        SendJob send(*m_line.session, m_file);
        QVERIFY(send.run(send.prepare(false).records).complete());
        QVERIFY(ReceiveJob(*m_line.session, m_file).run().complete());
        TablaCursor cursor(m_file.directory, m_file.table);
        const QList<FilaUsuario> rows = cursor.filasEnOrden(false);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(cursor.expiredAmong(rows, TODAY.addDays(30)), (QList<bool>{false, false, false}));
        QCOMPARE(cursor.expiredAmong(rows, TODAY.addDays(31)), (QList<bool>{false, false, true}));
    }

    // Over a faulty line, by the job itself or as a sync runs it (through the several-boards run,
    // which first finds the board and checks its code): a success has the expired user off the
    // board, and the history says done exactly then; a failure either wrote nothing or left the
    // board no longer remembered.
    void faultyLineNeverLeavesAnExpiredUserBehindASuccess_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<BoardBus::Faults>("faults");
        QTest::addColumn<bool>("asSync");
        using namespace std::chrono_literals;
        BoardBus::Faults late;
        late.lateRate = 0.05;
        late.replyTime = 20ms;
        BoardBus::Faults doubled;
        doubled.duplicateRate = 0.05;
        BoardBus::Faults lost;
        lost.lostWriteRate = 0.3;
        BoardBus::Faults probe;
        probe.missedProbes = 1;
        BoardBus::Faults noisy;
        noisy.dropRate = 0.1;
        noisy.noiseRate = 0.05;
        noisy.cutRate = 0.05;
        BoardBus::Faults all = late;
        all.duplicateRate = 0.1;
        all.lostWriteRate = 0.2;
        all.missedProbeRate = 0.3;
        all.dropRate = 0.05;
        const std::tuple<const char *, BoardBus::Faults, bool> mixes[] = {
            {"late replies", late, false},   {"duplicate replies", doubled, false}, {"lost writes", lost, false},
            {"lost writes, sync", lost, true}, {"missed probe, sync", probe, true}, {"drops, noise, cuts", noisy, false},
            {"all", all, false},             {"all, sync", all, true}};
        for (const auto &[name, faults, asSync] : mixes) {
            for (quint32 seed : {1u, 2u})
                QTest::newRow(qPrintable(QStringLiteral("%1, seed %2").arg(QLatin1String(name)).arg(seed)))
                    << seed << faults << asSync;
        }
    }
    void faultyLineNeverLeavesAnExpiredUserBehindASuccess()
    {
        QFETCH(quint32, seed);
        QFETCH(BoardBus::Faults, faults);
        QFETCH(bool, asSync);
        // A sync takes the PC's date: BOB's last day was yesterday, when the full send wrote him.
        const QDate yesterday = QDate::currentDate().addDays(-1);
        setEnd("BOB", "654321", yesterday);
        SendJob send(*m_line.session, m_file);
        send.setToday(yesterday);
        QVERIFY(send.run(send.prepare(false).records).complete());
        QVERIFY(m_bus->board(1)->slotInUse(1));
        const QByteArray before = m_bus->board(1)->memory();
        const qsizetype entriesBefore = History(m_file).entries().size();
        m_bus->setSeed(seed);
        m_bus->setFaults(faults);
        m_line.link->setIntervalo(std::chrono::milliseconds(20));
        bool success = false;
        if (asSync) {
            QVERIFY(m_bus->board(1)->setProgrammingCode(QStringLiteral("11111")));
            BoardCodes codes;
            codes.setDefault(QStringLiteral("11111"));
            BoardRun run(*m_line.session, BoardRun::Kind::SendChanges);
            run.setFile(m_file);
            run.setCodes(codes);
            const BoardRunReport report = run.run({1}, nullptr);
            QCOMPARE(report.boards.size(), 1);
            success = report.boards.first().outcome == BoardOutcome::Done;
            if (success)
                QCOMPARE(report.boards.first().leftOut, QStringList{QStringLiteral("BOB")});
        } else {
            SendChangesJob later(*m_line.session, m_file);
            success = later.run(later.prepare(false).preparation).complete();
        }
        m_bus->setFaults({});
        if (success)
            QVERIFY2(!m_bus->board(1)->slotInUse(1), "done, yet BOB's slot is still in use");
        else if (SyncImageStore(m_file.directory, m_file.table).load(1).has_value())
            QCOMPARE(m_bus->board(1)->memory().mid(Board::RECORD_START), before.mid(Board::RECORD_START));
        const QList<HistoryEntry> entries = History(m_file).entries();
        // A board never reached has no entry of its own.
        if (entries.size() > entriesBefore)
            QCOMPARE(entries.last().outcome == QLatin1String("done"), success);
        QVERIFY(History(m_file).verify().intact);
    }

private:
    void setEnd(const char *name, const char *code, const QDate &until)
    {
        TableStore store;
        store.open(m_file.directory + m_file.table);
        EndDates::set(store, QString::fromLatin1(name), QString::fromLatin1(code), until);
    }

    QStringList boardNames() const
    {
        QStringList names;
        const Board &board = *m_bus->board(1);
        for (int slot = 0; slot < 6; ++slot)
            names << (board.slotInUse(slot) ? QString::fromLatin1(board.record(slot).left(16)).trimmed() : QString());
        return names;
    }

    QTemporaryDir m_dir;
    int m_files = 0;
    DataFileRef m_file;
    FixedTexts m_texts;
    std::unique_ptr<BoardBus> m_bus;
    JobsFixture::Line m_line;
};

QTEST_GUILESS_MAIN(TestEndDateJobs)
#include "tst_enddatejobs.moc"
