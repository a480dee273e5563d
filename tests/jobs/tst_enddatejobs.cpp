#include "BoardBus.h"
#include "BoardSession.h"
#include "BusSerialPort.h"
#include "CompareJob.h"
#include "Comunicacion_TZR.h"
#include "EndDates.h"
#include "FilaPrueba.h"
#include "FixedTexts.h"
#include "History.h"
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

// Users whose end date has passed are never written, and a send of changes takes them off the
// board, whatever else the board holds; every other user stays in its slot.
class TestEndDateJobs : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        const QString table = QStringLiteral("users%1").arg(++m_files);
        TableFamily::create(m_dir.filePath(table), UsersTable::descripcion());
        m_file = DataFileRef{m_dir.path() + QLatin1Char('/'), table + QStringLiteral(".db")};
        {
            TablaCursor cursor(m_file.directory, m_file.table);
            for (const FilaUsuario &f : {fila("ANA", "0001", "001", "123456"), fila("BOB", "0002", "002", "654321"),
                                         fila("CAT", "0003", "003", "111111")})
                cursor.inserta(f);
        }
        m_bus = std::make_unique<BoardBus>(7);
        m_bus->addBoard(1);
        m_bus->board(1)->seedUsers(6);
        m_port = std::make_unique<BusSerialPort>(*m_bus);
        m_link = std::make_unique<Comunicacion_TZR>();
        m_link->setPuerto(m_port.get());
        m_link->setBoard(1);
        m_link->setTipo_lector(1);
        m_session = std::make_unique<BoardSession>(*m_port, *m_link, m_texts,
                                                   m_dir.filePath(QStringLiteral("TZR_USR%1.ini").arg(m_files)));
        QVERIFY(m_session->openPort(QStringLiteral("COM1")));
    }

    void cleanup()
    {
        m_session.reset();
        m_link.reset();
        m_port.reset();
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
        SendJob send(*m_session, m_file);
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
        SendChangesJob changes(*m_session, m_file);
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
        SendJob send(*m_session, m_file);
        send.setToday(TODAY);
        QVERIFY(send.run(send.prepare(false).records).complete());
        for (const QDate &day : {TODAY, TODAY.addDays(10)}) {
            SendChangesJob changes(*m_session, m_file);
            changes.setToday(day);
            const SendChangesPlan plan = changes.prepare(false);
            QVERIFY(plan.leftOut.isEmpty());
            const SendChangesResult r = changes.run(plan.preparation);
            QVERIFY(r.complete());
            QCOMPARE(r.sent.plan.escribir.size() + r.sent.plan.vaciar.size(), 0);
        }
        const QByteArray before = m_bus->board(1)->memory();
        SendChangesJob later(*m_session, m_file);
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
        SendJob send(*m_session, m_file);
        send.setToday(TODAY);
        QVERIFY(send.run(send.prepare(false).records).complete());
        CompareJob compare(*m_session, m_file);
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
        CompareJob sameDay(*m_session, m_file);
        sameDay.setToday(TODAY);
        QVERIFY(sameDay.run(false).comparison.informe.noDifferences());
    }

    // A receive replaces the rows with the board's: the same user, back from the board, keeps
    // its end.
    void receiveKeepsTheEndOfTheSameUser()
    {
        setEnd("CAT", "111111", TODAY.addDays(30));
        SendJob send(*m_session, m_file);
        QVERIFY(send.run(send.prepare(false).records).complete());
        QVERIFY(ReceiveJob(*m_session, m_file).run().complete());
        TablaCursor cursor(m_file.directory, m_file.table);
        const QList<FilaUsuario> rows = cursor.filasEnOrden(false);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(cursor.expiredAmong(rows, TODAY.addDays(30)), (QList<bool>{false, false, false}));
        QCOMPARE(cursor.expiredAmong(rows, TODAY.addDays(31)), (QList<bool>{false, false, true}));
    }

    // Over a line that loses replies and writes, a send of changes that says it is complete has
    // taken the expired user off the board; one that is not says so, and the file then remembers
    // nothing of the board.
    void faultyLineNeverLeavesAnExpiredUserBehindASuccess_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 6; ++seed)
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
    }
    void faultyLineNeverLeavesAnExpiredUserBehindASuccess()
    {
        QFETCH(quint32, seed);
        setEnd("BOB", "654321", TODAY);
        SendJob send(*m_session, m_file);
        send.setToday(TODAY);
        QVERIFY(send.run(send.prepare(false).records).complete());
        m_bus->setSeed(seed);
        BoardBus::Faults faults;
        faults.dropRate = 0.1;
        faults.lostWriteRate = 0.3;
        faults.noiseRate = 0.05;
        m_bus->setFaults(faults);
        m_link->setIntervalo(std::chrono::milliseconds(20));
        const QByteArray before = m_bus->board(1)->memory();
        SendChangesJob later(*m_session, m_file);
        later.setToday(TODAY.addDays(1));
        const SendChangesResult r = later.run(later.prepare(false).preparation);
        m_bus->setFaults({});
        const bool gone = !m_bus->board(1)->slotInUse(1);
        if (r.complete()) {
            QVERIFY2(gone, "complete, yet BOB's slot is still in use");
        } else if (SyncImageStore(m_file.directory, m_file.table).load(1).has_value()) {
            // Still remembered only when the guard stopped it before any write.
            QVERIFY(r.sent.estado != ResultadoEnvioCambios::Estado::Hecho);
            QCOMPARE(m_bus->board(1)->memory(), before);
        }
        QCOMPARE(History(m_file).entries().last().outcome == QLatin1String("done"), r.complete());
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
    std::unique_ptr<BusSerialPort> m_port;
    std::unique_ptr<Comunicacion_TZR> m_link;
    std::unique_ptr<BoardSession> m_session;
};

QTEST_GUILESS_MAIN(TestEndDateJobs)
#include "tst_enddatejobs.moc"
