#include "InstalledData.h"
#include "StandIn.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

// Runs the built tzr over the network against the built stand-in: straight to its own TCP port,
// and through Debian's ser2net bridging its pseudo-terminal, as raw TCP and with RFC 2217.
class TestTzrNetwork : public QObject
{
    Q_OBJECT

public:
    enum class Route
    {
        Direct,
        Ser2netRaw,
        Ser2netTelnet
    };

private slots:
    void init();
    void cleanup();
    void commands_data();
    void commands();
    void namedPortFromTheConfiguration();
    void ser2netSetsTheLine();
    void ser2netKilledMidReceive_data();
    void ser2netKilledMidReceive();

private:
    [[nodiscard]] bool startSim(const QStringList &extra);
    [[nodiscard]] bool startSer2net();
    QString address(Route route) const;
    struct Result
    {
        int status = -1;
        QString out;
        QString err;
    };
    Result tzr(const QStringList &arguments);
    QProcess *startTzr(const QStringList &arguments);
    static quint16 freePort();

    std::unique_ptr<QTemporaryDir> m_dir;
    StandIn m_sim;
    std::unique_ptr<QProcess> m_ser2net;
    QString m_build;
    quint16 m_rawPort = 0;
    quint16 m_telnetPort = 0;
};

Q_DECLARE_METATYPE(TestTzrNetwork::Route)

namespace {

QString ser2netProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
}

[[nodiscard]] bool listening(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("127.0.0.1"), port);
    const bool up = probe.waitForConnected(200);
    probe.abort();
    return up;
}

} // namespace

void TestTzrNetwork::init()
{
    m_build = qEnvironmentVariable("TZR_BUILD_DIR");
    if (m_build.isEmpty())
        QSKIP("TZR_BUILD_DIR is not set");
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString korvel = m_dir->filePath(QStringLiteral("data/Korvel"));
    QVERIFY(copyInstalledData(m_build, korvel));
    QVERIFY(startSim({}));
}

void TestTzrNetwork::cleanup()
{
    if (m_ser2net) {
        m_ser2net->terminate();
        m_ser2net->waitForFinished(10000);
    }
    m_ser2net.reset();
    m_sim.stop();
    m_dir.reset();
}

quint16 TestTzrNetwork::freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

bool TestTzrNetwork::startSim(const QStringList &extra)
{
    const QString error =
        m_sim.start(QStringList{"--port", "28", "--boards", "1,3", "--users", "5", "--tcp", "0"} + extra,
                    m_dir->filePath(QStringLiteral("data")));
    if (!error.isEmpty())
        qWarning("%s", qPrintable(error));
    return error.isEmpty() && m_sim.tcpPort() != 0;
}

// ser2net on the stand-in's terminal: raw TCP with the line set by its configuration, and
// RFC 2217 with a configuration of 9600 8N1, so only the program's settings can make it 19200.
bool TestTzrNetwork::startSer2net()
{
    const QString program = ser2netProgram();
    if (program.isEmpty())
        return false;
    m_rawPort = freePort();
    m_telnetPort = freePort();
    const QString config = m_dir->filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // chardelay off: by default ser2net holds received bytes up to 20 character times.
    file.write(QStringLiteral("connection: &raw\n"
                              "  accepter: tcp,127.0.0.1,%1\n"
                              "  connector: serialdev,%3,19200e82,local\n"
                              "  options:\n    kickolduser: true\n    chardelay: false\n"
                              "connection: &rfc2217\n"
                              "  accepter: telnet(rfc2217),tcp,127.0.0.1,%2\n"
                              "  connector: serialdev,%3,9600n81,local\n"
                              "  options:\n    kickolduser: true\n    chardelay: false\n")
                   .arg(m_rawPort)
                   .arg(m_telnetPort)
                   .arg(m_sim.pty())
                   .toUtf8());
    file.close();
    m_ser2net = std::make_unique<QProcess>();
    m_ser2net->setProcessChannelMode(QProcess::ForwardedChannels);
    m_ser2net->start(program,
                     {"-n", "-u", "-c", config, "-P", m_dir->filePath(QStringLiteral("ser2net.pid"))});
    if (!m_ser2net->waitForStarted())
        return false;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        if (listening(m_rawPort) && listening(m_telnetPort))
            return true;
        QTest::qWait(50);
    }
    return false;
}

