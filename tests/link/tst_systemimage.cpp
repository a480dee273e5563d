#include "BoardBus.h"
#include "BusSerialPort.h"
#include "Clock.h"
#include "Comunicacion_TZR.h"
#include "FixedTexts.h"
#include "SystemImage.h"
#include "TzrError.h"
#include "UserRecord.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

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
        m_link->setFuentePlaca([] { return QStringLiteral("01"); });
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

private:
    std::unique_ptr<BoardBus> m_bus;
    std::unique_ptr<BusSerialPort> m_port;
    std::unique_ptr<Comunicacion_TZR> m_link;
    FixedTexts m_texts;
    Clock m_clock;
};

QTEST_GUILESS_MAIN(TestSystemImage)
#include "tst_systemimage.moc"
