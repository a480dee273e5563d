#include "NetworkAddress.h"
#include "NetworkPort.h"
#include "ProfileFile.h"
#include "RoutingPort.h"
#include "TelnetCodec.h"
#include "TzrError.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A device server on the loopback address: raw, or answering RFC 2217 as ser2net does (each
// setting confirmed with the value in force, which a test may falsify).
class FakeServer : public QObject
{
public:
    explicit FakeServer(bool telnet) : m_telnet(telnet)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            m_client = m_server.nextPendingConnection();
            connect(m_client, &QTcpSocket::readyRead, this, [this] { onData(); });
            // As ser2net does: its own requests before the client says anything.
            if (greetFirst)
                m_client->write(
                    TelnetCodec::negotiation(TelnetCodec::WILL, TelnetCodec::OPTION_SUPPRESS_GO_AHEAD) +
                    TelnetCodec::negotiation(TelnetCodec::DO, TelnetCodec::OPTION_COM_PORT));
        });
    }
    [[nodiscard]] bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QString address() const
    {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(m_telnet ? "rfc2217" : "tcp")
            .arg(m_server.serverPort());
    }
    // Line data received, Telnet framing taken out.
    QByteArray data() const { return m_data; }
    QList<TelnetCodec::Command> commands() const { return m_commands; }
    void send(const QByteArray &wire)
    {
        m_client->write(wire);
        m_client->flush();
    }
    void drop() { m_client->abort(); }

    bool refuseComPort = false;
    bool refuseBinary = false;
    bool greetFirst = false;
    bool silent = false;
    QByteArray baudAnswer; // empty: the value asked for

private:
    void onData()
    {
        const QByteArray bytes = m_client->readAll();
        if (!m_telnet) {
            m_data += bytes;
            return;
        }
        m_data += m_codec.decode(bytes);
        for (const TelnetCodec::Command &command : m_codec.takeCommands()) {
            m_commands << command;
            if (silent)
                continue;
            // Binary both ways, as ser2net agrees to it.
            if ((command.verb == TelnetCodec::WILL || command.verb == TelnetCodec::DO) &&
                command.option == TelnetCodec::OPTION_BINARY)
                m_client->write(TelnetCodec::negotiation(
                    command.verb == TelnetCodec::WILL ? (refuseBinary ? TelnetCodec::DONT : TelnetCodec::DO)
                                                      : (refuseBinary ? TelnetCodec::WONT : TelnetCodec::WILL),
                    TelnetCodec::OPTION_BINARY));
            if (command.verb == TelnetCodec::WILL && command.option == TelnetCodec::OPTION_COM_PORT)
                m_client->write(TelnetCodec::negotiation(refuseComPort ? TelnetCodec::DONT : TelnetCodec::DO,
                                                         TelnetCodec::OPTION_COM_PORT));
            // Like ser2net on a pseudo-terminal: no answer about modem lines it does not have.
            const bool modemLine = command.data.size() == 2 &&
                                   quint8(command.data[0]) == NetworkPort::SET_CONTROL &&
                                   quint8(command.data[1]) != 1;
            if (command.verb == TelnetCodec::SB && !command.data.isEmpty() && !modemLine) {
                QByteArray reply = command.data;
                reply[0] = char(quint8(reply[0]) + NetworkPort::SERVER_OFFSET);
                if (quint8(command.data[0]) == NetworkPort::SET_BAUDRATE && !baudAnswer.isEmpty())
                    reply = reply.left(1) + baudAnswer;
                m_client->write(TelnetCodec::subnegotiation(TelnetCodec::OPTION_COM_PORT, reply));
            }
        }
    }

    bool m_telnet;
    QTcpServer m_server;
    QTcpSocket *m_client = nullptr;
    TelnetCodec m_codec;
    QByteArray m_data;
    QList<TelnetCodec::Command> m_commands;
};

} // namespace

