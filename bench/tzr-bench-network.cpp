// A 350-user board behind a network: a full receive through ser2net with RFC 2217 on the loopback
// address at emulated wire speed (ratio to the wire-time bound), then the time per exchange of a
// run of reads on the local port, through ser2net, and through ser2net behind a proxy that adds
// a 20 ms round trip. Prints `name: value` lines. Needs ser2net.

#include "BenchSupport.h"
#include "Clock.h"
#include "Comunicacion_TZR.h"
#include "Comunicacion_TZR_p.h"
#include "MemoryTable.h"
#include "NetworkPort.h"
#include "PortList.h"
#include "QtSerialPort.h"
#include "StandIn.h"
#include "TablaTransferencia.h"
#include "TextLookup.h"
#include "Transferencias.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <deque>
#include <memory>

using namespace std::chrono_literals;

namespace {

using bench::EnglishTexts;
using bench::print;

quint16 freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

// ser2net serving the pty with RFC 2217 on 127.0.0.1.
class Ser2net
{
public:
    Ser2net(const QString &folder, const QString &pty) : m_port(freePort())
    {
        const QString program =
            QStandardPaths::findExecutable(QStringLiteral("ser2net"), {"/usr/sbin", "/usr/local/sbin"});
        if (program.isEmpty())
            return;
        const QString config = folder + QStringLiteral("/ser2net.yaml");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(QStringLiteral("connection: &bench\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                  "  connector: serialdev,%2,19200e82,local\n"
                                  "  options:\n    kickolduser: true\n    chardelay: false\n")
                       .arg(m_port)
                       .arg(pty)
                       .toUtf8());
        file.close();
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(program, {"-n", "-u", "-c", config, "-P", folder + QStringLiteral("/ser2net.pid")});
        if (!m_process.waitForStarted(5000))
            return;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000 && !m_ready) {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), m_port);
            m_ready = probe.waitForConnected(200);
            probe.abort();
            if (!m_ready) {
                QEventLoop pause;
                QTimer::singleShot(50, &pause, &QEventLoop::quit);
                pause.exec();
            }
        }
    }
    ~Ser2net()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }
    bool ready() const { return m_ready; }
    quint16 port() const { return m_port; }

private:
    quint16 m_port;
    QProcess m_process;
    bool m_ready = false;
};

// Forwards one connection to a target, holding every chunk for half the added round trip in
// each direction, in order.
class DelayProxy : public QObject
{
public:
    DelayProxy(quint16 target, std::chrono::milliseconds oneWay) : m_target(target), m_oneWay(oneWay)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            m_client = m_server.nextPendingConnection();
            m_client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            m_upstream = new QTcpSocket(this);
            m_upstream->connectToHost(QStringLiteral("127.0.0.1"), m_target);
            m_upstream->waitForConnected(5000);
            m_upstream->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            connect(m_client, &QTcpSocket::readyRead, this, [this] { hold(m_client->readAll(), true); });
            connect(m_upstream, &QTcpSocket::readyRead, this, [this] { hold(m_upstream->readAll(), false); });
        });
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &DelayProxy::release);
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    struct Chunk
    {
        qint64 due;
        QByteArray bytes;
        bool up;
    };
    void hold(const QByteArray &bytes, bool up)
    {
        m_queue.push_back({m_clock.elapsed() + m_oneWay.count(), bytes, up});
        if (!m_timer.isActive())
            m_timer.start(std::max<qint64>(0, m_queue.front().due - m_clock.elapsed()));
    }
    void release()
    {
        while (!m_queue.empty() && m_queue.front().due <= m_clock.elapsed()) {
            const Chunk chunk = m_queue.front();
            m_queue.pop_front();
            QTcpSocket *to = chunk.up ? m_upstream.data() : m_client.data();
            if (to)
                to->write(chunk.bytes);
        }
        if (!m_queue.empty())
            m_timer.start(std::max<qint64>(0, m_queue.front().due - m_clock.elapsed()));
    }

    quint16 m_target;
    std::chrono::milliseconds m_oneWay;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QPointer<QTcpSocket> m_upstream;
    QTimer m_timer;
    QElapsedTimer m_clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    std::deque<Chunk> m_queue;
};

constexpr double BYTE_SECONDS = 12.0 / 19200.0;
constexpr int SampleReads = 400;

