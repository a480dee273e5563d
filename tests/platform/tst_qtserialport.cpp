#include "PortList.h"
#include "QtSerialPort.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The far end of a pseudo-terminal, standing where a board would be.
class Master
{
public:
    Master()
    {
        m_fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd >= 0 && ::grantpt(m_fd) == 0 && ::unlockpt(m_fd) == 0)
            m_slave = QString::fromLocal8Bit(::ptsname(m_fd));
        // Holds the line up while the port under test is closed and reopened, and lets a test
        // see bytes waiting on the port's side without taking them.
        if (!m_slave.isEmpty())
            m_observer =
                ::open(QFile::encodeName(m_slave).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { drain(); });
    }
    ~Master()
    {
        m_notifier.reset();
        closeMaster();
        if (m_observer >= 0)
            ::close(m_observer);
    }

    bool isValid() const { return m_fd >= 0 && !m_slave.isEmpty() && m_observer >= 0; }
    QString slave() const { return m_slave; }
    int observer() const { return m_observer; }
    QByteArray received() const { return m_received; }

    bool send(const QByteArray &bytes) const
    {
        return ::write(m_fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }
    // Blocks until bytes sent are waiting on the port's side (the pty moves them asynchronously).
    bool waitUntilWaiting() const
    {
        pollfd entry{m_observer, POLLIN, 0};
        return ::poll(&entry, 1, 5000) == 1 && (entry.revents & POLLIN) != 0;
    }
    termios settings() const
    {
        termios tio{};
        ::tcgetattr(m_fd, &tio);
        return tio;
    }
    void closeMaster()
    {
        if (m_notifier)
            m_notifier->setEnabled(false);
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    void drain()
    {
        char buffer[256];
        ssize_t n = 0;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
            m_received.append(buffer, n);
        if (n == 0 || (n < 0 && errno != EAGAIN))
            m_notifier->setEnabled(false);
    }

    int m_fd = -1;
    int m_observer = -1;
    QString m_slave;
    QByteArray m_received;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

QString systemMessage(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

class TestQtSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensAPseudoTerminal();
    void appliesTheBusSettings();
    void opensThroughAPortListLink();
    void failsOnAMissingDevice_data();
    void failsOnAMissingDevice();
    void writesBytesUnchanged();
    void signalsReceivedBytes();
    void holdsRxCharBackDuringAWrite();
    void purgeDropsWaitingBytes_data();
    void purgeDropsWaitingBytes();
    void purgeInsideAnEventKeepsThePort_data();
    void purgeInsideAnEventKeepsThePort();
    void survivesTheFarEndClosing_data();
    void survivesTheFarEndClosing();
    void reopens();
    void opensALineLeftByAKilledProgram_data();
    void opensALineLeftByAKilledProgram();
    void refusesUseWhileClosed();

private:
    std::unique_ptr<Master> m_master;
    std::unique_ptr<QtSerialPort> m_port;
};

void TestQtSerialPort::init()
{
    m_master = std::make_unique<Master>();
    QVERIFY(m_master->isValid());
    m_port = std::make_unique<QtSerialPort>([this](const QString &name) {
        return name == QLatin1String("COM9") ? m_master->slave() : QString();
    });
}

void TestQtSerialPort::cleanup()
{
    m_port.reset();
    m_master.reset();
}

void TestQtSerialPort::opensAPseudoTerminal()
{
    QVERIFY2(m_port->open(QStringLiteral("COM9")), qPrintable(m_port->errorString()));
    QVERIFY(m_port->isOpen());
    QVERIFY(m_port->isPseudoTerminal());
    QCOMPARE(m_port->portName(), QStringLiteral("COM9"));
    QCOMPARE(m_port->devicePath(), m_master->slave());
    QCOMPARE(m_port->bytesAvailable(), 0);
    QCOMPARE(m_port->readByte(), -1);
}

void TestQtSerialPort::appliesTheBusSettings()
{
    QVERIFY(m_port->open(QStringLiteral("COM9")));
    // The master reads the settings of the slave side.
    const termios tio = m_master->settings();
    QCOMPARE(cfgetospeed(&tio), speed_t(B19200));
    QCOMPARE(cfgetispeed(&tio), speed_t(B19200));
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QVERIFY(tio.c_cflag & CSTOPB);
    QVERIFY(!(tio.c_cflag & CRTSCTS));
    QVERIFY(!(tio.c_iflag & (IXON | IXOFF)));
    QVERIFY(!(tio.c_lflag & (ICANON | ECHO)));
    QVERIFY(!(tio.c_oflag & OPOST));
}

void TestQtSerialPort::opensThroughAPortListLink()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QFile::link(m_master->slave(), dir.filePath(QStringLiteral("COM4"))));
    QtSerialPort port(PortList(dir.path(), {}));
    QVERIFY2(port.open(QStringLiteral("COM4")), qPrintable(port.errorString()));
    QCOMPARE(port.devicePath(), m_master->slave());
    QVERIFY(port.isPseudoTerminal());
    QVERIFY(port.writeByte(0x5A));
    QTRY_COMPARE(m_master->received(), QByteArray("\x5A"));
}

