#include "BoardBus.h"
#include "BusSerialPort.h"
#include "Clock.h"
#include "CompareReport.h"
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
        m_link->setBoard(1);
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
        QCOMPARE(rep.different, 2);
        QCOMPARE(rep.onlyInFile, 1);
        QCOMPARE(rep.onlyOnBoard, 1);
        QCOMPARE(rep.entries[0].slot, 1);
        QCOMPARE(rep.entries[0].fields, QStringList{QStringLiteral("CODIGO")});
        QCOMPARE(rep.entries[0].boardSlot, -1);
        QCOMPARE(rep.entries[1].slot, 2);
        QCOMPARE(rep.entries[1].boardName, QStringLiteral("DAN"));
        QCOMPARE(rep.entries[1].fileName, QStringLiteral("CAT"));
        QCOMPARE(rep.entries[1].fields,
                 (QStringList{"NOMBRE", "CALL", "TZR", "CODIGO", "LINEA2", "LINEA2_ON"}));
        QCOMPARE(rep.entries[1].filePosition, 3);
        QCOMPARE(rep.entries[2].kind, CompareEntry::Kind::OnlyInFile);
        QCOMPARE(rep.entries[2].slot, 3);
        QCOMPARE(rep.entries[2].boardSlot, 2);
        QCOMPARE(rep.entries[3].kind, CompareEntry::Kind::OnlyOnBoard);
        QCOMPARE(rep.entries[3].boardName, QStringLiteral("EVE"));
        QCOMPARE(rep.moved, 2);
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
        QVERIFY(same.informe.noDifferences());
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
        // The guard: byte 20 of all 350 slots, bytes 21 to 25 and 0 of the two in use.
        QCOMPARE(m_bus->count(BoardBus::CMD_READ), 350 + 2 * 6);
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
        QTest::newRow("keypad code, last digit") << 0 << OFS_CODIGO + 5 << int('9');
        QTest::newRow("keypad code, second digit") << 0 << OFS_CODIGO + 1 << int('0');
        QTest::newRow("card code, first byte") << 1 << OFS_CODIGO + 1 << 0x77;
        QTest::newRow("card code, fourth byte") << 1 << OFS_CODIGO + 4 << 0x00;
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
        // The open and the guard's 356 reads are answered, then the board falls silent.
        m_bus->setSilentAfter(1, m_bus->board(1)->exchanges() + 1 + 356 + 3);
        const ResultadoEnvioCambios r = Envia_Cambios(*m_sync, p, *m_store, QStringLiteral("COM1"));
        QCOMPARE(r.estado, ResultadoEnvioCambios::Estado::Hecho);
        QVERIFY(!r.resultado.completo());
        QCOMPARE(r.resultado.usuariosFallidos, QStringList{QStringLiteral("ANA")});
        QVERIFY(m_log.text().contains(QStringLiteral("F1RF2RF3")));
        QVERIFY(!m_store->load(1));
    }

    // A board that acknowledges a code byte it does not keep: bytes 20 to 25 of every slot
    // written or emptied are read back; a slot that differs is written once more; one that still
    // differs is named and the image forgotten. A write lost only once is mended by the retry.
    void codesAreReadBack_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("times");
        QTest::addColumn<QString>("differs");
        QTest::newRow("changed code kept by the retry") << 0 << OFS_CODIGO + 3 << 1 << QString();
        QTest::newRow("changed code never kept") << 0 << OFS_CODIGO + 3 << -1 << QStringLiteral("ANA");
        QTest::newRow("new slot, state byte never kept") << 2 << OFS_CODIGO << -1 << QStringLiteral("EVE");
        QTest::newRow("emptied slot never emptied") << 1 << OFS_CODIGO << -1 << QStringLiteral("BOB");
        QTest::newRow("byte 26 lost is not a code") << 0 << OFS_LINEA2 << -1 << QString();
    }
    void codesAreReadBack()
    {
        QFETCH(int, slot);
        QFETCH(int, offset);
        QFETCH(int, times);
        QFETCH(QString, differs);
        MemoryTable table;
        table.setFilas({fila("ANA", "0001", "001", "123456"), fila("BOB", "0002", "002", "0123456789")});
        fullSend(table);
        if (slot == 1)
            table.setFilas({fila("ANA", "0001", "001", "654321")});
        else
            table.setFilas({fila("ANA", "0001", "001", "654321", "SECOND", "X"), fila("BOB", "0002", "002", "0123456789"),
                            fila("EVE", "0005", "005", "222222")});
        const PreparacionCambios p = Prepara_Cambios(*m_sync, table, false, *m_store);
        BoardBus::Faults faults;
        faults.lostWriteAddresses = {direccionSlot(slot) + offset};
        faults.lostWriteTimes = times;
        m_bus->setFaults(faults);
        m_bus->clearLog();
        const ResultadoEnvioCambios r = Envia_Cambios(*m_sync, p, *m_store, QStringLiteral("COM1"));
        QCOMPARE(r.estado, ResultadoEnvioCambios::Estado::Hecho);
        QVERIFY(m_bus->requests(BoardBus::CMD_WRITE).size() > 0);
        // Every write was acknowledged: only the reading back can tell.
        QVERIFY(r.resultado.usuariosFallidos.isEmpty());
        QCOMPARE(r.resultado.completo(), differs.isEmpty());
        if (differs.isEmpty()) {
            QVERIFY(r.resultado.codigosDistintos.isEmpty());
            const std::optional<SyncImage> image = m_store->load(1);
            QVERIFY(image);
            for (int s = 0; s < 3; ++s) {
                QCOMPARE(image->area.inUse(s), m_bus->board(1)->slotInUse(s));
                for (int k = OFS_CODIGO; k < OFS_CODIGO + 6 && image->area.inUse(s); ++k)
                    QCOMPARE(image->area.record(s)[k], int(m_bus->board(1)->byte(direccionSlot(s) + k)));
            }
        } else {
            QCOMPARE(r.resultado.codigosDistintos, QList<int>{slot});
            QCOMPARE(r.resultado.usuariosDistintos.size(), 1);
            QCOMPARE(r.resultado.usuariosDistintos.front().trimmed(), differs);
            QVERIFY(!m_store->load(1));
        }
        // The slots written or emptied were read back: some read of byte 20 follows the writes.
        const QList<BoardBus::Request> all = m_bus->requests();
        const auto lastWrite = std::find_if(all.rbegin(), all.rend(), [](const BoardBus::Request &q) {
            return q.command == BoardBus::CMD_WRITE;
        });
        QVERIFY(std::any_of(all.rbegin(), lastWrite, [&](const BoardBus::Request &q) {
            return q.command == BoardBus::CMD_READ && q.address == direccionSlot(slot) + OFS_CODIGO;
        }));
    }

    // A byte that carries no field is no change, for the comparison and for the plan; the byte
    // next to them is the control.
    void spareBytesAreNoChange_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("change");
        QTest::newRow("byte 42") << OFS_BYTE42 << false;
        QTest::newRow("byte 43") << OFS_BYTE43 << false;
        QTest::newRow("second line, last byte") << OFS_LINEA2 + 15 << true;
        QTest::newRow("second line on") << OFS_LINEA2_ON << true;
    }

    void spareBytesAreNoChange()
    {
        QFETCH(int, offset);
        QFETCH(bool, change);
        MemoryTable table;
        table.setFilas({fila("ANA", "0001", "001", "123456"), fila("BOB", "0002", "002", "0123456789")});
        QList<RegistroEnvio> records;
        FilaRechazada refused;
        QVERIFY(m_sync->transferencias().Prepara_Envio(table.filasEnOrden(false), records, refused));
        UserArea board = UserArea::fromRecords(records);
        RegistroPlaca kept = board.record(1);
        kept[offset] = kept[offset] ^ 0x5A;
        board.setRecord(1, kept);
        const CompareReport report = CompareReport::compare(board, records);
        QCOMPARE(report.noDifferences(), !change);
        QCOMPARE(SyncTransfers::planifica(records, board).escribir, change ? QList<int>{1} : QList<int>{});
    }

    // The board left by a send of changes is, in every byte a full send writes, the board a full
    // send of the same file leaves, over chains of random edits and both orders. Some rounds
    // change the board behind the file first (an older board restored, a code changed at the
    // panel, a slot emptied): a send of changes then refuses, or leaves every slot's state and
    // code as a full send does.
    void changesEqualAFullSend_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u})
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
        const int first = 1 + rng.bounded(40);
        for (int i = 0; i < first; ++i)
            rows << randomUser(rng, i);
        MemoryTable table;
        table.setFilas(rows);
        fullSend(table);
        QList<QByteArray> earlier{m_bus->board(1)->memory()};
        int refusals = 0;
        for (int round = 0; round < 8; ++round) {
            const int edits = 1 + rng.bounded(6);
            for (int e = 0; e < edits; ++e)
                randomEdit(rng, rows, serial);
            table.setFilas(rows);
            const bool byName = rng.bounded(2) == 1;

            m_link->setBoard(2);
            QList<RegistroEnvio> records;
            FilaRechazada refused;
            QVERIFY(m_sync->transferencias().Prepara_Envio(table.filasEnOrden(byName), records, refused));
            QVERIFY(m_sync->transferencias().Envio_General(records, QStringLiteral("COM1")).completo());

            m_link->setBoard(1);
            const PreparacionCambios p = Prepara_Cambios(*m_sync, table, byName, *m_store);
            QCOMPARE(p.estado, PreparacionCambios::Estado::Lista);
            const QString behind = changeBehindTheFile(rng, p.imagen.area, earlier);
            const QByteArray before = m_bus->board(1)->memory();
            const bool differs = accessDiffers(*m_bus->board(1), p.imagen.area);
            const QString where = QStringLiteral("round %1 (%2)").arg(round).arg(behind);
            const ResultadoEnvioCambios r = Envia_Cambios(*m_sync, p, *m_store, QStringLiteral("COM1"));
            if (differs) {
                QVERIFY2(r.estado == ResultadoEnvioCambios::Estado::PlacaCambiada, qPrintable(where));
                QVERIFY2(m_bus->board(1)->memory() == before, qPrintable(where));
                ++refusals;
                // As the user would after the refusal: a full send, remembered.
                fullSendInOrder(table, byName);
                earlier << m_bus->board(1)->memory();
                continue;
            }
            QVERIFY2(r.estado == ResultadoEnvioCambios::Estado::Hecho, qPrintable(where));
            QVERIFY(r.resultado.completo());
            earlier << m_bus->board(1)->memory();

            const Board *full = m_bus->board(2);
            const Board *changed = m_bus->board(1);
            for (int slot = 0; slot < MAX_USUARIOS; ++slot) {
                const int pos = direccionSlot(slot);
                const bool inUse = slot < records.size();
                QVERIFY2(changed->slotInUse(slot) == inUse,
                         qPrintable(QStringLiteral("%1 slot %2 state").arg(where).arg(slot)));
                if (!inUse)
                    continue;
                // An older board restored may differ in a name or second line beyond their first
                // byte, which the guard does not read; its state and code may not differ.
                const bool wholeSlot = !behind.contains(QStringLiteral("restored"));
                for (int i = 0; i < TAM_REGISTRO; ++i) {
                    if (!wholeSlot && (i < OFS_CODIGO || i > OFS_CODIGO + 5))
                        continue;
                    QVERIFY2(full->byte(pos + i) == changed->byte(pos + i),
                             qPrintable(QStringLiteral("%1 slot %2 byte %3").arg(where).arg(slot).arg(i)));
                }
            }
        }
        // The rounds that change the board behind the file must have been exercised.
        QVERIFY(refusals > 0);
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

    void fullSendInOrder(MemoryTable &table, bool byName)
    {
        QList<RegistroEnvio> records;
        FilaRechazada refused;
        QVERIFY(m_sync->transferencias().Prepara_Envio(table.filasEnOrden(byName), records, refused));
        QVERIFY(m_sync->transferencias().Envio_General(records, QStringLiteral("COM1")).completo());
        m_store->save(SyncImage{1, m_clock.now().toUTC(), UserArea::fromRecords(records)});
    }

    // Half of the rounds change board 1 behind the file, in one of the ways a board changes
    // without this file knowing; says which.
    QString changeBehindTheFile(QRandomGenerator &rng, const UserArea &image, const QList<QByteArray> &earlier)
    {
        Board *board = m_bus->board(1);
        QList<int> used;
        for (int slot = 0; slot < MAX_USUARIOS; ++slot) {
            if (image.inUse(slot))
                used << slot;
        }
        switch (used.isEmpty() ? 0 : rng.bounded(6)) {
        case 0: {
            const int at = rng.bounded(static_cast<int>(earlier.size()));
            board->setMemory(earlier[at]);
            return QStringLiteral("board %1 restored").arg(at);
        }
        case 1: {
            const int slot = used[rng.bounded(static_cast<int>(used.size()))];
            const int ofs = OFS_CODIGO + 1 + rng.bounded(5);
            board->setByte(direccionSlot(slot) + ofs, static_cast<quint8>(board->byte(direccionSlot(slot) + ofs) ^
                                                                          (1 + rng.bounded(255))));
            return QStringLiteral("slot %1 code byte %2 changed").arg(slot).arg(ofs);
        }
        case 2: {
            const int slot = used[rng.bounded(static_cast<int>(used.size()))];
            board->setByte(direccionSlot(slot) + OFS_CODIGO, SLOT_VACIO);
            return QStringLiteral("slot %1 emptied").arg(slot);
        }
        default:
            return QStringLiteral("untouched");
        }
    }

    // Whether the board differs from the image in a slot's state, code or first byte.
    static bool accessDiffers(const Board &board, const UserArea &image)
    {
        for (int slot = 0; slot < MAX_USUARIOS; ++slot) {
            if (board.slotInUse(slot) != image.inUse(slot))
                return true;
            if (!image.inUse(slot))
                continue;
            const int pos = direccionSlot(slot);
            for (int ofs : {0, 20, 21, 22, 23, 24, 25}) {
                if (board.byte(pos + ofs) != image.record(slot)[ofs])
                    return true;
            }
        }
        return false;
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
