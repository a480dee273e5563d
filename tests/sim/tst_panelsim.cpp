#include "BoardBus.h"
#include "StandIn.h"

#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(static_cast<char>(value));
    return result;
}

} // namespace

// Runs the built tzr-panel-sim and talks to it through its pty as the program would.
class tst_PanelSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void servesTheBusOnAPty();
    void imageKeepsTheBusBetweenRuns();
    void servesTheFaultsItIsGiven();
    void refusesBadOptions_data();
    void refusesBadOptions();

private:
    void start(const QStringList &arguments);
    void stop();
    int openSlave();
    void exchange(int fd, const QByteArray &frame, qsizetype replySize, QByteArray &reply);

    QString m_program;
    std::unique_ptr<QTemporaryDir> m_dir;
    StandIn m_standIn;
    QString m_pty;
    QString m_link;
};

void tst_PanelSim::init()
{
    const QString build = qEnvironmentVariable("TZR_BUILD_DIR");
    if (build.isEmpty())
        QSKIP("TZR_BUILD_DIR is not set");
    m_program = StandIn::program();
    QVERIFY2(QFileInfo(m_program).isExecutable(), qPrintable(m_program));
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_PanelSim::cleanup()
{
    m_standIn.kill();
}

void tst_PanelSim::start(const QStringList &arguments)
{
    const QString error = m_standIn.start(arguments, m_dir->filePath(QStringLiteral("data")));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QStringList fields = m_standIn.linkFields();
    QCOMPARE(fields.size(), 2);
    m_pty = fields[0];
    m_link = fields[1];
}

void tst_PanelSim::stop()
{
    QProcess &process = m_standIn.process();
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

int tst_PanelSim::openSlave()
{
    const int fd = ::open(m_pty.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios settings{};
    if (fd >= 0 && tcgetattr(fd, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(fd, TCSANOW, &settings);
    }
    return fd;
}

void tst_PanelSim::exchange(int fd, const QByteArray &frame, qsizetype replySize, QByteArray &reply)
{
    reply.clear();
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    connect(&notifier, &QSocketNotifier::activated, this, [&] {
        char buffer[64];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0)
            reply.append(buffer, got);
    });
    // One write per byte, as the program sends frames.
    for (char byte : frame)
        QCOMPARE(::write(fd, &byte, 1), ssize_t(1));
    QTRY_VERIFY_WITH_TIMEOUT(reply.size() >= replySize, 5000);
}

void tst_PanelSim::servesTheBusOnAPty()
{
    start({QStringLiteral("--port"), QStringLiteral("27"), QStringLiteral("--boards"), QStringLiteral("0,31"),
           QStringLiteral("--users"), QStringLiteral("2")});
    QCOMPARE(m_link, m_dir->filePath(QStringLiteral("data/Korvel/ports/COM27")));
    QVERIFY(QFileInfo(m_link).isSymLink());
    QCOMPARE(QFileInfo(m_link).symLinkTarget(), m_pty);

    int fd = openSlave();
    QVERIFY(fd >= 0);
    QByteArray reply;
    exchange(fd, bytes({0xFF, 0x00, 0x01, 0x01, 0x01}), 5, reply);
    QCOMPARE(reply, bytes({0xFF, 0x00, 0x01, 0x01, 0x01}));
    // Slot 1 of board 31 holds a sample user: its state byte at address 97 is not 0xFF.
    exchange(fd, bytes({0xFF, 0x1F, 0x03, 0x30, 0x00, 0x61, 0x51}), 6, reply);
    QCOMPARE(reply.left(4), bytes({0xFF, 0x1F, 0x02, 0x30}));
    QVERIFY(static_cast<quint8>(reply[4]) != 0xFF);

    // The program closes and reopens the port during a send; the pty must survive that.
    ::close(fd);
    fd = openSlave();
    QVERIFY(fd >= 0);
    exchange(fd, bytes({0xFF, 0x1F, 0x01, 0x01, 0x01}), 5, reply);
    QCOMPARE(reply, bytes({0xFF, 0x1F, 0x01, 0x01, 0x01}));
    ::close(fd);

    stop();
    QVERIFY(!QFileInfo::exists(m_link) && !QFileInfo(m_link).isSymLink());
}

void tst_PanelSim::imageKeepsTheBusBetweenRuns()
{
    const QString image = m_dir->filePath(QStringLiteral("bus.json"));
    start({QStringLiteral("--boards"), QStringLiteral("4"), QStringLiteral("--image"), image});
    int fd = openSlave();
    QVERIFY(fd >= 0);
    QByteArray reply;
    // New number 9 at address 1, then the restart that makes it count.
    exchange(fd, bytes({0xFF, 0x04, 0x04, 0x31, 0x00, 0x01, 0x09, 0x39}), 5, reply);
    exchange(fd, bytes({0xFF, 0x04, 0x01, 0x0B, 0x0B}), 5, reply);
    QCOMPARE(reply, bytes({0xFF, 0x04, 0x01, 0x0B, 0x0B}));
    ::close(fd);
    stop();

    BoardBus saved;
    QString error;
    QVERIFY2(saved.loadImage(image, &error), qPrintable(error));
    QCOMPARE(saved.boardNumbers(), QList<int>{9});

    // The image wins over --boards for a bus that already exists.
    start({QStringLiteral("--boards"), QStringLiteral("4"), QStringLiteral("--image"), image});
    fd = openSlave();
    QVERIFY(fd >= 0);
    exchange(fd, bytes({0xFF, 0x09, 0x01, 0x01, 0x01}), 5, reply);
    QCOMPARE(reply, bytes({0xFF, 0x09, 0x01, 0x01, 0x01}));
    ::close(fd);
    stop();
}

// A board that lets its first probe pass and does not keep writes at given addresses.
void tst_PanelSim::servesTheFaultsItIsGiven()
{
    start({QStringLiteral("--miss-probes"), QStringLiteral("1"), QStringLiteral("--lose-writes-at"),
           QStringLiteral("0x30-0x34")});
    const int fd = openSlave();
    QVERIFY(fd >= 0);
    QByteArray reply;
    // The probe goes unanswered, so the first reply is that of the read after it.
    for (char byte : bytes({0xFF, 0x01, 0x01, 0x01, 0x01}))
        QCOMPARE(::write(fd, &byte, 1), ssize_t(1));
    exchange(fd, bytes({0xFF, 0x01, 0x03, 0x30, 0x00, 0x02, 0x32}), 6, reply);
    QCOMPARE(reply, bytes({0xFF, 0x01, 0x02, 0x30, 0x06, 0x36}));
    exchange(fd, bytes({0xFF, 0x01, 0x01, 0x01, 0x01}), 5, reply);
    QCOMPARE(reply, bytes({0xFF, 0x01, 0x01, 0x01, 0x01}));
    // Address 0x34 acknowledges a write of 0x12 and keeps 0xFF; 0x35 keeps what it is given.
    for (const int address : {0x34, 0x35}) {
        exchange(fd, bytes({0xFF, 0x01, 0x04, 0x31, 0x00, address, 0x12, 0x31 ^ address ^ 0x12}), 5, reply);
        QCOMPARE(reply, bytes({0xFF, 0x01, 0x01, 0x31, 0x31}));
        exchange(fd, bytes({0xFF, 0x01, 0x03, 0x30, 0x00, address, 0x30 ^ address}), 6, reply);
        const int kept = address == 0x34 ? 0xFF : 0x12;
        QCOMPARE(reply, bytes({0xFF, 0x01, 0x02, 0x30, kept, 0x30 ^ kept}));
    }
    ::close(fd);
    stop();
}

void tst_PanelSim::refusesBadOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("late over 1") << QStringList{QStringLiteral("--late"), QStringLiteral("2")};
    QTest::newRow("address range backwards") << QStringList{QStringLiteral("--lose-writes-at"), QStringLiteral("282-277")};
    QTest::newRow("address past memory") << QStringList{QStringLiteral("--lose-writes-at"), QStringLiteral("65536")};
    QTest::newRow("negative probes") << QStringList{QStringLiteral("--miss-probes"), QStringLiteral("-1")};
    QTest::newRow("board 32") << QStringList{QStringLiteral("--boards"), QStringLiteral("3,32")};
    QTest::newRow("probability over 1") << QStringList{QStringLiteral("--drop"), QStringLiteral("1.5")};
    QTest::newRow("code with C") << QStringList{QStringLiteral("--master-code"), QStringLiteral("12C45")};
}

void tst_PanelSim::refusesBadOptions()
{
    QFETCH(QStringList, arguments);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("data")));
    process.setProcessEnvironment(environment);
    process.start(m_program, arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(!process.readAllStandardError().isEmpty());
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("data/Korvel/ports/COM20"))));
}

QTEST_GUILESS_MAIN(tst_PanelSim)
#include "tst_panelsim.moc"
