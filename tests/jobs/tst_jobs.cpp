#include "BoardBus.h"
#include "BoardMemory.h"
#include "BoardSession.h"
#include "BusSerialPort.h"
#include "CompareJob.h"
#include "Comunicacion_TZR_p.h"
#include "FilaPrueba.h"
#include "FixedTexts.h"
#include "History.h"
#include "ImageJobs.h"
#include "JobObserver.h"
#include "JobsFixture.h"
#include "LineSettings.h"
#include "ReceiveJob.h"
#include "ScanJob.h"
#include "SendChangesJob.h"
#include "SendJob.h"
#include "SilenceWatch.h"
#include "SystemIdentity.h"
#include "SyncImageStore.h"
#include "TestJob.h"
#include "TablaCursor.h"
#include "TableFamily.h"
#include "TransferReport.h"
#include "UsersTable.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

enum class Job
{
    Receive,
    Send,
    Compare,
    SendChanges,
    SaveImage,
    RestoreImage,
    Scan,
};

// Records what a job showed, and acts at the moments a test picks.
class TestObserver : public JobObserver, public ProgressView, public MessageView
{
public:
    ProgressView *progress() override { return this; }
    MessageView *messages() override { return this; }
    void workDone() override
    {
        if (onWorkDone)
            onWorkDone();
    }

    void display() override {}
    void dismiss() override {}
    void setMessage(const QString &) override {}
    void setMaximum(int) override {}
    void setPosition(int position) override
    {
        m_position = position;
        if (onPosition)
            onPosition(position);
    }
    int position() const override { return m_position; }
    void setCounter(const QString &) override {}
    void setUserInHand(const QString &) override {}
    void setNotAnswering(bool on) override
    {
        if (on) {
            silentAfterMs = clock.elapsed();
            if (onSilence)
                onSilence();
        }
    }
    void showTwoLines(const QString &, const QString &) override {}

    std::function<void()> onWorkDone;
    std::function<void()> onSilence;
    std::function<void(int)> onPosition;
    QElapsedTimer clock;
    qint64 silentAfterMs = -1;

private:
    int m_position = 0;
};

} // namespace