QString TestTzrNetwork::address(Route route) const
{
    switch (route) {
    case Route::Direct:
        return QStringLiteral("tcp://127.0.0.1:%1").arg(m_sim.tcpPort());
    case Route::Ser2netRaw:
        return QStringLiteral("tcp://127.0.0.1:%1").arg(m_rawPort);
    case Route::Ser2netTelnet:
        return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_telnetPort);
    }
    return {};
}

QProcess *TestTzrNetwork::startTzr(const QStringList &arguments)
{
    auto *process = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TZR_MASTER_CODE"));
    env.insert(QStringLiteral("TZR_CODE"), QStringLiteral("73518"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("data")));
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(m_dir->path());
    process->setStandardInputFile(QProcess::nullDevice());
    process->start(m_build + QStringLiteral("/cli/tzr"), arguments);
    return process;
}

TestTzrNetwork::Result TestTzrNetwork::tzr(const QStringList &arguments)
{
    std::unique_ptr<QProcess> process(startTzr(arguments));
    Result result;
    if (!process->waitForFinished(120000))
        return result;
    result.status = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    result.out = QString::fromUtf8(process->readAllStandardOutput());
    result.err = QString::fromUtf8(process->readAllStandardError());
    return result;
}

void TestTzrNetwork::commands_data()
{
    QTest::addColumn<Route>("route");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("receiveFirst");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    const QList<std::pair<const char *, Route>> routes{{"stand-in tcp", Route::Direct},
                                                       {"ser2net tcp", Route::Ser2netRaw},
                                                       {"ser2net rfc2217", Route::Ser2netTelnet}};
    for (const auto &[label, route] : routes) {
        const QString name = QString::fromLatin1(label);
        QTest::newRow(qPrintable(name + QStringLiteral(", scan")))
            << route << QStringList{"scan"} << false << "01\n03\n"
            << "";
        QTest::newRow(qPrintable(name + QStringLiteral(", test")))
            << route << QStringList{"test"} << false << "Panel : 3    Code length : 6 -- Card\n"
            << "";
        QTest::newRow(qPrintable(name + QStringLiteral(", receive")))
            << route << QStringList{"receive", "f.db"} << false << ""
            << "Received 5 users";
        QTest::newRow(qPrintable(name + QStringLiteral(", send")))
            << route << QStringList{"send", "f.db", "--by-name"} << true << ""
            << "Sent 5 users";
        QTest::newRow(qPrintable(name + QStringLiteral(", send of changes")))
            << route << QStringList{"send", "f.db", "--changes"} << true << ""
            << "0 slots written, 0 emptied";
        QTest::newRow(qPrintable(name + QStringLiteral(", compare")))
            << route << QStringList{"compare", "f.db"} << true << "slot,kind,board_name"
            << "hold the same 5 users";
    }
}

void TestTzrNetwork::commands()
{
    QFETCH(Route, route);
    QFETCH(QStringList, arguments);
    QFETCH(bool, receiveFirst);
    QFETCH(QString, out);
    QFETCH(QString, err);
    if (route != Route::Direct && !startSer2net()) {
        if (ser2netProgram().isEmpty())
            QSKIP("ser2net is not installed");
        QFAIL("ser2net did not start");
    }
    const QStringList port{"--port", address(route)};
    if (receiveFirst) {
        const Result received = tzr(QStringList{"receive", "f.db"} + port);
        QVERIFY2(received.status == 0, qPrintable(received.err));
    }
    const Result result = tzr(arguments + port);
    QVERIFY2(result.status == 0, qPrintable(result.err));
    // Each row names what it expects on standard output, standard error, or both.
    QVERIFY(!out.isEmpty() || !err.isEmpty());
    if (!out.isEmpty())
        QVERIFY2(result.out.contains(out), qPrintable(result.out));
    if (!err.isEmpty())
        QVERIFY2(result.err.contains(err), qPrintable(result.err));
}

