#include "BoardBus.h"
#include "BusSerialPort.h"
#include "Clock.h"
#include "Comunicacion_TZR.h"
#include "FilaPrueba.h"
#include "FixedTexts.h"
#include "MemoryDebugLog.h"
#include "MemoryTable.h"
#include "RecordingProgress.h"
#include "CompareJob.h"
#include "SendChangesJob.h"
#include "SyncImageStore.h"
#include "SyncTransfers.h"
#include "TableFamily.h"
#include "UserRecord.h"
#include "UsersTable.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString randomName(QRandomGenerator &rng, int n)
{
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 *");
    QString name = QStringLiteral("U%1").arg(n);
    const int extra = rng.bounded(12);
    for (int i = 0; i < extra; ++i)
        name += alphabet[rng.bounded(static_cast<int>(alphabet.size()))];
    return name.trimmed();
}

FilaUsuario randomUser(QRandomGenerator &rng, int n)
{
    QString code;
    switch (rng.bounded(3)) {
    case 0:
        for (int i = 0; i < 6; ++i)
            code += QStringLiteral("0123456789AB")[rng.bounded(12)];
        break;
    case 1:
        for (int i = 0; i < 10; ++i)
            code += QStringLiteral("0123456789ABCDEF")[rng.bounded(16)];
        break;
    default:
        code = QStringLiteral("FFFFFFFFFF");
    }
    return fila(randomName(rng, n), QStringLiteral("%1").arg(rng.bounded(10000), 4, 10, QLatin1Char('0')),
                QStringLiteral("%1").arg(rng.bounded(1000), 3, 10, QLatin1Char('0')), code,
                rng.bounded(2) ? QStringLiteral("LINE %1").arg(rng.bounded(100)) : QString(),
                rng.bounded(2) ? QStringLiteral("X") : QString());
}

// One random edit of the kinds a user makes: a code, a name, a second line, a row added or
// deleted, two rows swapped.
void randomEdit(QRandomGenerator &rng, QList<FilaUsuario> &rows, int &serial)
{
    const int kind = rows.isEmpty() ? 3 : rng.bounded(6);
    const int at = rows.isEmpty() ? 0 : rng.bounded(static_cast<int>(rows.size()));
    switch (kind) {
    case 0:
        rows[at].CODIGO = randomUser(rng, 0).CODIGO;
        break;
    case 1:
        rows[at].NOMBRE = randomName(rng, ++serial);
        break;
    case 2:
        rows[at].LINEA2_ON = rows[at].LINEA2_ON.isEmpty() ? QStringLiteral("X") : QString();
        rows[at].LINEA2 = QStringLiteral("L%1").arg(rng.bounded(1000));
        break;
    case 3:
        if (rows.size() < 60)
            rows.insert(rows.isEmpty() ? 0 : rng.bounded(static_cast<int>(rows.size()) + 1),
                        randomUser(rng, ++serial));
        break;
    case 4:
        rows.removeAt(at);
        break;
    default:
        rows.swapItemsAt(at, rng.bounded(static_cast<int>(rows.size())));
    }
}

} // namespace