class TestNetworkPort : public QObject
{
    Q_OBJECT

private slots:
    void addressParse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("margin");
        QTest::newRow("rfc2217") << "rfc2217://10.0.4.20:4001" << true << "rfc2217://10.0.4.20:4001" << -1;
        QTest::newRow("tcp upper case")
            << "TCP://Panel-1.example:23" << true << "tcp://Panel-1.example:23" << -1;
        QTest::newRow("margin") << "tcp://h:1?margin=40" << true << "tcp://h:1?margin=40" << 40;
        QTest::newRow("ipv6") << "rfc2217://[::1]:2000" << true << "rfc2217://[::1]:2000" << -1;
        QTest::newRow("no port") << "tcp://host" << false << "" << -1;
        QTest::newRow("port 0") << "tcp://host:0" << false << "" << -1;
        QTest::newRow("port too big") << "tcp://host:65536" << false << "" << -1;
        QTest::newRow("unknown kind") << "udp://host:1" << false << "" << -1;
        QTest::newRow("margin too big") << "tcp://h:1?margin=20000" << false << "" << -1;
        QTest::newRow("path") << "tcp://h:1/x" << false << "" << -1;
        QTest::newRow("com name") << "COM3" << false << "" << -1;
    }
    void addressParse()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto address = NetworkAddress::parse(text);
        QCOMPARE(address.has_value(), valid);
        if (!valid)
            return;
        QFETCH(QString, shown);
        QFETCH(int, margin);
        QCOMPARE(address->toString(), shown);
        QCOMPARE(address->margin.has_value(), margin >= 0);
        if (margin >= 0)
            QCOMPARE(address->margin->count(), margin);
    }

    // Chunks separated by '|'; the commands as "verb:option:data" hex.
    void telnetDecode_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("plain") << QByteArrayList{hex("0102")} << hex("0102") << QStringList{};
        QTest::newRow("doubled 255") << QByteArrayList{hex("ffff01ffff02")} << hex("ff01ff02")
                                     << QStringList{};
        QTest::newRow("255 split over reads")
            << QByteArrayList{hex("01ff"), hex("ff02")} << hex("01ff02") << QStringList{};
        QTest::newRow("negotiation amid data")
            << QByteArrayList{hex("01fffd2c02")} << hex("0102") << QStringList{"fd:2c:"};
        QTest::newRow("subnegotiation split")
            << QByteArrayList{hex("fffa2c65"), hex("03fff0aa")} << hex("aa") << QStringList{"fa:2c:6503"};
        QTest::newRow("255 inside subnegotiation")
            << QByteArrayList{hex("fffa2c01ffff00fff0")} << QByteArray() << QStringList{"fa:2c:01ff00"};
        QTest::newRow("nop dropped") << QByteArrayList{hex("fff101")} << hex("01") << QStringList{};
    }
    void telnetDecode()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QByteArray, data);
        QFETCH(QStringList, commands);
        TelnetCodec codec;
        QByteArray got;
        for (const QByteArray &chunk : chunks)
            got += codec.decode(chunk);
        QStringList seen;
        for (const TelnetCodec::Command &c : codec.takeCommands())
            seen << QStringLiteral("%1:%2:%3")
                        .arg(c.verb, 2, 16, QLatin1Char('0'))
                        .arg(c.option, 2, 16, QLatin1Char('0'))
                        .arg(QString::fromLatin1(c.data.toHex()));
        QCOMPARE(got.toHex(), data.toHex());
        QCOMPARE(seen, commands);
    }

    void telnetEscape()
    {
        QCOMPARE(TelnetCodec::escape(hex("ff01ff")).toHex(), QByteArray("ffff01ffff"));
        TelnetCodec codec;
        const QByteArray all = [] {
            QByteArray b;
            for (int i = 0; i < 256; ++i)
                b.append(char(i));
            return b;
        }();
        QCOMPARE(codec.decode(TelnetCodec::escape(all)), all);
    }

    // A frame starts with 255: over Telnet it must reach the board whole and come back whole.
    void framesCrossTheLine_data()
    {
        QTest::addColumn<bool>("telnet");
        QTest::newRow("raw tcp") << false;
        QTest::newRow("rfc2217") << true;
    }
    void framesCrossTheLine()
    {
        QFETCH(bool, telnet);
        FakeServer server(telnet);
        QVERIFY(server.listen());
        NetworkPort port;
        QVERIFY2(port.open(server.address()), qPrintable(port.errorString()));
        QVERIFY(port.isOpen());
        QCOMPARE(port.portName(), server.address());
        QVERIFY(port.replyMargin() >= NetworkPort::ServerAllowance);

        const QByteArray frame = hex("ff0103014131");
        for (const char c : frame)
            QVERIFY(port.writeByte(quint8(c)));
        QTRY_COMPARE(server.data().toHex(), frame.toHex());

        QSignalSpy rx(&port, &SerialPort::rxChar);
        const QByteArray reply = hex("ff0102ff");
        server.send(telnet ? TelnetCodec::escape(reply) : reply);
        QTRY_COMPARE(port.bytesAvailable(), int(reply.size()));
        QVERIFY(!rx.isEmpty());
        QByteArray got;
        for (int b = port.readByte(); b >= 0; b = port.readByte())
            got.append(char(b));
        QCOMPARE(got.toHex(), reply.toHex());
    }

    void lineSettingsAsked_data()
    {
        QTest::addColumn<bool>("greetFirst");
        QTest::newRow("client speaks first") << false;
        QTest::newRow("server greets first") << true;
    }
    void lineSettingsAsked()
    {
        QFETCH(bool, greetFirst);
        FakeServer server(true);
        server.greetFirst = greetFirst;
        QVERIFY(server.listen());
        NetworkPort port;
        QVERIFY2(port.open(server.address()), qPrintable(port.errorString()));
        QStringList settings;
        for (const TelnetCodec::Command &c : server.commands())
            if (c.verb == TelnetCodec::SB)
                settings << QString::fromLatin1(c.data.toHex());
        // 19200 baud, 8 bits, even parity, 2 stop bits, no flow control, DTR and RTS off.
        QCOMPARE(settings, (QStringList{"0100004b00", "0208", "0303", "0402", "0501", "0509", "050c"}));
        // Each option offered once, whoever asked first.
        int comPortOffers = 0;
        for (const TelnetCodec::Command &c : server.commands())
            comPortOffers += c.verb == TelnetCodec::WILL && c.option == TelnetCodec::OPTION_COM_PORT;
        QCOMPARE(comPortOffers, 1);
        port.purge();
        QTRY_COMPARE(server.commands().last().data.toHex(), QByteArray("0c03"));
    }

    void openFails_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("com port refused") << "refuse";
        QTest::newRow("binary refused") << "binary";
        QTest::newRow("wrong baud confirmed") << "baud";
        QTest::newRow("nobody listening") << "closed";
    }
    void openFails()
    {
        QFETCH(QString, what);
        auto server = std::make_unique<FakeServer>(true);
        QVERIFY(server->listen());
        const QString address = server->address();
        server->refuseComPort = what == QLatin1String("refuse");
        server->refuseBinary = what == QLatin1String("binary");
        if (what == QLatin1String("baud"))
            server->baudAnswer = hex("00002580"); // 9600
        if (what == QLatin1String("closed"))
            server.reset();
        NetworkPort port;
        QVERIFY(!port.open(address));
        QVERIFY(!port.isOpen());
        QVERIFY(!port.errorString().isEmpty());
        QCOMPARE(port.openFailure().kind, PortOpenFailure::Kind::Other);
        if (what == QLatin1String("binary"))
            QVERIFY2(port.errorString().contains(QLatin1String("binary mode")), qPrintable(port.errorString()));
        QVERIFY(!port.writeByte(1));
    }

    // A far end that asks again and again gets one answer per option, never a bounce.
    void negotiationAnsweredOncePerOption()
    {
        FakeServer server(true);
        QVERIFY(server.listen());
        NetworkPort port;
        QVERIFY2(port.open(server.address()), qPrintable(port.errorString()));
        QByteArray pestering;
        for (int i = 0; i < 50; ++i)
            pestering += TelnetCodec::negotiation(TelnetCodec::DO, 77) + TelnetCodec::negotiation(TelnetCodec::WILL, 200);
        server.send(pestering + hex("42"));
        QTRY_COMPARE(port.bytesAvailable(), 1);
        const auto count = [&](quint8 verb, quint8 option) {
            int n = 0;
            for (const TelnetCodec::Command &c : server.commands())
                n += c.verb == verb && c.option == option;
            return n;
        };
        QTRY_COMPARE(count(TelnetCodec::WONT, 77), 1);
        QCOMPARE(count(TelnetCodec::DONT, 200), 1);
    }

    void floodWhileIdleIsBounded()
    {
        FakeServer server(false);
        QVERIFY(server.listen());
        NetworkPort port;
        QVERIFY(port.open(server.address()));
        QByteArray flood(1024 * 1024, 'x');
        flood += "END";
        server.send(flood);
        int most = 0;
        QByteArray kept;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                most = std::max(most, port.bytesAvailable());
                for (int b = port.readByte(); b >= 0; b = port.readByte())
                    kept.append(char(b));
                return kept.endsWith("END");
            }(),
            20000);
        QVERIFY2(most <= NetworkPort::MostBuffered, qPrintable(QString::number(most)));
        QVERIFY(kept.size() < flood.size());
        QVERIFY(kept.endsWith("END"));
    }

    void droppedConnectionIsLost()
    {
        FakeServer server(false);
        QVERIFY(server.listen());
        NetworkPort port;
        QVERIFY(port.open(server.address()));
        QTRY_VERIFY(server.data().isEmpty() && port.isOpen());
        server.drop();
        QTRY_VERIFY(port.isLost());
        QVERIFY(!port.isOpen());
        QVERIFY(!port.writeByte(1));
        QVERIFY(!port.errorString().isEmpty());
        // A new open starts afresh.
        FakeServer other(false);
        QVERIFY(other.listen());
        QVERIFY(port.open(other.address()));
        QVERIFY(!port.isLost());
    }

    void marginOverride()
    {
        FakeServer server(false);
        QVERIFY(server.listen());
        NetworkPort port;
        QVERIFY(port.open(server.address() + QStringLiteral("?margin=250")));
        QCOMPARE(port.replyMargin(), 250ms);
        QCOMPARE(NetworkPort::marginFor(1500us), 4ms + NetworkPort::ServerAllowance);
    }

    void routing()
    {
        FakeServer server(false);
        QVERIFY(server.listen());
        // The named ports as the settings give them, names in any letter case.
        const QString address = server.address();
        const auto lookUp = [address](const QString &name) {
            return name.compare(QStringLiteral("NET1"), Qt::CaseInsensitive) == 0 ? address : QString();
        };
        NetworkPort network(lookUp);
        NetworkPort local; // stands for the serial port: it cannot open a "COM" name
        RoutingPort port(local, network, [lookUp](const QString &name) { return !lookUp(name).isEmpty(); });
        QVERIFY(!port.open(QStringLiteral("COM3")));
        QVERIFY(port.open(QStringLiteral("net1")));
        QCOMPARE(port.portName(), QStringLiteral("net1"));
        QVERIFY(port.writeByte(0x41));
        QTRY_COMPARE(server.data(), QByteArray("A"));
        QSignalSpy rx(&port, &SerialPort::rxChar);
        server.send("Z");
        QVERIFY(rx.wait());
        QCOMPARE(port.readByte(), int('Z'));
    }
};

QTEST_GUILESS_MAIN(TestNetworkPort)
#include "tst_networkport.moc"
