#include "BoardBus.h"
#include "BusSerialPort.h"
#include "Clock.h"
#include "Comunicacion_TZR.h"
#include "FixedTexts.h"
#include "RecordingProgress.h"
#include "PrivateFile_p.h"
#include "SystemImage.h"
#include "TzrError.h"
#include "UserRecord.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TestSystemImage : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_bus = std::make_unique<BoardBus>(3);
        m_bus->addBoard(1);
        m_port = std::make_unique<BusSerialPort>(*m_bus);
        m_port->open(QStringLiteral("COM1"));
        m_link = std::make_unique<Comunicacion_TZR>();
        m_link->setPuerto(m_port.get());
        m_link->setBoard(1);
    }

    void savedAndRestoredOntoAFreshBoard()
    {
        Board *board = m_bus->board(1);
        board->seedUsers(12);
        board->clearRecord(3);
        board->setRecord(349, UserRecord::card("LAST", "0349", "349", "0123456789"));
        board->setProgrammingCode(QStringLiteral("12A45"));
        board->setMasterCode(QStringLiteral("B0001"));
        board->setByte(5, 33);
        SystemImageTransfer transfer(*m_link, m_texts, m_clock);
        SystemImage image;
        QVERIFY(transfer.Lee_Imagen(image).completo());
        QCOMPARE(image.usuarios.users(), 12);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("board.tzrimg"));
        image.save(path);
        QCOMPARE(QFileInfo(path).permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ReadUser | QFileDevice::WriteUser);
        const SystemImage loaded = SystemImage::load(path);
        QCOMPARE(loaded.toBytes(), image.toBytes());

        const QByteArray original = board->memory();
        m_bus->removeBoard(1);
        m_bus->addBoard(1);
        QVERIFY(m_bus->board(1)->memory() != original);
        QVERIFY(transfer.Restaura_Imagen(loaded).completo());
        const QByteArray restored = m_bus->board(1)->memory();
        for (int a : {1, 2, 3, 4, 5, 6, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21})
            QCOMPARE(restored[a], original[a]);
        for (int slot = 0; slot < 350; ++slot) {
            const int pos = 32 + 45 * slot;
            QCOMPARE(restored[pos + 20], original[pos + 20]);
            if (board->slotInUse(slot))
                QCOMPARE(restored.mid(pos, 45), original.mid(pos, 45));
        }
        QCOMPARE(m_bus->count(BoardBus::CMD_RESTART), 1);
    }

    void aDamagedOrForeignFileIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("why");
        SystemImage image;
        image.momento = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
        RegistroPlaca r{};
        r.fill(0x41);
        image.usuarios.setRecord(0, r);
        const QByteArray good = image.toBytes();
        QByteArray flipped = good;
        flipped[good.indexOf("slot 1 ") + 10] = 'F';
        QTest::newRow("a byte changed") << flipped << QStringLiteral("checksum");
        QTest::newRow("cut short") << good.left(good.size() - 20) << QStringLiteral("cut short");
        QByteArray lineLost = good;
        lineLost.remove(good.indexOf("slot 1 "),
                        good.indexOf('\n', good.indexOf("slot 1 ")) + 1 - good.indexOf("slot 1 "));
        QTest::newRow("a line lost") << lineLost << QStringLiteral("checksum");
        QTest::newRow("foreign") << QByteArray("PK\x03\x04 not an image\n")
                                 << QStringLiteral("not a TZRUsers");
        QByteArray later = good;
        later.replace("format 1", "format 2");
        QTest::newRow("later format") << later << QStringLiteral("format 2");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("not a TZRUsers");
    }

    void aDamagedOrForeignFileIsRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, why);
        try {
            SystemImage::fromBytes(bytes);
            QFAIL("accepted");
        } catch (const TzrError &e) {
            QVERIFY2(e.message().contains(why), qPrintable(e.message()));
        }
    }

    void aWellSealedButInconsistentFileIsRefused()
    {
        // A correct checksum over a slot listed as empty: a writer's fault, still refused.
        QByteArray body = "TZRUsers system image\nformat 1\nboard 1\nsaved 2026-01-02T03:04:05.000Z\n"
                          "parameters 01 06 01 00 0A 0A\ncodes 3A 31 32 33 34 35 3A 34 30 39 36 32\nslot 2 ";
        QByteArray record(90, '0');
        record.replace(40, 2, "FF");
        body += record + '\n';
        const QByteArray bytes =
            body + "sha256 " + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() + '\n';
        QVERIFY_THROWS_EXCEPTION(TzrError, SystemImage::fromBytes(bytes));
    }

    // Users inside the transfer first, then the parameters in the window's order, then the
    // restart; a restore that renumbers talks to the old number until the restart.
    void restoreWritesUsersFirstAndParametersLast_data()
    {
        QTest::addColumn<int>("newNumber");
        QTest::newRow("same board") << 1;
        QTest::newRow("renumbers") << 7;
    }

    void restoreWritesUsersFirstAndParametersLast()
    {
        QFETCH(int, newNumber);
        Board *board = m_bus->board(1);
        board->seedUsers(3);
        board->setProgrammingCode(QStringLiteral("12A45"));
        SystemImageTransfer transfer(*m_link, m_texts, m_clock);
        SystemImage image;
        QVERIFY(transfer.Lee_Imagen(image).completo());
        image.parametros[0] = newNumber;
        m_bus->removeBoard(1);
        m_bus->addBoard(1);
        m_bus->clearLog();

        const ResultadoImagen r = transfer.Restaura_Imagen(image);
        QVERIFY(r.completo());
        QVERIFY(r.parametrosEnviados);
        const QList<BoardBus::Request> log = m_bus->requests();
        QVERIFY(!log.isEmpty());
        QCOMPARE(log.first().command, int(BoardBus::CMD_OPEN));
        QCOMPARE(log.last().command, int(BoardBus::CMD_RESTART));
        qsizetype close = -1;
        for (qsizetype i = 0; i < log.size(); ++i) {
            QCOMPARE(log[i].board, 1);
            if (log[i].command == BoardBus::CMD_CLOSE)
                close = i;
        }
        QVERIFY(close > 0);
        // Inside the transfer the slots' writes, then the reading back of their codes: byte 20
        // of every slot, 21 to 25 of the three in use.
        qsizetype firstRead = -1;
        for (qsizetype i = 1; i < close; ++i) {
            QVERIFY2(log[i].address >= 32, qPrintable(QString::number(i)));
            if (firstRead < 0 && log[i].command == BoardBus::CMD_READ)
                firstRead = i;
            QCOMPARE(log[i].command, int(firstRead < 0 ? BoardBus::CMD_WRITE : BoardBus::CMD_READ));
        }
        QCOMPARE(close - firstRead, qsizetype(350 + 3 * 5));
        QList<int> parameterAddresses;
        QList<int> readBack;
        for (qsizetype i = close + 1; i < log.size() - 1; ++i) {
            if (log[i].command == BoardBus::CMD_WRITE) {
                QVERIFY(readBack.isEmpty());
                parameterAddresses << log[i].address;
            } else {
                QCOMPARE(log[i].command, int(BoardBus::CMD_READ));
                readBack << log[i].address;
            }
        }
        const QList<int> all{1, 2, 3, 4, 5, 6, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};
        QCOMPARE(parameterAddresses, all);
        QCOMPARE(readBack, all);
        QVERIFY(m_bus->hasBoard(newNumber));
        const Board *restored = m_bus->board(newNumber);
        QCOMPARE(restored->programmingCode(), QStringLiteral("12A45"));
        QCOMPARE(restored->usersStored(), 3);
    }

    // Acknowledged but not kept: a slot's code or a code byte of the parameters is read back,
    // written once more, and named when it still differs; a slot that differs keeps the
    // parameters from being written at all.
    void restoreReadsBackCodes_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("times");
        QTest::addColumn<QList<int>>("slotsDiffer");
        QTest::addColumn<QList<int>>("addressesDiffer");
        QTest::newRow("slot code lost once") << direccionSlot(1) + OFS_CODIGO + 2 << 1 << QList<int>{} << QList<int>{};
        QTest::newRow("slot code never kept") << direccionSlot(1) + OFS_CODIGO + 2 << -1 << QList<int>{1} << QList<int>{};
        QTest::newRow("emptying never kept") << direccionSlot(7) + OFS_CODIGO << -1 << QList<int>{7} << QList<int>{};
        QTest::newRow("master code byte lost once") << 18 << 1 << QList<int>{} << QList<int>{};
        QTest::newRow("master code byte never kept") << 18 << -1 << QList<int>{} << QList<int>{18};
    }
    void restoreReadsBackCodes()
    {
        QFETCH(int, address);
        QFETCH(int, times);
        QFETCH(QList<int>, slotsDiffer);
        QFETCH(QList<int>, addressesDiffer);
        Board *board = m_bus->board(1);
        board->seedUsers(3);
        board->setMasterCode(QStringLiteral("12A45"));
        SystemImageTransfer transfer(*m_link, m_texts, m_clock);
        SystemImage image;
        QVERIFY(transfer.Lee_Imagen(image).completo());
        m_bus->removeBoard(1);
        m_bus->addBoard(1);
        m_bus->board(1)->seedUsers(9, 2);
        BoardBus::Faults faults;
        faults.lostWriteAddresses = {address};
        faults.lostWriteTimes = times;
        m_bus->setFaults(faults);
        const ResultadoImagen r = transfer.Restaura_Imagen(image);
        QCOMPARE(r.slotsFallidos, 0);
        QCOMPARE(r.parametrosFallidos, 0);
        QCOMPARE(r.slotsDistintos, slotsDiffer);
        QCOMPARE(r.parametrosDistintos, addressesDiffer);
        QCOMPARE(r.completo(), slotsDiffer.isEmpty() && addressesDiffer.isEmpty());
        QCOMPARE(r.parametrosEnviados, slotsDiffer.isEmpty());
        QCOMPARE(m_bus->board(1)->masterCode() == QStringLiteral("12A45"),
                 slotsDiffer.isEmpty() && addressesDiffer.isEmpty());
    }

    // A board that falls silent among the users keeps its number and codes: the parameters are
    // not written, and the result says so.
    void restoreCutShortLeavesTheParameters()
    {
        Board *board = m_bus->board(1);
        board->seedUsers(3);
        board->setProgrammingCode(QStringLiteral("12A45"));
        SystemImageTransfer transfer(*m_link, m_texts, m_clock);
        SystemImage image;
        QVERIFY(transfer.Lee_Imagen(image).completo());
        image.parametros[0] = 7;
        m_bus->removeBoard(1);
        m_bus->addBoard(1);
        const QByteArray parameters = m_bus->board(1)->memory().left(32);
        m_link->setIntervalo(std::chrono::milliseconds(5));
        // The open and 60 writes are answered (the first slot and a bit), then nothing.
        m_bus->setSilentAfter(1, m_bus->board(1)->exchanges() + 61);

        const ResultadoImagen r = transfer.Restaura_Imagen(image);
        QVERIFY(!r.completo());
        QVERIFY(!r.sinRespuesta);
        QVERIFY(r.slotsFallidos > 0);
        QVERIFY(!r.parametrosEnviados);
        QCOMPARE(r.parametrosFallidos, 0);
        QCOMPARE(m_bus->board(1)->memory().left(32), parameters);
        QVERIFY(!m_bus->hasBoard(7));
    }

    // Stop pressed during the last slot's write: the transfer is still closed, and the
    // parameters after it are not written.
    void stopInTheLastSlotKeepsTheParameters()
    {
        Board *board = m_bus->board(1);
        board->seedUsers(3);
        SystemImageTransfer transfer(*m_link, m_texts, m_clock);
        SystemImage image;
        QVERIFY(transfer.Lee_Imagen(image).completo());
        image.parametros[0] = 7;
        QVERIFY(!image.usuarios.inUse(349));
        RecordingProgress progress;
        transfer.setProgreso(&progress);
        // Once, as the last slot's only write ends.
        QMetaObject::Connection stop;
        stop = connect(m_link.get(), &Comunicacion_TZR::intercambioTerminado, this, [&] {
            if (progress.position() == 350) {
                m_link->setParada(true);
                disconnect(stop);
            }
        });
        m_bus->clearLog();
        const QByteArray parameters = board->memory().left(32);

        // The Stop ends the reading back of the codes, the first exchange after that write.
        QVERIFY_THROWS_EXCEPTION(OperacionDetenida, transfer.Restaura_Imagen(image));
        QCOMPARE(m_bus->count(BoardBus::CMD_CLOSE, 1), 1);
        for (const BoardBus::Request &request : m_bus->requests(BoardBus::CMD_WRITE))
            QVERIFY(request.address >= 32);
        QCOMPARE(m_bus->board(1)->memory().left(32), parameters);
    }

    // The image holds both codes in clear: its file is never readable by others, not even the
    // temporary one before the first byte, whatever the umask and the old file's rights.
    void imageFileIsOwnerOnlyFromTheStart()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("board.tzrimg"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadGroup | QFileDevice::ReadOther));
        SystemImage image;
        image.placa = 1;
        image.momento = QDateTime::currentDateTimeUtc();
        QString temporary;
        mode_t modeAtCreation = 0777;
        PrivateFile::afterCreate = [&](const QString &name) {
            temporary = name;
            struct stat st {};
            if (::stat(QFile::encodeName(name).constData(), &st) == 0)
                modeAtCreation = st.st_mode & 0777;
        };
        const mode_t mask = ::umask(0);
        image.save(path);
        ::umask(mask);
        PrivateFile::afterCreate = nullptr;
        QVERIFY(!temporary.isEmpty());
        QCOMPARE(modeAtCreation, mode_t(0600));
        QVERIFY(!QFile::exists(temporary));
        QCOMPARE(QFileInfo(path).permissions(),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(SystemImage::load(path).toBytes(), image.toBytes());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("board.tzrimg")});
    }

private:
    std::unique_ptr<BoardBus> m_bus;
    std::unique_ptr<BusSerialPort> m_port;
    std::unique_ptr<Comunicacion_TZR> m_link;
    FixedTexts m_texts;
    Clock m_clock;
};

QTEST_GUILESS_MAIN(TestSystemImage)
#include "tst_systemimage.moc"