class TestSyncTransfers : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_base = m_dir.filePath(QStringLiteral("users%1").arg(++m_files));
        TableFamily::create(m_base, UsersTable::descripcion());
        m_bus = std::make_unique<BoardBus>(11);
        m_bus->addBoard(1);
        m_port = std::make_unique<BusSerialPort>(*m_bus);
        m_port->open(QStringLiteral("COM1"));
        m_link = std::make_unique<Comunicacion_TZR>();
        m_link->setPuerto(m_port.get());
        m_link->setDebugLog(&m_log);
        m_link->setFuentePlaca([] { return QStringLiteral("01"); });
        m_link->setTipo_lector(1);
        m_log.clear();
        m_sync = std::make_unique<SyncTransfers>(*m_link, m_texts, m_clock);
        m_sync->setProgreso(&m_progress);
        m_store = std::make_unique<SyncImageStore>(m_dir.path(), QStringLiteral("users%1.db").arg(m_files));
    }

    void cleanup()
    {
        m_store.reset();
        m_sync.reset();
        m_link.reset();
        m_port.reset();
        m_bus.reset();
    }

    void compareFindsEachKindAndNoFalseOnes()
    {
        Board *board = m_bus->board(1);
        MemoryTable table;
        const QList<FilaUsuario> rows{
            fila("ANA", "0001", "001", "123456"), fila("BOB", "0002", "002", "0123456789"),
            fila("CAT", "0003", "003", "654321", "SECOND", "X"), fila("DAN", "0004", "004", "111111")};
        table.setFilas(rows);
        QList<RegistroEnvio> records;
        FilaRechazada refused;
        QVERIFY(m_sync->transferencias().Prepara_Envio(rows, records, refused));
        // Slot 0 as in the file; slot 1 with another code; slot 2 holds DAN (the file's slot 3);
        // slot 3 empty; slot 7 a user the file does not have.
        auto bytes = [](const RegistroPlaca &r) {
            QByteArray b;
            for (int v : r)
                b.append(static_cast<char>(v));
            return b;
        };
        board->setRecord(0, bytes(records[0].registro));
        RegistroPlaca other = records[1].registro;
        other[OFS_CODIGO + 3] ^= 0x01;
        board->setRecord(1, bytes(other));
        board->setRecord(2, bytes(records[3].registro));
        board->setRecord(7, UserRecord::keypad("EVE", "0007", "007", "777777"));

        const ResultadoComparacion r = Compara_Con_Sistema(*m_sync, table, false, *m_store);
        QCOMPARE(r.estado, ResultadoComparacion::Estado::Hecha);
        const CompareReport &rep = r.informe;
        QCOMPARE(rep.entries.size(), 4);
        QCOMPARE(rep.distintos, 2);
        QCOMPARE(rep.soloFichero, 1);
        QCOMPARE(rep.soloPlaca, 1);
        QCOMPARE(rep.entries[0].slot, 1);
        QCOMPARE(rep.entries[0].campos, QStringList{QStringLiteral("CODIGO")});
        QCOMPARE(rep.entries[0].enPlaca, -1);
        QCOMPARE(rep.entries[1].slot, 2);
        QCOMPARE(rep.entries[1].nombrePlaca, QStringLiteral("DAN"));
        QCOMPARE(rep.entries[1].nombreFichero, QStringLiteral("CAT"));
        QCOMPARE(rep.entries[1].campos,
                 (QStringList{"NOMBRE", "CALL", "TZR", "CODIGO", "LINEA2", "LINEA2_ON"}));
        QCOMPARE(rep.entries[1].enFichero, 3);
        QCOMPARE(rep.entries[2].kind, CompareEntry::Kind::OnlyInFile);
        QCOMPARE(rep.entries[2].slot, 3);
        QCOMPARE(rep.entries[2].enPlaca, 2);
        QCOMPARE(rep.entries[3].kind, CompareEntry::Kind::OnlyOnBoard);
        QCOMPARE(rep.entries[3].nombrePlaca, QStringLiteral("EVE"));
        QCOMPARE(rep.movidos, 2);
        QVERIFY(!r.imagenGuardada);
        QVERIFY(!m_store->load(1));
        // Read as a receive reads, never written.
        QCOMPARE(m_bus->count(BoardBus::CMD_WRITE), 0);
        QVERIFY(m_log.lines().contains(QStringLiteral("Compara_Sistema: Inicio\r\n")));
        QCOMPARE(m_log.lines().filter(QStringLiteral("POSICION_INI: ")).size(), 350);
        QCOMPARE(rep.toCsv().split('\n').at(2),
                 QByteArray("3,different,DAN,CAT,NOMBRE CALL TZR CODIGO LINEA2 LINEA2_ON,,4"));

        // After a full send the comparison finds nothing and remembers the board.
        for (int i = 0; i < 350; ++i)
            board->clearRecord(i);
        for (int i = 0; i < records.size(); ++i)
            board->setRecord(i, bytes(records[i].registro));
        const ResultadoComparacion same = Compara_Con_Sistema(*m_sync, table, false, *m_store);
        QVERIFY(same.informe.sinDiferencias());
        QVERIFY(same.imagenGuardada);
        QCOMPARE(m_store->load(1)->area, UserArea::fromRecords(records));
    }

    void aReceiveHandsBackTheAreaItRead()
    {
        Board *board = m_bus->board(1);
        board->seedUsers(4);
        board->clearRecord(1);
        board->setRecord(200, UserRecord::card("LATE", "0200", "200", "0123456789"));
        UserArea area;
        area.setRecord(7, registroVacio()); // stale content the receive must clear
        MemoryTable table;
        m_sync->transferencias().setAreaLeida(&area);
        QVERIFY(m_sync->transferencias().Conexion_General(table).completa());
        QCOMPARE(area.users(), 4);
        for (int slot = 0; slot < MAX_USUARIOS; ++slot) {
            QCOMPARE(area.inUse(slot), board->slotInUse(slot));
            if (!area.inUse(slot))
                continue;
            for (int i = 0; i < TAM_REGISTRO; ++i)
                QCOMPARE(area.record(slot)[i], int(quint8(board->record(slot)[i])));
        }
    }

    void sendingAnUnchangedFileWritesNothing()
    {
        MemoryTable table;
        table.setFilas({fila("ANA", "0001", "001", "123456"), fila("BOB", "0002", "002", "0123456789")});
        fullSend(table);
        m_bus->clearLog();
        const PreparacionCambios p = Prepara_Cambios(*m_sync, table, false, *m_store);
        QCOMPARE(p.estado, PreparacionCambios::Estado::Lista);
        const ResultadoEnvioCambios r = Envia_Cambios(*m_sync, p, *m_store, QStringLiteral("COM1"));
        QCOMPARE(r.estado, ResultadoEnvioCambios::Estado::Hecho);
        QVERIFY(r.plan.vacio());
        QCOMPARE(m_bus->count(BoardBus::CMD_WRITE), 0);
        // The guard: byte 20 of all 350 slots, byte 0 of the two in use.
        QCOMPARE(m_bus->count(BoardBus::CMD_READ), 352);
        QCOMPARE(m_bus->count(BoardBus::CMD_RESTART), 1);
    }

    void noImageMeansOnlyAFullSend()
    {
        MemoryTable table;
        table.setFilas({fila("ANA", "0001", "001", "123456")});
        QCOMPARE(Prepara_Cambios(*m_sync, table, false, *m_store).estado,
                 PreparacionCambios::Estado::SinImagen);
        table.setFilas({fila("ANA", "00X1", "001", "123456")});
        QCOMPARE(Prepara_Cambios(*m_sync, table, false, *m_store).estado,
                 PreparacionCambios::Estado::FilaRechazada);
        QCOMPARE(m_bus->requests().size(), 0);
    }

    void guardRefusesABoardEditedBehindTheFile_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("value");
        QTest::newRow("slot added") << 5 << OFS_CODIGO << 0x31;
        QTest::newRow("slot emptied") << 1 << OFS_CODIGO << 0xFF;
        QTest::newRow("name changed") << 0 << 0 << int('Z');
    }

    void guardRefusesABoardEditedBehindTheFile()
    {
        QFETCH(int, slot);
        QFETCH(int, offset);
        QFETCH(int, value);
        MemoryTable table;
        table.setFilas({fila("ANA", "0001", "001", "123456"), fila("BOB", "0002", "002", "0123456789")});
        fullSend(table);
        m_bus->board(1)->setByte(direccionSlot(slot) + offset, static_cast<quint8>(value));
        const QByteArray before = m_bus->board(1)->memory();
        table.setFilas({fila("ANA", "0001", "001", "654321"), fila("BOB", "0002", "002", "0123456789")});
        const PreparacionCambios p = Prepara_Cambios(*m_sync, table, false, *m_store);
        m_bus->clearLog();
        const ResultadoEnvioCambios r = Envia_Cambios(*m_sync, p, *m_store, QStringLiteral("COM1"));
        QCOMPARE(r.estado, ResultadoEnvioCambios::Estado::PlacaCambiada);
        QCOMPARE(r.comprobacion.slotsCambiados, QList<int>{slot});
        QCOMPARE(m_bus->count(BoardBus::CMD_WRITE), 0);
        QCOMPARE(m_bus->board(1)->memory(), before);
    }

    void incompleteSendForgetsTheImage()
    {
        MemoryTable table;
        table.setFilas({fila("ANA", "0001", "001", "123456")});
        fullSend(table);
        table.setFilas({fila("ANA", "0001", "001", "654321")});
        const PreparacionCambios p = Prepara_Cambios(*m_sync, table, false, *m_store);
        m_link->setIntervalo(std::chrono::milliseconds(5));
        // The open and the guard's 351 reads are answered, then the board falls silent.
        m_bus->setSilentAfter(1, m_bus->board(1)->exchanges() + 1 + 351 + 3);
        const ResultadoEnvioCambios r = Envia_Cambios(*m_sync, p, *m_store, QStringLiteral("COM1"));
        QCOMPARE(r.estado, ResultadoEnvioCambios::Estado::Hecho);
        QVERIFY(!r.resultado.completo());
        QCOMPARE(r.resultado.usuariosFallidos, QStringList{QStringLiteral("ANA")});
        QVERIFY(m_log.text().contains(QStringLiteral("F1RF2RF3")));
        QVERIFY(!m_store->load(1));
    }

    // The board left by a send of changes is, in every byte a full send writes, the board a full
    // send of the same file leaves, over chains of random edits and both orders.
    void changesEqualAFullSend_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u, 4u, 5u, 6u})
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
    }

    void changesEqualAFullSend()
    {
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        m_bus->addBoard(2);
        m_link->setDebugLog(nullptr);
        int serial = 100;
        QList<FilaUsuario> rows;
        const int first = rng.bounded(40);
        for (int i = 0; i < first; ++i)
            rows << randomUser(rng, i);
        MemoryTable table;
        table.setFilas(rows);
        fullSend(table);
        for (int round = 0; round < 4; ++round) {
            const int edits = 1 + rng.bounded(6);
            for (int e = 0; e < edits; ++e)
                randomEdit(rng, rows, serial);
            table.setFilas(rows);
            const bool byName = rng.bounded(2) == 1;

            m_link->setFuentePlaca([] { return QStringLiteral("02"); });
            QList<RegistroEnvio> records;
            FilaRechazada refused;
            QVERIFY(m_sync->transferencias().Prepara_Envio(table.filasEnOrden(byName), records, refused));
            QVERIFY(m_sync->transferencias().Envio_General(records, QStringLiteral("COM1")).completo());

            m_link->setFuentePlaca([] { return QStringLiteral("01"); });
            const PreparacionCambios p = Prepara_Cambios(*m_sync, table, byName, *m_store);
            QCOMPARE(p.estado, PreparacionCambios::Estado::Lista);
            const ResultadoEnvioCambios r = Envia_Cambios(*m_sync, p, *m_store, QStringLiteral("COM1"));
            QCOMPARE(r.estado, ResultadoEnvioCambios::Estado::Hecho);
            QVERIFY(r.resultado.completo());

            const Board *full = m_bus->board(2);
            const Board *changed = m_bus->board(1);
            for (int slot = 0; slot < MAX_USUARIOS; ++slot) {
                const int pos = direccionSlot(slot);
                const int last = slot < records.size() ? TAM_REGISTRO - 1 : OFS_CODIGO;
                for (int i = slot < records.size() ? 0 : OFS_CODIGO; i <= last; ++i)
                    QVERIFY2(
                        full->byte(pos + i) == changed->byte(pos + i),
                        qPrintable(QStringLiteral("round %1 slot %2 byte %3").arg(round).arg(slot).arg(i)));
            }
        }
    }

private:
    // A full send of the table that remembers the board, as the window does after one.
    void fullSend(MemoryTable &table)
    {
        QList<RegistroEnvio> records;
        FilaRechazada refused;
        QVERIFY(m_sync->transferencias().Prepara_Envio(table.filasEnOrden(false), records, refused));
        QVERIFY(m_sync->transferencias().Envio_General(records, QStringLiteral("COM1")).completo());
        m_store->save(SyncImage{1, m_clock.now().toUTC(), UserArea::fromRecords(records)});
    }

    QTemporaryDir m_dir;
    QString m_base;
    int m_files = 0;
    std::unique_ptr<BoardBus> m_bus;
    std::unique_ptr<BusSerialPort> m_port;
    std::unique_ptr<Comunicacion_TZR> m_link;
    MemoryDebugLog m_log;
    RecordingProgress m_progress;
    FixedTexts m_texts;
    Clock m_clock;
    std::unique_ptr<SyncTransfers> m_sync;
    std::unique_ptr<SyncImageStore> m_store;
};

QTEST_GUILESS_MAIN(TestSyncTransfers)
#include "tst_synctransfers.moc"
