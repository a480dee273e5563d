#include "BoardBus.h"
#include "BusSerialPort.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(static_cast<char>(value));
    return result;
}

void writeFrame(BusSerialPort &port, const QByteArray &frame)
{
    for (char byte : frame)
        QVERIFY(port.writeByte(static_cast<quint8>(byte)));
}

QByteArray readAll(BusSerialPort &port)
{
    QByteArray all;
    for (int value = port.readByte(); value >= 0; value = port.readByte())
        all.append(static_cast<char>(value));
    return all;
}

const QByteArray PRESENCE_1 = bytes({0xFF, 0x01, 0x01, 0x01, 0x01});
const QByteArray READ_2 = bytes({0xFF, 0x01, 0x03, 0x30, 0x00, 0x02, 0x32});
const QByteArray READ_2_REPLY = bytes({0xFF, 0x01, 0x02, 0x30, 0x06, 0x36});

} // namespace

class tst_BusSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void replyArrivesThroughTheEventLoop();
    void splitReplyArrivesInSeveralEvents();
    void purgeEmptiesTheInput();
    void closedPortHearsNothing();
    void openFailsOnCue();
    void writesFailOnCue();
    void injectedBytesArriveLikeNoise();

private:
    std::unique_ptr<BoardBus> m_bus;
};

void tst_BusSerialPort::init()
{
    m_bus = std::make_unique<BoardBus>();
    m_bus->addBoard(1);
}

void tst_BusSerialPort::replyArrivesThroughTheEventLoop()
{
    BusSerialPort port(*m_bus);
    QVERIFY(port.open(QStringLiteral("COM20")));
    QCOMPARE(port.portName(), QStringLiteral("COM20"));
    QSignalSpy received(&port, &SerialPort::rxChar);
    writeFrame(port, READ_2);
    QCOMPARE(received.count(), 0);
    QCOMPARE(port.bytesAvailable(), 0);
    QVERIFY(received.wait());
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.first().first().toInt(), 6);
    QCOMPARE(readAll(port), READ_2_REPLY);
    QCOMPARE(port.written(), READ_2);
    QCOMPARE(m_bus->count(BoardBus::CMD_READ), 1);
}

void tst_BusSerialPort::splitReplyArrivesInSeveralEvents()
{
    m_bus->setFaults({0.0, 0.0, 0.0, true, -1});
    BusSerialPort port(*m_bus);
    port.open(QStringLiteral("COM1"));
    QSignalSpy received(&port, &SerialPort::rxChar);
    writeFrame(port, READ_2);
    QTRY_COMPARE(port.bytesAvailable(), 6);
    QVERIFY(received.count() >= 2);
    // Each event counts everything waiting, as a real port does.
    QCOMPARE(received.last().first().toInt(), 6);
    QVERIFY(received.first().first().toInt() < 6);
    QCOMPARE(readAll(port), READ_2_REPLY);
}

void tst_BusSerialPort::purgeEmptiesTheInput()
{
    BusSerialPort port(*m_bus);
    port.open(QStringLiteral("COM1"));
    QSignalSpy received(&port, &SerialPort::rxChar);
    writeFrame(port, PRESENCE_1);
    QVERIFY(received.wait());
    port.purge();
    QCOMPARE(port.bytesAvailable(), 0);
    QCOMPARE(port.readByte(), -1);
    QCOMPARE(port.purgeCount(), 1);
}

void tst_BusSerialPort::closedPortHearsNothing()
{
    BusSerialPort port(*m_bus);
    port.open(QStringLiteral("COM1"));
    QSignalSpy received(&port, &SerialPort::rxChar);
    writeFrame(port, PRESENCE_1);
    port.close();
    QVERIFY(!port.writeByte(0xFF));
    QTRY_COMPARE(port.piecesInFlight(), 0);
    QVERIFY(port.open(QStringLiteral("COM1")));
    QCOMPARE(port.bytesAvailable(), 0);
    QCOMPARE(received.count(), 0);
    QCOMPARE(port.openCount(), 2);
    QCOMPARE(port.closeCount(), 1);
}

void tst_BusSerialPort::openFailsOnCue()
{
    BusSerialPort port(*m_bus);
    port.setOpenFailure(QStringLiteral("No such file or directory"));
    QVERIFY(!port.open(QStringLiteral("COM3")));
    QVERIFY(!port.isOpen());
    QCOMPARE(port.errorString(), QStringLiteral("No such file or directory"));
    port.setOpenFailure({});
    QVERIFY(port.open(QStringLiteral("COM3")));
    QVERIFY(port.isOpen());
}

void tst_BusSerialPort::writesFailOnCue()
{
    BusSerialPort port(*m_bus);
    port.open(QStringLiteral("COM1"));
    port.failWritesAfter(3);
    QVERIFY(port.writeByte(0xFF));
    QVERIFY(port.writeByte(0x01));
    QVERIFY(port.writeByte(0x01));
    QVERIFY(!port.writeByte(0x01));
    QVERIFY(!port.errorString().isEmpty());
    QCOMPARE(port.bytesWritten(), 3);
    port.failWritesAfter(-1);
    QVERIFY(port.writeByte(0x01));
}

void tst_BusSerialPort::injectedBytesArriveLikeNoise()
{
    BusSerialPort port(*m_bus);
    port.open(QStringLiteral("COM1"));
    QSignalSpy received(&port, &SerialPort::rxChar);
    port.injectInput(bytes({0x12, 0xFF, 0x34}));
    QCOMPARE(port.bytesAvailable(), 0);
    QVERIFY(received.wait());
    QCOMPARE(received.first().first().toInt(), 3);
    QCOMPARE(readAll(port), bytes({0x12, 0xFF, 0x34}));
    QVERIFY(m_bus->requests().isEmpty());
}

QTEST_GUILESS_MAIN(tst_BusSerialPort)
#include "tst_busserialport.moc"