void TestQtSerialPort::failsOnAMissingDevice_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("message");
    QTest::newRow("name that is no port") << QString() << systemMessage(ENOENT);
    QTest::newRow("device gone") << "/dev/pts/no-such-terminal" << systemMessage(ENOENT);
    QTest::newRow("not a terminal") << "regular file" << systemMessage(ENOTTY);
}

void TestQtSerialPort::failsOnAMissingDevice()
{
    QFETCH(QString, device);
    QFETCH(QString, message);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (device == QLatin1String("regular file")) {
        device = dir.filePath(QStringLiteral("ttyFake"));
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QtSerialPort port([device](const QString &) { return device; });
    QVERIFY(!port.open(QStringLiteral("COM3")));
    QVERIFY(!port.isOpen());
    QCOMPARE(port.errorString(), message);
    QCOMPARE(port.portName(), QStringLiteral("COM3"));
    QVERIFY(!port.writeByte(0x01));
}

void TestQtSerialPort::writesBytesUnchanged()
{
    QVERIFY(m_port->open(QStringLiteral("COM9")));
    // Line breaks and the flow-control characters must pass as they are.
    const QByteArray frame("\xFF\x1F\x02\x30\x0A\x0D\x11\x13\x00\x80", 10);
    for (const char byte : frame)
        QVERIFY2(m_port->writeByte(static_cast<quint8>(byte)), qPrintable(m_port->errorString()));
    QTRY_COMPARE(m_master->received(), frame);
}

void TestQtSerialPort::signalsReceivedBytes()
{
    QVERIFY(m_port->open(QStringLiteral("COM9")));
    QSignalSpy spy(m_port.get(), &SerialPort::rxChar);
    const QByteArray reply("\xFF\x01\x02\x30\x0A\x0D\x11", 7);
    QVERIFY(m_master->send(reply));
    QTRY_COMPARE(m_port->bytesAvailable(), reply.size());
    QVERIFY(!spy.isEmpty());
    for (const QList<QVariant> &event : std::as_const(spy))
        QVERIFY(event.at(0).toInt() > 0 && event.at(0).toInt() <= reply.size());
    QCOMPARE(spy.last().at(0).toInt(), reply.size());

    QByteArray read;
    for (int value = m_port->readByte(); value >= 0; value = m_port->readByte())
        read.append(static_cast<char>(value));
    QCOMPARE(read, reply);
    QCOMPARE(m_port->bytesAvailable(), 0);
}

void TestQtSerialPort::holdsRxCharBackDuringAWrite()
{
    QVERIFY(m_port->open(QStringLiteral("COM9")));
    bool writing = false;
    bool duringWrite = false;
    connect(m_port.get(), &SerialPort::rxChar, this, [&] { duringWrite = duringWrite || writing; });
    QSignalSpy spy(m_port.get(), &SerialPort::rxChar);

    // The reply is already waiting when the write starts, so the write's own wait sees it.
    QVERIFY(m_master->send(QByteArray("\xFF\x01", 2)));
    QVERIFY(m_master->waitUntilWaiting());
    writing = true;
    QVERIFY(m_port->writeByte(0x42));
    writing = false;
    QVERIFY(!duringWrite);
    if (spy.isEmpty())
        QVERIFY(spy.wait());
    QCOMPARE(spy.last().at(0).toInt(), 2);
    QCOMPARE(m_port->readByte(), 0xFF);
    QCOMPARE(m_port->readByte(), 0x01);
    QTRY_COMPARE(m_master->received(), QByteArray("\x42"));
}

void TestQtSerialPort::purgeDropsWaitingBytes_data()
{
    QTest::addColumn<bool>("takenByThePort");
    QTest::newRow("bytes in the port's buffer") << true;
    QTest::newRow("bytes still in the driver") << false;
}

void TestQtSerialPort::purgeDropsWaitingBytes()
{
    QFETCH(bool, takenByThePort);

    QVERIFY(m_port->open(QStringLiteral("COM9")));
    QSignalSpy spy(m_port.get(), &SerialPort::rxChar);
    QVERIFY(m_master->send(QByteArray("\x01\x02\x03", 3)));
    if (takenByThePort)
        QTRY_COMPARE(m_port->bytesAvailable(), 3);
    else
        QVERIFY(m_master->waitUntilWaiting());
    m_port->purge();
    QCOMPARE(m_port->bytesAvailable(), 0);
    QCOMPARE(m_port->readByte(), -1);

    // What comes after the purge is read; what came before is gone, and the port stays usable.
    spy.clear();
    QVERIFY(m_master->send(QByteArray("\x42")));
    QTRY_COMPARE(m_port->bytesAvailable(), 1);
    QCOMPARE(m_port->readByte(), 0x42);
    QVERIFY(m_port->isOpen());
    QCOMPARE(spy.last().at(0).toInt(), 1);
}

void TestQtSerialPort::purgeInsideAnEventKeepsThePort_data()
{
    QTest::addColumn<QByteArray>("keptAfterPurge");
    QTest::newRow("nothing buffered") << QByteArray();
    // A reply comes in while the handler writes, before the port's stale wake-up comes.
    QTest::newRow("a reply buffered") << QByteArray("\x07\x08", 2);
}

void TestQtSerialPort::purgeInsideAnEventKeepsThePort()
{
    QFETCH(QByteArray, keptAfterPurge);

    // A handler woken in the same event-loop pass as the port purges it: the port's own wake-up
    // then finds nothing to read, which is not a lost device.
    int pipeEnds[2];
    QVERIFY(::pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC) == 0);
    QSocketNotifier other(pipeEnds[0], QSocketNotifier::Read);
    connect(&other, &QSocketNotifier::activated, this, [&] {
        char drained;
        while (::read(pipeEnds[0], &drained, 1) > 0) {
        }
        m_port->purge();
        if (!keptAfterPurge.isEmpty()) {
            QVERIFY(m_master->send(keptAfterPurge));
            QVERIFY(m_master->waitUntilWaiting());
            QVERIFY(m_port->writeByte(0x55));
        }
    });
    QSignalSpy woken(&other, &QSocketNotifier::activated);

    QVERIFY(m_port->open(QStringLiteral("COM9")));
    QVERIFY(m_master->send(QByteArray("\x01\x02", 2)));
    QVERIFY(m_master->waitUntilWaiting());
    QVERIFY(::write(pipeEnds[1], "x", 1) == 1);
    QVERIFY(woken.wait());

    QVERIFY(m_master->send(QByteArray("\x42")));
    QTRY_COMPARE(m_port->bytesAvailable(), keptAfterPurge.size() + 1);
    QVERIFY(m_port->isOpen());
    for (const char byte : keptAfterPurge)
        QCOMPARE(m_port->readByte(), static_cast<quint8>(byte));
    QCOMPARE(m_port->readByte(), 0x42);
    QVERIFY(m_port->writeByte(0x43));
    QTRY_VERIFY(m_master->received().endsWith('\x43'));
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

void TestQtSerialPort::survivesTheFarEndClosing_data()
{
    QTest::addColumn<bool>("eventsFirst");
    QTest::newRow("noticed by the event loop") << true;
    QTest::newRow("noticed by the next write") << false;
}

void TestQtSerialPort::survivesTheFarEndClosing()
{
    QFETCH(bool, eventsFirst);

    QVERIFY(m_port->open(QStringLiteral("COM9")));
    QVERIFY(m_port->writeByte(0x01));
    m_master->closeMaster();
    if (eventsFirst)
        QTRY_VERIFY(!m_port->isOpen());
    QVERIFY(!m_port->writeByte(0x02));
    QVERIFY(!m_port->isOpen());
    QCOMPARE(m_port->errorString(), systemMessage(EIO));
    QVERIFY(!m_port->writeByte(0x03));
    QCOMPARE(m_port->errorString(), systemMessage(EIO));
    m_port->purge();
    QCOMPARE(m_port->readByte(), -1);
}

void TestQtSerialPort::reopens()
{
    QVERIFY(m_port->open(QStringLiteral("COM9")));
    QVERIFY(m_port->open(QStringLiteral("COM9")));
    QVERIFY(m_port->isOpen());
    m_port->close();
    QVERIFY(!m_port->isOpen());
    QVERIFY(m_port->open(QStringLiteral("COM9")));
    QVERIFY(m_port->writeByte(0x07));
    QTRY_COMPARE(m_master->received(), QByteArray("\x07"));

    // After losing its line the same port opens a new one.
    m_master->closeMaster();
    QTRY_VERIFY(!m_port->isOpen());
    m_master = std::make_unique<Master>();
    QVERIFY(m_master->isValid());
    QVERIFY2(m_port->open(QStringLiteral("COM9")), qPrintable(m_port->errorString()));
    QVERIFY(m_port->writeByte(0x08));
    QTRY_COMPARE(m_master->received(), QByteArray("\x08"));
}

void TestQtSerialPort::opensALineLeftByAKilledProgram_data()
{
    QTest::addColumn<bool>("leftInOurSettings");
    QTest::addColumn<bool>("leftExclusive");
    QTest::newRow("our settings") << true << false;
    QTest::newRow("exclusive mode") << false << true;
    QTest::newRow("both") << true << true;
}

// A program killed while it holds the port cannot restore the line: it stays in the settings the
// open applied, and in exclusive mode. The next open must work all the same.
void TestQtSerialPort::opensALineLeftByAKilledProgram()
{
    QFETCH(bool, leftInOurSettings);
    QFETCH(bool, leftExclusive);

    QVERIFY(m_port->open(QStringLiteral("COM9")));
    const termios ours = m_master->settings();
    int exclusive = -1;
    QCOMPARE(::ioctl(m_master->observer(), TIOCGEXCL, &exclusive), 0);
    QCOMPARE(exclusive, 0);
    m_port->close();

    if (leftInOurSettings)
        QCOMPARE(::tcsetattr(m_master->observer(), TCSANOW, &ours), 0);
    if (leftExclusive)
        QCOMPARE(::ioctl(m_master->observer(), TIOCEXCL), 0);

    QVERIFY2(m_port->open(QStringLiteral("COM9")), qPrintable(m_port->errorString()));
    QVERIFY(m_port->writeByte(0x31));
    QTRY_COMPARE(m_master->received(), QByteArray("\x31"));
    QCOMPARE(::ioctl(m_master->observer(), TIOCGEXCL, &exclusive), 0);
    QCOMPARE(exclusive, 0);
    const termios applied = m_master->settings();
    QVERIFY(applied.c_cflag & CSTOPB);
    QCOMPARE(cfgetospeed(&applied), speed_t(B19200));
}

void TestQtSerialPort::refusesUseWhileClosed()
{
    QVERIFY(!m_port->isOpen());
    QVERIFY(!m_port->writeByte(0x01));
    QVERIFY(!m_port->errorString().isEmpty());
    QCOMPARE(m_port->bytesAvailable(), 0);
    QCOMPARE(m_port->readByte(), -1);
    m_port->purge();
    m_port->close();
}

QTEST_GUILESS_MAIN(TestQtSerialPort)
#include "tst_qtserialport.moc"