// ComPort naming a network port kept in the file's own section: tzr finds it without --port.
void TestTzrNetwork::namedPortFromTheConfiguration()
{
    QFile ini(m_dir->filePath(QStringLiteral("data/Korvel/TZR_USR.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[TZR]\r\nComPort=NET7\r\n[NetworkPorts]\r\nNET7=%1\r\n")
                  .arg(address(Route::Direct))
                  .toLatin1());
    ini.close();
    const Result ports = tzr({"ports"});
    QCOMPARE(ports.status, 0);
    QVERIFY2(ports.out.contains(QStringLiteral("NET7\t%1\n").arg(address(Route::Direct))),
             qPrintable(ports.out));
    const Result scan = tzr({"scan"});
    QVERIFY2(scan.status == 0, qPrintable(scan.err));
    QCOMPARE(scan.out, QStringLiteral("01\n03\n"));
    const Result bad = tzr({"scan", "--port", "rfc2217://127.0.0.1"});
    QCOMPARE(bad.status, 2);
    QVERIFY2(bad.err.contains(QStringLiteral("is not a network address")), qPrintable(bad.err));
}

// The terminal behind ser2net starts at 9600 8N1 (ser2net's configuration): after a scan over
// RFC 2217 it runs at 19200 with 8 data bits and 2 stop bits. A pseudo-terminal keeps no parity
// flag; that the server took even parity is checked by the port itself at every open.
void TestTzrNetwork::ser2netSetsTheLine()
{
    if (!startSer2net()) {
        if (ser2netProgram().isEmpty())
            QSKIP("ser2net is not installed");
        QFAIL("ser2net did not start");
    }
    // The common option before the subcommand, as an installer would type it.
    const Result scan = tzr({"--port", address(Route::Ser2netTelnet), "scan"});
    QVERIFY2(scan.status == 0, qPrintable(scan.err));
    QCOMPARE(scan.out, QStringLiteral("01\n03\n"));
    const int fd =
        ::open(QFile::encodeName(m_sim.pty()).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(fd >= 0);
    termios settings{};
    const int got = ::tcgetattr(fd, &settings);
    ::close(fd);
    QCOMPARE(got, 0);
    QCOMPARE(cfgetospeed(&settings), speed_t(B19200));
    QCOMPARE(settings.c_cflag & CSIZE, tcflag_t(CS8));
    QVERIFY(settings.c_cflag & CSTOPB);
    QVERIFY(!(settings.c_cflag & CRTSCTS));
}

void TestTzrNetwork::ser2netKilledMidReceive_data()
{
    QTest::addColumn<Route>("route");
    QTest::newRow("raw tcp") << Route::Ser2netRaw;
    QTest::newRow("rfc2217") << Route::Ser2netTelnet;
}

// ser2net dies in the middle of a receive: the port is lost, tzr says so and the file keeps what
// it held (board 3's users, which differ from board 1's).
void TestTzrNetwork::ser2netKilledMidReceive()
{
    QFETCH(Route, route);
    const QString log = m_dir->filePath(QStringLiteral("frames.log"));
    QVERIFY(startSim({"--log", log, "--latency", "5"}));
    if (!startSer2net()) {
        if (ser2netProgram().isEmpty())
            QSKIP("ser2net is not installed");
        QFAIL("ser2net did not start");
    }
    const QStringList port{"--port", address(route)};
    QCOMPARE(tzr(QStringList{"receive", "f.db", "--board", "3"} + port).status, 0);
    QCOMPARE(tzr({"export", "f.db", "before.csv"}).status, 0);

    std::unique_ptr<QProcess> receive(startTzr(QStringList{"receive", "f.db", "--board", "1"} + port));
    QVERIFY(receive->waitForStarted());
    const auto reads = [&log] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count("board 1 read") : qsizetype(0);
    };
    QTRY_VERIFY_WITH_TIMEOUT(reads() > 100, 60000);
    m_ser2net->kill();
    m_ser2net->waitForFinished(10000);
    QVERIFY(receive->waitForFinished(60000));
    const QString err = QString::fromUtf8(receive->readAllStandardError());
    QVERIFY2(receive->exitCode() == 3, qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("receive incomplete; the file was not changed")), qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("no longer present")), qPrintable(err));

    QCOMPARE(tzr({"export", "f.db", "after.csv"}).status, 0);
    QFile before(m_dir->filePath(QStringLiteral("before.csv")));
    QFile after(m_dir->filePath(QStringLiteral("after.csv")));
    QVERIFY(before.open(QIODevice::ReadOnly) && after.open(QIODevice::ReadOnly));
    const QByteArray held = before.readAll();
    QCOMPARE(held.count('\n'), 5);
    QCOMPARE(after.readAll(), held);
}

QTEST_GUILESS_MAIN(TestTzrNetwork)
#include "InstalledData.h"
#include "tst_tzrnetwork.moc"