class TestJobs : public QObject
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
        m_ini = m_dir.filePath(QStringLiteral("TZR_USR%1.ini").arg(m_files));
        m_line.open(*m_bus, m_texts, m_ini);
        m_line.link->setTipo_lector(1);
        m_line.session->setObserver(&m_observer);
        m_observer.onWorkDone = nullptr;
        m_observer.onSilence = nullptr;
        m_observer.silentAfterMs = -1;
        m_observer.clock.start();
    }

    void cleanup()
    {
        m_line.close();
        m_bus.reset();
    }

    // The board test hands each board over as data, with the line the window lists for it; a
    // stop leaves the rest of the numbers unasked.
    void testJobGivesTheBoardsAsData_data()
    {
        QTest::addColumn<int>("stopAt");
        QTest::addColumn<QList<int>>("boards");
        QTest::addColumn<QList<int>>("lengths");
        QTest::addColumn<QList<int>>("readers");
        QTest::newRow("whole bus") << -1 << QList<int>{1, 4, 30} << QList<int>{6, 5, 4} << QList<int>{1, 2, 0};
        QTest::newRow("stopped at 4") << 4 << QList<int>{1, 4} << QList<int>{6, 5} << QList<int>{1, 2};
    }
    void testJobGivesTheBoardsAsData()
    {
        QFETCH(int, stopAt);
        QFETCH(QList<int>, boards);
        QFETCH(QList<int>, lengths);
        QFETCH(QList<int>, readers);
        m_bus->addBoard(4);
        m_bus->addBoard(30);
        m_bus->board(4)->setByte(Board::ADDR_KEYPAD_LENGTH, 5);
        m_bus->board(4)->setByte(Board::ADDR_READER, 1);
        m_bus->board(30)->setByte(Board::ADDR_KEYPAD_LENGTH, 4);
        m_bus->board(30)->setByte(Board::ADDR_READER, 2);
        QVERIFY(m_line.session->openPort(QStringLiteral("COM1")));

        int probing = -1;
        QStringList lines;
        TestJob::Observer observer;
        observer.probing = [&](int n) { probing = n; };
        observer.stopRequested = [&] { return stopAt >= 0 && probing >= stopAt; };
        observer.found = [&](const BoardFound &board, const QString &line) {
            QCOMPARE(board.board, probing);
            lines << line;
        };
        const QList<BoardFound> found = TestJob(*m_line.session).run(observer);

        QCOMPARE(found.size(), boards.size());
        QCOMPARE(lines.size(), boards.size());
        for (int i = 0; i < found.size(); ++i) {
            QCOMPARE(found[i].board, boards[i]);
            QCOMPARE(found[i].codeLength, lengths[i]);
            QCOMPARE(found[i].reader, readers[i]);
            QVERIFY2(lines[i].startsWith(QStringLiteral("Panel : %1 ").arg(boards[i])), qPrintable(lines[i]));
            QVERIFY2(lines[i].endsWith(TestJob::readerName(readers[i])), qPrintable(lines[i]));
        }
        QCOMPARE(m_bus->count(BoardBus::CMD_PRESENCE), stopAt < 0 ? 32 : stopAt + 1);
    }

    // The port goes away mid-job: the job ends at the next exchange as PortLost, a read leaves
    // the file as it was, a write forgets the board's image and says how far it got.
    void lostPortEndsTheJob_data()
    {
        QTest::addColumn<Job>("job");
        QTest::addColumn<int>("bytes");
        QTest::newRow("receive") << Job::Receive << 900;
        QTest::newRow("send") << Job::Send << 900;
        QTest::newRow("compare") << Job::Compare << 900;
        QTest::newRow("send of changes") << Job::SendChanges << 900;
        QTest::newRow("save image") << Job::SaveImage << 900;
        QTest::newRow("restore image") << Job::RestoreImage << 900;
        QTest::newRow("scan") << Job::Scan << 60;
    }
    void lostPortEndsTheJob()
    {
        QFETCH(Job, job);
        QFETCH(int, bytes);
        QVERIFY(m_line.session->openPort(QStringLiteral("COM1")));
        QVERIFY(prepare(job));
        const QList<FilaUsuario> before = rows();
        const bool remembered = SyncImageStore(m_file.directory, m_file.table).load(1).has_value();
        m_line.port->unplugAfterWrites(bytes);
        const int exchanges = Comunicacion_TZRPrivate(*m_line.link).intercambios();
        const JobStatus status = run(job);
        QCOMPARE(status.end, JobEnd::PortLost);
        QVERIFY(m_line.port->isLost());
        // Ended at once, not after timing out every remaining exchange.
        QVERIFY(Comunicacion_TZRPrivate(*m_line.link).intercambios() - exchanges < 400);
        QVERIFY(!m_line.link->ocupado());
        QVERIFY(!m_line.link->parada());
        QCOMPARE(rows(), before);
        if (job == Job::Send) {
            QVERIFY(m_send.sent.usuarios < m_send.total);
            QCOMPARE(m_send.sent.interrupcion, Interrupcion::PuertoPerdido);
        }
        if (job == Job::Send || job == Job::SendChanges) {
            QVERIFY(remembered);
            QVERIFY(!SyncImageStore(m_file.directory, m_file.table).load(1));
        }
        // A compare that did not finish leaves the file's image of the board as it was.
        if (job == Job::Compare) {
            QVERIFY(remembered);
            const std::optional<SyncImage> image = SyncImageStore(m_file.directory, m_file.table).load(1);
            QVERIFY(image);
            QCOMPARE(image->area, UserArea());
        }
    }

    // A full send asked to verify reads the codes back: a code byte acknowledged but not kept is
    // written once more, and named when it still differs; the board is then not remembered.
    void fullSendVerifies_data()
    {
        QTest::addColumn<bool>("verify");
        QTest::addColumn<int>("times");
        QTest::addColumn<bool>("complete");
        QTest::newRow("no verify, lost write unseen") << false << -1 << true;
        QTest::newRow("verify, lost once") << true << 1 << true;
        QTest::newRow("verify, never kept") << true << -1 << false;
    }
    void fullSendVerifies()
    {
        QFETCH(bool, verify);
        QFETCH(int, times);
        QFETCH(bool, complete);
        QVERIFY(m_line.session->openPort(QStringLiteral("COM1")));
        BoardBus::Faults faults;
        faults.lostWriteAddresses = {direccionSlot(1) + OFS_CODIGO + 1};
        faults.lostWriteTimes = times;
        m_bus->setFaults(faults);
        SendJob send(*m_line.session, m_file);
        send.setVerify(verify);
        const SendResult result = send.run(send.prepare(false).records);
        QVERIFY(result.done());
        QVERIFY(result.sent.completo());
        QCOMPARE(result.complete(), complete);
        QCOMPARE(SyncImageStore(m_file.directory, m_file.table).load(1).has_value(), complete);
        if (!complete) {
            QCOMPARE(result.codesDiffer, QList<int>{1});
            QCOMPARE(result.failedNames(), QStringList{QStringLiteral("BOB")});
        }
    }

    // A restore forgets what the open file remembers of the board under its old and its new
    // number, once anything may have been written; other boards' images stay. A restore ended by
    // Stop says how many slots it wrote and that the parameters were not.
    void restoreForgetsTheBoard_data()
    {
        QTest::addColumn<int>("newNumber");
        QTest::addColumn<bool>("answers");
        QTest::addColumn<QList<int>>("kept");
        QTest::newRow("same number") << 1 << true << QList<int>{3, 4};
        QTest::newRow("renumbers") << 4 << true << QList<int>{3};
        QTest::newRow("transfer not opened") << 4 << false << QList<int>{1, 3, 4};
    }
    void restoreForgetsTheBoard()
    {
        QFETCH(int, newNumber);
        QFETCH(bool, answers);
        QFETCH(QList<int>, kept);
        QVERIFY(m_line.session->openPort(QStringLiteral("COM1")));
        SystemImage image;
        QVERIFY(ImageJobs(*m_line.session).save(image, m_dir.filePath(QStringLiteral("r.tzrimg"))).complete());
        image.parametros[0] = newNumber;
        const UserArea area;
        for (int board : {1, 3, 4})
            QVERIFY(BoardMemory::remember(m_file, board, &area).isEmpty());
        if (!answers)
            m_bus->setSilentAfter(1, m_bus->board(1)->exchanges());
        const ImageResult result = ImageJobs(*m_line.session).restore(image, m_file, 1);
        QCOMPARE(result.image.sinRespuesta, !answers);
        QCOMPARE(result.parametersWritten(), answers);
        const SyncImageStore store(m_file.directory, m_file.table);
        for (int board : {1, 3, 4})
            QVERIFY2(store.load(board).has_value() == kept.contains(board), qPrintable(QString::number(board)));
    }

    void stoppedRestoreSaysWhatWasWritten()
    {
        QVERIFY(m_line.session->openPort(QStringLiteral("COM1")));
        SystemImage image;
        QVERIFY(ImageJobs(*m_line.session).save(image, m_dir.filePath(QStringLiteral("s.tzrimg"))).complete());
        const UserArea area;
        QVERIFY(BoardMemory::remember(m_file, 1, &area).isEmpty());
        m_observer.onWorkDone = nullptr;
        // Stopped after some of the slots have gone.
        int positions = 0;
        m_observer.onPosition = [&](int) {
            if (++positions == 10)
                m_line.session->requestStop();
        };
        const ImageResult result = ImageJobs(*m_line.session).restore(image, m_file, 1);
        m_observer.onPosition = nullptr;
        QCOMPARE(result.end, JobEnd::Stopped);
        QVERIFY2(result.image.slotsEscritos >= 8 && result.image.slotsEscritos < MAX_USUARIOS,
                 qPrintable(QString::number(result.image.slotsEscritos)));
        QVERIFY(!result.parametersTouched());
        QVERIFY(!SyncImageStore(m_file.directory, m_file.table).load(1).has_value());
    }

    // A board that stops answering: after 2 s the observer hears it, its Stop ends the job at
    // the next exchange, and the next operation runs normally.
    void silenceThenStop_data()
    {
        QTest::addColumn<Job>("job");
        QTest::newRow("receive") << Job::Receive;
        QTest::newRow("send") << Job::Send;
        QTest::newRow("compare") << Job::Compare;
        QTest::newRow("send of changes") << Job::SendChanges;
        QTest::newRow("save image") << Job::SaveImage;
        QTest::newRow("restore image") << Job::RestoreImage;
    }
    void silenceThenStop()
    {
        QFETCH(Job, job);
        QVERIFY(m_line.session->openPort(QStringLiteral("COM1")));
        QVERIFY(prepare(job));
        const QList<FilaUsuario> before = rows();
        m_bus->setSilentAfter(1, m_bus->board(1)->exchanges() + 40);
        m_observer.onSilence = [this] { m_line.session->requestStop(); };
        m_observer.clock.restart();
        const JobStatus status = run(job);
        QCOMPARE(status.end, JobEnd::Stopped);
        // The watch's timer may fire up to 5 % early.
        QVERIFY2(m_observer.silentAfterMs >= SilenceWatch::SilenceLimit.count() * 9 / 10,
                 qPrintable(QString::number(m_observer.silentAfterMs)));
        QVERIFY(!m_line.link->parada());
        if (job == Job::Receive || job == Job::Compare)
            QCOMPARE(rows(), before);
        m_bus->setSilentAfter(1, -1);
        QVERIFY(m_line.link->Sondea_Placa(1));
    }

    // Stop pressed while the last exchange is under way has nothing left to stop; it must not
    // fail the next operation, and the transfer is still closed.
    void stopInTheLastExchangeIsCleared_data()
    {
        QTest::addColumn<Job>("job");
        QTest::newRow("receive") << Job::Receive;
        QTest::newRow("send") << Job::Send;
        QTest::newRow("compare") << Job::Compare;
        QTest::newRow("send of changes") << Job::SendChanges;
        QTest::newRow("save image") << Job::SaveImage;
        QTest::newRow("restore image") << Job::RestoreImage;
    }
    void stopInTheLastExchangeIsCleared()
    {
        QFETCH(Job, job);
        QVERIFY(m_line.session->openPort(QStringLiteral("COM1")));
        QVERIFY(prepare(job));
        m_observer.onWorkDone = [this] { m_line.session->requestStop(); };
        const int closes = m_bus->count(BoardBus::CMD_CLOSE, 1);
        const JobStatus status = run(job);
        QCOMPARE(status.end, JobEnd::Done);
        QVERIFY(m_bus->count(BoardBus::CMD_CLOSE, 1) > closes);
        QVERIFY(!m_line.link->parada());
        QVERIFY(m_line.link->Sondea_Placa(1));
    }

    // On a line that echoes, with the port's setting on, every job gets what a clean line gives.
    void echoingLineWithTheSettingOn_data()
    {
        QTest::addColumn<Job>("job");
        QTest::newRow("receive") << Job::Receive;
        QTest::newRow("send") << Job::Send;
        QTest::newRow("compare") << Job::Compare;
        QTest::newRow("send of changes") << Job::SendChanges;
        QTest::newRow("save image") << Job::SaveImage;
        QTest::newRow("restore image") << Job::RestoreImage;
        QTest::newRow("scan") << Job::Scan;
    }
    void echoingLineWithTheSettingOn()
    {
        QFETCH(Job, job);
        LineSettings(m_ini).setEchoes(QStringLiteral("COM1"), true);
        m_line.port->setEchoWrites(true);
        QVERIFY(m_line.session->openPort(QStringLiteral("COM1")));
        QVERIFY(m_line.port->lineEchoes());
        QVERIFY(prepare(job));
        const JobStatus status = run(job);
        QCOMPARE(status.end, JobEnd::Done);
        switch (job) {
        case Job::Receive:
            QVERIFY(m_receive.complete());
            QCOMPARE(m_receive.users, 6);
            break;
        case Job::Send:
            QVERIFY(m_send.complete());
            break;
        case Job::Compare:
            QCOMPARE(m_compare.comparison.estado, ResultadoComparacion::Estado::Hecha);
            break;
        case Job::SendChanges:
            QVERIFY(m_changes.complete());
            break;
        case Job::SaveImage:
        case Job::RestoreImage:
            QVERIFY(m_image.complete());
            break;
        case Job::Scan:
            // Without the setting every probe's echo would look like a board.
            QCOMPARE(m_scan.boards, QList<int>{1});
            break;
        }
    }

    // The code check, the first reads of every job on a board, finds the echo: handling goes
    // on, the setting is saved for the port and the front end is told once.
    void echoIsDetectedAndRemembered()
    {
        m_line.port->setEchoWrites(true);
        QVERIFY(m_line.session->openPort(QStringLiteral("COM1")));
        QVERIFY(!m_line.port->lineEchoes());
        QSignalSpy detected(m_line.session.get(), &BoardSession::echoDetected);
        QCOMPARE(m_line.session->checkCode(QLatin1Char('P'), QStringLiteral("99999")), CodeCheck::Refused);
        QCOMPARE(run(Job::Receive).end, JobEnd::Done);
        QVERIFY(m_receive.complete());
        QCOMPARE(detected.size(), 1);
        QVERIFY(LineSettings(m_ini).echoes(QStringLiteral("COM1")));
        // A new session on the same port takes the setting.
        BoardSession again(*m_line.port, *m_line.link, m_texts, m_ini);
        m_line.port->setLineEchoes(false);
        again.applyEchoSetting();
        QVERIFY(m_line.port->lineEchoes());
    }

    // Why a port would not open, in the two lines both front ends show.
    void openFailureSaysWhy_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("line1");
        QTest::addColumn<QString>("inLine2");
        QTest::newRow("permission") << int(PortOpenFailure::Kind::Permission)
                                    << "No permission to open /dev/ttyUSB0." << "usermod -aG dialout";
        QTest::newRow("busy") << int(PortOpenFailure::Kind::Busy) << "/dev/ttyUSB0 is in use by another program."
                              << "Close minicom";
        QTest::newRow("gone") << int(PortOpenFailure::Kind::Gone) << "/dev/ttyUSB0 is no longer present."
                              << "Plug the adapter in again";
        QTest::newRow("other") << int(PortOpenFailure::Kind::Other) << QString() << QString();
    }
    void openFailureSaysWhy()
    {
        QFETCH(int, kind);
        QFETCH(QString, line1);
        QFETCH(QString, inLine2);
        m_line.port->setOpenFailure(QStringLiteral("refused"));
        m_line.port->setOpenFailureKind(PortOpenFailure{static_cast<PortOpenFailure::Kind>(kind),
                                                   QStringLiteral("/dev/ttyUSB0"), QStringLiteral("dialout"),
                                                   QStringLiteral("minicom")});
        QVERIFY(!m_line.session->openPort(QStringLiteral("COM1")));
        const OpenFailureText text = m_line.session->openFailureText();
        QCOMPARE(text.known(), !line1.isEmpty());
        QCOMPARE(text.line1, line1);
        if (!inLine2.isEmpty())
            QVERIFY2(text.line2.contains(inLine2), qPrintable(text.line2));
    }

    // What the jobs leave in the data file's history: the board, the users by name, who ran it;
    // a send of changes that changed two codes names both users and neither code.
    void historyNamesUsersNeverCodes()
    {
        QVERIFY(m_line.session->openPort(QStringLiteral("COM1")));
        SendJob send(*m_line.session, m_file);
        QVERIFY(send.run(send.prepare(false).records).complete());
        {
            TablaCursor cursor(m_file.directory, m_file.table);
            cursor.Vacia_Tabla();
            for (const FilaUsuario &f : {fila("ANA", "0001", "001", "987654"), fila("BOB", "0002", "002", "654321"),
                                         fila("CAT", "0003", "003", "555555")})
                cursor.inserta(f);
        }
        SendChangesJob changes(*m_line.session, m_file);
        const SendChangesPlan plan = changes.prepare(false);
        QVERIFY(plan.done());
        QVERIFY(changes.run(plan.preparation).complete());
        QVERIFY(ReceiveJob(*m_line.session, m_file).run().complete());

        const QList<HistoryEntry> entries = History(m_file).entries();
        QStringList jobs;
        for (const HistoryEntry &e : entries)
            jobs << e.job + QLatin1Char(':') + e.outcome;
        QCOMPARE(jobs, (QStringList{"send:done", "send-changes:done", "receive:done"}));
        // The file knew nothing of the board before the full send.
        QCOMPARE(entries[0].changes.size(), 3);
        for (const HistoryChange &c : entries[0].changes)
            QCOMPARE(c.kind, HistoryChange::Kind::Written);
        const HistoryEntry &sent = entries[1];
        QCOMPARE(sent.board, 1);
        QCOMPARE(sent.user, SystemIdentity::userName());
        QVERIFY(!sent.host.isEmpty());
        QVERIFY(qAbs(sent.time.secsTo(QDateTime::currentDateTimeUtc())) < 60);
        const QStringList code{QStringLiteral("CODIGO")};
        QCOMPARE(sent.changes, (QList<HistoryChange>{{1, HistoryChange::Kind::CodeChanged, "ANA", {}, code},
                                                     {3, HistoryChange::Kind::CodeChanged, "CAT", {}, code}}));
        QCOMPARE(sent.users, 3);
        for (const HistoryEntry &e : entries) {
            const QByteArray json = QJsonDocument(e.toJson()).toJson(QJsonDocument::Compact);
            for (const char *secret : {"987654", "555555", "123456", "111111", "654321"})
                QVERIFY2(!json.contains(secret), secret);
        }
        QVERIFY(entries[2].read);
        QCOMPARE(entries[2].users, 3);
        QVERIFY(History(m_file).verify().intact);
    }

