#include "BoardBus.h"
#include "BoardSession.h"
#include "Clock.h"
#include "CompareJob.h"
#include "CompareReport.h"
#include "Comunicacion_TZR.h"
#include "FaultBus.h"
#include "History.h"
#include "FilaPrueba.h"
#include "FixedTexts.h"
#include "ImageJobs.h"
#include "ParametersJob.h"
#include "ReceiveJob.h"
#include "SendChangesJob.h"
#include "SendJob.h"
#include "SyncImageStore.h"
#include "TablaCursor.h"
#include "TableFamily.h"
#include "TestJob.h"
#include "Transferencias.h"
#include "UsersTable.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(FaultBus::Faults)

namespace {

constexpr int USERS = 30;
constexpr auto REPLY_TIME = 20ms;

// What goes wrong on the line, and whether the link can already tell a reply that is not the
// answer to its request (a late or doubled one, or stray bytes glued in front of it).
struct Mix
{
    const char *name;
    FaultBus::Faults faults;
    quint32 seed;
    double rate = 0.02;
    std::chrono::microseconds lateBy{0};
};

const Mix MIXES[] = {
    {"lost writes", FaultBus::Fault::LostWrites, 3},
    {"dropped and bad check", FaultBus::Fault::Dropped | FaultBus::Fault::BadCheck, 4},
    {"cut", FaultBus::Fault::Cut, 5},
    {"late", FaultBus::Fault::Late, 6},
    {"late by 1.3 reply times", FaultBus::Fault::Late, 10, 0.03, 26ms},
    {"twice", FaultBus::Fault::Duplicated, 7},
    {"noise", FaultBus::Fault::Noise, 8},
    {"all", FaultBus::ALL, 9},
};


} // namespace