// Time per exchange of a run of reads spread over the user area.
double msPerRead(Comunicacion_TZR &link, int &failures)
{
    const qint64 e0 = Comunicacion_TZRPrivate(link).intercambios();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < SampleReads; ++i) {
        int value = 0;
        if (!link.Lee_Byte(1, 32 + 20 + 45 * (i % 350), value))
            ++failures;
    }
    return static_cast<double>(t.nsecsElapsed()) / 1e6 / static_cast<double>(Comunicacion_TZRPrivate(link).intercambios() - e0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir xdg;
    QDir(xdg.path()).mkpath(QStringLiteral("Korvel/ports"));
    const QString links = xdg.path() + QStringLiteral("/Korvel/ports");
    EnglishTexts texts;
    Clock clock;
    int status = 0;

    StandIn sim;
    if (!bench::startStandIn(sim, xdg.path(), 51,
                             {QStringLiteral("--boards"), QStringLiteral("1"), QStringLiteral("--users"),
                              QStringLiteral("350"), QStringLiteral("--wire-speed")}))
        return 2;

    // The local reference first, while ser2net does not hold the terminal.
    {
        PortList ports(links, {});
        QtSerialPort port(ports);
        if (!port.open(QStringLiteral("COM51")))
            return 2;
        Comunicacion_TZR link;
        link.setPuerto(&port);
        int failures = 0;
        print(QStringLiteral("local_ms_per_exchange"), msPerRead(link, failures), QStringLiteral("ms"));
        print(QStringLiteral("local_failed_reads"), failures);
    }

    Ser2net ser2net(xdg.path(), sim.pty());
    if (!ser2net.ready()) {
        QTextStream(stderr) << "ser2net did not start (is it installed?)" << Qt::endl;
        return 2;
    }
    const QString direct = QStringLiteral("rfc2217://127.0.0.1:%1").arg(ser2net.port());
    {
        NetworkPort port;
        if (!port.open(direct)) {
            QTextStream(stderr) << "cannot open " << direct << ": " << port.errorString() << Qt::endl;
            return 2;
        }
        print(QStringLiteral("rfc2217_reply_margin"), static_cast<double>(port.replyMargin().count()),
              QStringLiteral("ms"));
        Comunicacion_TZR link;
        link.setPuerto(&port);
        link.setBoard(1);
        int failures = 0;
        print(QStringLiteral("rfc2217_ms_per_exchange"), msPerRead(link, failures), QStringLiteral("ms"));

        Transferencias transfers(link, texts, clock);
        link.setTipo_lector(transfers.Lee_Tipo_Lector(1));
        MemoryTable table;
        const qint64 e0 = Comunicacion_TZRPrivate(link).intercambios();
        const qint64 b0 = Comunicacion_TZRPrivate(link).bytesEnviados() + Comunicacion_TZRPrivate(link).bytesRecibidos();
        QElapsedTimer t;
        t.start();
        link.Modo_Transferencia(true);
        const ResultadoRecepcion received = transfers.Conexion_General(table);
        link.Modo_Transferencia(false);
        const double wall = static_cast<double>(t.nsecsElapsed()) / 1e9;
        const double wire =
            static_cast<double>(Comunicacion_TZRPrivate(link).bytesEnviados() + Comunicacion_TZRPrivate(link).bytesRecibidos() - b0) * BYTE_SECONDS;
        print(QStringLiteral("rfc2217_receive_users"), received.usuarios);
        print(QStringLiteral("rfc2217_receive_exchanges"), static_cast<double>(Comunicacion_TZRPrivate(link).intercambios() - e0));
        print(QStringLiteral("rfc2217_receive_wall_s"), wall, QStringLiteral("s"));
        print(QStringLiteral("rfc2217_receive_wire_bound_s"), wire, QStringLiteral("s"));
        print(QStringLiteral("rfc2217_receive_wire_ratio"), wall / wire);
        if (received.usuarios != 350 || !received.completa() || failures != 0)
            status = 1;
    }
    {
        DelayProxy proxy(ser2net.port(), 10ms);
        NetworkPort port;
        const QString delayed = QStringLiteral("rfc2217://127.0.0.1:%1").arg(proxy.port());
        if (!port.open(delayed)) {
            QTextStream(stderr) << "cannot open " << delayed << ": " << port.errorString() << Qt::endl;
            return 2;
        }
        print(QStringLiteral("rtt20_measured_round_trip"),
              static_cast<double>(port.roundTrip().count()) / 1000.0, QStringLiteral("ms"));
        print(QStringLiteral("rtt20_reply_margin"), static_cast<double>(port.replyMargin().count()),
              QStringLiteral("ms"));
        Comunicacion_TZR link;
        link.setPuerto(&port);
        int failures = 0;
        print(QStringLiteral("rtt20_ms_per_exchange"), msPerRead(link, failures), QStringLiteral("ms"));
        print(QStringLiteral("rtt20_failed_reads"), failures);
        if (failures != 0)
            status = 1;
    }
    return status;
}