private:
    QList<FilaUsuario> rows()
    {
        TablaCursor cursor(m_file.directory, m_file.table);
        return cursor.filasEnOrden(false);
    }

    // What a job needs before it runs: a remembered image for a send of changes (and a change
    // to send), an image file for a restore.
    [[nodiscard]] bool prepare(Job job)
    {
        if (job == Job::SendChanges) {
            if (!SendJob(*m_line.session, m_file).run(SendJob(*m_line.session, m_file).prepare(false).records).complete())
                return false;
            TablaCursor(m_file.directory, m_file.table).inserta(fila("DAN", "0004", "004", "222222"));
        }
        if (job == Job::RestoreImage) {
            m_imagePath = m_dir.filePath(QStringLiteral("board%1.tzrimg").arg(m_files));
            SystemImage image;
            if (!ImageJobs(*m_line.session).save(image, m_imagePath).complete())
                return false;
        }
        if (job == Job::Compare || job == Job::Send) {
            // Remembered, so that a lost port could be seen to leave it alone (compare) or to
            // forget it (send).
            const UserArea area;
            if (!BoardMemory::remember(m_file, 1, &area).isEmpty())
                return false;
        }
        m_bus->clearLog();
        return true;
    }

    JobStatus run(Job job)
    {
        switch (job) {
        case Job::Receive:
            m_receive = ReceiveJob(*m_line.session, m_file).run();
            return m_receive;
        case Job::Send: {
            SendJob send(*m_line.session, m_file);
            m_send = send.run(send.prepare(false).records);
            return m_send;
        }
        case Job::Compare:
            m_compare = CompareJob(*m_line.session, m_file).run(false);
            return m_compare;
        case Job::SendChanges: {
            SendChangesJob changes(*m_line.session, m_file);
            const SendChangesPlan plan = changes.prepare(false);
            if (!plan.done())
                return plan;
            m_changes = changes.run(plan.preparation);
            return m_changes;
        }
        case Job::SaveImage: {
            SystemImage image;
            m_image = ImageJobs(*m_line.session).save(image, m_dir.filePath(QStringLiteral("saved.tzrimg")));
            return m_image;
        }
        case Job::RestoreImage:
            m_image = ImageJobs(*m_line.session).restore(SystemImage::load(m_imagePath));
            return m_image;
        case Job::Scan:
            m_scan = ScanJob(*m_line.session).run();
            return m_scan;
        }
        return {};
    }

    QTemporaryDir m_dir;
    int m_files = 0;
    DataFileRef m_file;
    QString m_ini;
    QString m_imagePath;
    FixedTexts m_texts;
    TestObserver m_observer;
    std::unique_ptr<BoardBus> m_bus;
    JobsFixture::Line m_line;
    ReceiveResult m_receive;
    SendResult m_send;
    CompareResult m_compare;
    SendChangesResult m_changes;
    ImageResult m_image;
    ScanResult m_scan;
};

QTEST_GUILESS_MAIN(TestJobs)
#include "tst_jobs.moc"