// Every job over a line that goes wrong now and then: whatever a job reports as done must be
// what the stand-in board holds. A job may fail; it may never succeed with other data.
class TestFaultJobs : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
    }
    void cleanup()
    {
        m_session.reset();
        m_link.reset();
        m_fb.reset();
    }

    void receiveEqualsTheBoard_data() { mixes(); }
    void receiveEqualsTheBoard()
    {
        QVERIFY(start());
        const DataFileRef file = newFile({});
        m_fb->resume();
        const ReceiveResult result = ReceiveJob(*m_session, file).run();
        m_fb->quiet();
        if (result.complete()) {
            QVERIFY2(truth(file).noDifferences(), qPrintable(m_fb->describe()));
        }
    }

    void compareFindsExactlyTheDifferences_data() { mixes(); }
    void compareFindsExactlyTheDifferences()
    {
        QVERIFY(start());
        const DataFileRef file = receivedFile();
        editFile(file);
        const CompareReport expected = truth(file);
        QVERIFY(!expected.noDifferences());
        m_fb->resume();
        const CompareResult result = CompareJob(*m_session, file).run(false);
        m_fb->quiet();
        if (result.done() && result.comparison.estado == ResultadoComparacion::Estado::Hecha) {
            const CompareReport &found = result.comparison.informe;
            QVERIFY2(found.entries.size() == expected.entries.size() && found.different == expected.different &&
                         found.onlyOnBoard == expected.onlyOnBoard && found.onlyInFile == expected.onlyInFile,
                     qPrintable(m_fb->describe()));
        }
    }

    void sendLeavesExactlyTheFile_data() { mixes(); }
    void sendLeavesExactlyTheFile()
    {
        QVERIFY(start());
        const DataFileRef file = receivedFile();
        editFile(file);
        m_fb->resume();
        SendJob send(*m_session, file);
        const SendResult result = send.run(send.prepare(false).records);
        m_fb->quiet();
        QVERIFY2(historySays(file, History::Job::Send, result.complete()), qPrintable(m_fb->describe()));
        if (result.complete() && (m_mix.faults & FaultBus::Fault::LostWrites) == FaultBus::Faults{}) {
            QVERIFY2(truth(file).noDifferences(), qPrintable(m_fb->describe()));
        }
        // Without --verify a lost write goes unseen, as a send always did; with it, never.
        send.setVerify(true);
        // Other users on the board, so that every code byte written changes something.
        m_fb->bus().board(1)->seedUsers(USERS + 5, 3);
        m_fb->resume();
        const SendResult verified = send.run(send.prepare(false).records);
        m_fb->quiet();
        if (verified.complete())
            QVERIFY2(codesAsInFile(file), qPrintable(m_fb->describe()));
    }

    void sendOfChangesLeavesExactlyTheFile_data() { mixes(); }
    void sendOfChangesLeavesExactlyTheFile()
    {
        QVERIFY(start());
        const DataFileRef file = receivedFile();
        for (int round = 0; round < 3; ++round) {
            editFile(file, round);
            m_fb->resume();
            SendChangesJob job(*m_session, file);
            const SendChangesPlan plan = job.prepare(false);
            QVERIFY(plan.done());
            if (plan.preparation.estado != PreparacionCambios::Estado::Lista)
                break; // an earlier round did not complete: the file remembers nothing now
            const SendChangesResult result = job.run(plan.preparation);
            m_fb->quiet();
            QVERIFY2(historySays(file, History::Job::SendChanges, result.complete()), qPrintable(m_fb->describe()));
            if (!result.complete())
                continue;
            QVERIFY2(codesAsInFile(file), qPrintable(m_fb->describe()));
            // What is remembered is what the board holds, in the bytes that were read back.
            const std::optional<SyncImage> image = SyncImageStore(file.directory, file.table).load(1);
            QVERIFY(image);
            QVERIFY2(sameCodes(image->area, boardArea()), qPrintable(m_fb->describe()));
        }
    }

    void guardNeverPassesAChangedBoard_data() { mixes(); }
    void guardNeverPassesAChangedBoard()
    {
        QVERIFY(start());
        const DataFileRef file = receivedFile();
        editFile(file);
        // A keypad changed at the panel: the board no longer holds what the file remembers.
        Board *board = m_fb->bus().board(1);
        const int address = direccionSlot(4) + OFS_CODIGO + 2;
        board->setByte(address, static_cast<quint8>(board->byte(address) ^ 0x01));
        const QByteArray before = board->memory();
        m_fb->resume();
        SendChangesJob job(*m_session, file);
        const SendChangesPlan plan = job.prepare(false);
        QVERIFY(plan.done());
        const SendChangesResult result = job.run(plan.preparation);
        m_fb->quiet();
        // Refused by the guard, or ended because a reply answered no request: never done.
        QVERIFY2(!result.done() || result.sent.estado != ResultadoEnvioCambios::Estado::Hecho,
                 qPrintable(m_fb->describe()));
        QCOMPARE(board->memory(), before);
    }

    void restoreLeavesTheImage_data() { mixes(); }
    void restoreLeavesTheImage()
    {
        QVERIFY(start());
        SystemImage image;
        QVERIFY(ImageJobs(*m_session).save(image, m_dir.filePath(QStringLiteral("b%1.tzrimg").arg(++m_files))).complete());
        image.parametros[4] = 33;
        Board *board = m_fb->bus().board(1);
        board->seedUsers(USERS + 5, 4);
        m_fb->resume();
        const ImageResult result = ImageJobs(*m_session).restore(image);
        m_fb->quiet();
        if (!result.complete())
            return;
        QString wrong;
        for (int i = 0; i < SystemImage::PARAMETER_COUNT; ++i) {
            if (board->byte(1 + i) != image.parametros[i])
                wrong += QStringLiteral(" parameter %1").arg(1 + i);
        }
        for (int i = 0; i < SystemImage::CODE_COUNT; ++i) {
            if (board->byte(SystemImage::CODE_FIRST + i) != image.codigos[i])
                wrong += QStringLiteral(" code byte %1").arg(SystemImage::CODE_FIRST + i);
        }
        for (int slot = 0; slot < MAX_USUARIOS; ++slot) {
            if (image.usuarios.inUse(slot) != board->slotInUse(slot))
                wrong += QStringLiteral(" slot %1").arg(slot + 1);
            for (int k = OFS_CODIGO; k < OFS_CODIGO + 6 && image.usuarios.inUse(slot); ++k) {
                if (board->byte(direccionSlot(slot) + k) != image.usuarios.record(slot)[k])
                    wrong += QStringLiteral(" slot %1 byte %2").arg(slot + 1).arg(k);
            }
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(m_fb->describe() + wrong));
    }

    void parametersSayWhatTheBoardHolds_data() { mixes(); }
    void parametersSayWhatTheBoardHolds()
    {
        QVERIFY(start());
        for (int round = 0; round < 4; ++round) {
            ParametersJob job(*m_link, false);
            CamposParametros c{QStringLiteral("1"),
                               QStringLiteral("%1").arg(4 + round % 3),
                               QStringLiteral("FRANÇAIS"),
                               QStringLiteral("0"),
                               QStringLiteral("%1").arg(10 + round),
                               QStringLiteral("%1").arg(40 - round),
                               QStringLiteral("1234%1").arg(round),
                               QStringLiteral("5678%1").arg(round)};
            m_fb->resume();
            ParametersWrite w;
            try {
                w = job.write(c, EtiquetasParametros{}, QStringLiteral("01"));
            } catch (const RepliesMisaligned &) {
                // Told that a reply answered no request: nothing is claimed of the board.
                m_fb->quiet();
                continue;
            }
            m_fb->quiet();
            QVERIFY(w.written);
            const Board *board = m_fb->bus().board(1);
            if (w.complete()) {
                QVERIFY2(board->masterCode() == c.Edit8 && board->programmingCode() == c.Edit7 &&
                             board->byte(5) == c.Edit5.toInt() && board->byte(2) == c.Edit2.toInt(),
                         qPrintable(m_fb->describe()));
            } else if (w.board.maestro == EscrituraParametros::Codigo::Cambiado) {
                QVERIFY2(board->masterCode() == c.Edit8, qPrintable(m_fb->describe()));
            }
        }
    }

    // The board test lists only boards that are there; what it says of one is the board's, or
    // the length a failed read has always shown.
    void boardTestListsOnlyWhatIsThere_data() { mixes(); }
    void boardTestListsOnlyWhatIsThere()
    {
        QVERIFY(start());
        const Board *board = m_fb->bus().board(1);
        m_fb->resume();
        // Boards 0 to 2 are enough: past them every probe is a plain timeout.
        int probed = -1;
        TestJob::Observer observer;
        observer.probing = [&](int number) { probed = number; };
        observer.stopRequested = [&] { return probed >= 2; };
        QList<BoardFound> found;
        try {
            found = TestJob(*m_session).run(observer);
        } catch (const RepliesMisaligned &) {
            m_fb->quiet();
            return;
        }
        m_fb->quiet();
        QVERIFY2(found.size() <= 1, qPrintable(m_fb->describe()));
        if (!found.isEmpty()) {
            QCOMPARE(found.first().board, 1);
            const int length = found.first().codeLength;
            QVERIFY2(length == board->byte(Board::ADDR_KEYPAD_LENGTH) || length == 4, qPrintable(m_fb->describe()));
        }
    }

private:
    // The file's history says done for the job just run exactly when the job was complete.
    static bool historySays(const DataFileRef &file, const QString &job, bool complete)
    {
        const QList<HistoryEntry> entries = History(file).entries();
        return !entries.isEmpty() && entries.last().job == job &&
               (entries.last().outcome == History::Outcome::Done) == complete && History(file).verify().intact;
    }

    void mixes()
    {
        QTest::addColumn<int>("mix");
        for (int i = 0; i < int(std::size(MIXES)); ++i)
            QTest::newRow(MIXES[i].name) << i;
    }

    [[nodiscard]] bool start()
    {
        QFETCH(int, mix);
        m_mix = MIXES[mix];
        m_fb = std::make_unique<FaultBus>(m_mix.seed, m_mix.faults, m_mix.rate, REPLY_TIME);
        if (m_mix.lateBy.count() > 0)
            m_fb->setLateBy(m_mix.lateBy);
        m_fb->quiet();
        m_fb->bus().addBoard(1);
        m_fb->bus().board(1)->seedUsers(USERS, 1);
        m_link = std::make_unique<Comunicacion_TZR>();
        m_link->setPuerto(&m_fb->port());
        m_link->setBoard(1);
        m_link->setTipo_lector(1);
        m_session = std::make_unique<BoardSession>(m_fb->port(), *m_link, m_texts,
                                                   m_dir.filePath(QStringLiteral("TZR_USR%1.ini").arg(++m_files)));
        if (!m_session->openPort(QStringLiteral("COM1")))
            return false;
        m_link->setIntervalo(REPLY_TIME);
        return true;
    }

    DataFileRef newFile(const QList<FilaUsuario> &rows)
    {
        const QString table = QStringLiteral("users%1").arg(++m_files);
        TableFamily::create(m_dir.filePath(table), UsersTable::descripcion());
        DataFileRef file{m_dir.path() + QLatin1Char('/'), table + QStringLiteral(".db")};
        TablaCursor cursor(file.directory, file.table);
        for (const FilaUsuario &f : rows)
            cursor.inserta(f);
        return file;
    }

    // A file that agrees with the board and remembers it, made on a quiet line.
    DataFileRef receivedFile()
    {
        const DataFileRef file = newFile({});
        const ReceiveResult r = ReceiveJob(*m_session, file).run();
        if (!r.complete() || !SyncImageStore(file.directory, file.table).load(1))
            qFatal("the quiet receive failed");
        return file;
    }

    // The edits an installer makes between two sends: a code, a new user, one gone.
    void editFile(const DataFileRef &file, int round = 0)
    {
        TablaCursor cursor(file.directory, file.table);
        QList<FilaUsuario> rows = cursor.filasEnOrden(false);
        rows[(3 + round * 7) % rows.size()].CODIGO = QStringLiteral("9%1%2%3").arg(round).arg(round).arg(round) + QStringLiteral("12");
        rows.removeAt((11 + round) % rows.size());
        rows.append(fila(QStringLiteral("NEW%1").arg(round), QStringLiteral("09%1%2").arg(round).arg(round),
                         QStringLiteral("9%1%2").arg(round).arg(round), QStringLiteral("77%1%2%3").arg(round).arg(round).arg(round) + QStringLiteral("7")));
        cursor.Vacia_Tabla();
        for (const FilaUsuario &f : rows)
            cursor.inserta(f);
    }

    UserArea boardArea() const
    {
        UserArea area;
        const Board *board = m_fb->bus().board(1);
        for (int slot = 0; slot < MAX_USUARIOS; ++slot) {
            if (!board->slotInUse(slot))
                continue;
            RegistroPlaca record = registroVacio();
            for (int k = 0; k < TAM_REGISTRO; ++k)
                record[k] = board->byte(direccionSlot(slot) + k);
            area.setRecord(slot, record);
        }
        return area;
    }

    static bool sameCodes(const UserArea &a, const UserArea &b)
    {
        for (int slot = 0; slot < MAX_USUARIOS; ++slot) {
            if (a.inUse(slot) != b.inUse(slot))
                return false;
            for (int k = OFS_CODIGO; k < OFS_CODIGO + 6 && a.inUse(slot); ++k) {
                if (a.record(slot)[k] != b.record(slot)[k])
                    return false;
            }
        }
        return true;
    }

    QList<RegistroEnvio> fileRecords(const DataFileRef &file)
    {
        Clock clock;
        Transferencias transferencias(*m_link, m_texts, clock);
        QList<RegistroEnvio> records;
        FilaRechazada refused;
        if (!transferencias.Prepara_Envio(TablaCursor(file.directory, file.table).filasEnOrden(false), records, refused))
            qFatal("a row of the test file was refused");
        return records;
    }

    // The differences between the stand-in board and the file, seen from outside the link.
    CompareReport truth(const DataFileRef &file) { return CompareReport::compare(boardArea(), fileRecords(file)); }

    // Slot by slot the board holds the file's users with their access codes (bytes 20 to 25),
    // and nothing more: what decides who gets in.
    bool codesAsInFile(const DataFileRef &file)
    {
        return sameCodes(UserArea::fromRecords(fileRecords(file)), boardArea());
    }

    QTemporaryDir m_dir;
    int m_files = 0;
    FixedTexts m_texts;
    Mix m_mix{};
    std::unique_ptr<FaultBus> m_fb;
    std::unique_ptr<Comunicacion_TZR> m_link;
    std::unique_ptr<BoardSession> m_session;
};

QTEST_GUILESS_MAIN(TestFaultJobs)
#include "tst_faultjobs.moc"
