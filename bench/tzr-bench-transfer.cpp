// Full receive and send of a 350-user board against tzr-panel-sim over a real pseudo-terminal,
// first with 19200-baud wire-speed emulation, then raw, then a receive through an emulated USB
// adapter's 16 ms and 1 ms latency timer, then the cost of late replies. Prints `name: value`
// lines. Arguments name the phases to run (wire, usb, raw, late); none runs them all.

#include "BenchSupport.h"
#include "Clock.h"
#include "CodeReadback.h"
#include "Comunicacion_TZR_p.h"
#include "MemoryTable.h"
#include "PortList.h"
#include "QtSerialPort.h"
#include "StandIn.h"
#include "TablaTransferencia.h"
#include "TextLookup.h"
#include "Transferencias.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using bench::EnglishTexts;
using bench::print;

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Figures
{
    qint64 exchanges = 0;
    double wall = 0;
    double wire = 0;
    double cpu = 0;
};

constexpr double BYTE_SECONDS = 12.0 / 19200.0;

// From the stand-in's frame log: the time from a reply's last byte leaving the stand-in to the
// first byte of the next request reaching it, which is the tool's own share of each exchange.
std::vector<double> turnarounds(const QString &logPath)
{
    std::vector<double> result;
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly))
        return result;
    double lastReply = -1;
    while (!log.atEnd()) {
        const QString line = QString::fromUtf8(log.readLine()).trimmed();
        const double at = line.section(QLatin1Char(' '), 0, 0).toDouble();
        const QString what = line.section(QLatin1Char(' '), 1);
        if (what.startsWith(QLatin1String("tx ")) && !what.startsWith(QLatin1String("tx noise")) &&
            !what.startsWith(QLatin1String("tx echo"))) {
            lastReply = at;
        } else if (what == QLatin1String("rx begin") && lastReply >= 0) {
            result.push_back((at - lastReply) * 1000.0);
            lastReply = -1;
        }
    }
    std::sort(result.begin(), result.end());
    return result;
}

double percentile(const std::vector<double> &sorted, double p)
{
    if (sorted.empty())
        return -1;
    const auto index = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

template <typename F> Figures measure(Comunicacion_TZR &link, F &&work)
{
    const qint64 e0 = Comunicacion_TZRPrivate(link).intercambios();
    const qint64 b0 = Comunicacion_TZRPrivate(link).bytesEnviados() + Comunicacion_TZRPrivate(link).bytesRecibidos();
    const double c0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    work();
    Figures f;
    f.wall = static_cast<double>(t.nsecsElapsed()) / 1e9;
    f.cpu = cpuSeconds() - c0;
    f.exchanges = Comunicacion_TZRPrivate(link).intercambios() - e0;
    f.wire = static_cast<double>(Comunicacion_TZRPrivate(link).bytesEnviados() + Comunicacion_TZRPrivate(link).bytesRecibidos() - b0) * BYTE_SECONDS;
    return f;
}

void report(const QString &prefix, const Figures &f)
{
    print(prefix + QStringLiteral("_exchanges"), static_cast<double>(f.exchanges));
    print(prefix + QStringLiteral("_wall_s"), f.wall, QStringLiteral("s"));
    print(prefix + QStringLiteral("_wire_bound_s"), f.wire, QStringLiteral("s"));
    print(prefix + QStringLiteral("_wire_ratio"), f.wall / f.wire);
    print(prefix + QStringLiteral("_cpu_s"), f.cpu, QStringLiteral("s"));
    print(prefix + QStringLiteral("_cpu_share"), f.cpu / f.wall);
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
    const QString frameLog = xdg.path() + QStringLiteral("/frames.log");
    // Phases to run, by name (wire, usb, raw, late); all of them when none is named.
    const QStringList phases = app.arguments().mid(1);
    const auto wanted = [&phases](const char *phase) {
        return phases.isEmpty() || phases.contains(QLatin1String(phase));
    };
    if (wanted("wire")) {
        StandIn sim;
        if (!bench::startStandIn(sim, xdg.path(), 41,
                                 {QStringLiteral("--boards"), QStringLiteral("1"), QStringLiteral("--users"),
                                  QStringLiteral("350"), QStringLiteral("--wire-speed"),
                                  QStringLiteral("--log"), frameLog}))
            return 2;
        PortList ports(links, {});
        QtSerialPort port(ports);
        if (!port.open(QStringLiteral("COM41"))) {
            QTextStream(stderr) << "cannot open COM41: " << port.errorString() << Qt::endl;
            return 2;
        }
        Comunicacion_TZR link;
        link.setPuerto(&port);
        link.setBoard(1);
        Transferencias transfers(link, texts, clock);
        link.setTipo_lector(transfers.Lee_Tipo_Lector(1));

        MemoryTable table;
        ResultadoRecepcion received;
        const Figures rx = measure(link, [&] {
            link.Modo_Transferencia(true);
            received = transfers.Conexion_General(table);
            link.Modo_Transferencia(false);
        });
        print(QStringLiteral("receive_users"), received.usuarios);
        print(QStringLiteral("receive_failed_slots"), received.slotsFallidos);
        report(QStringLiteral("receive"), rx);

        QList<RegistroEnvio> records;
        FilaRechazada refused;
        if (!transfers.Prepara_Envio(table.filasEnOrden(false), records, refused)) {
            QTextStream(stderr) << "row refused: " << refused.motivo << Qt::endl;
            status = 1;
        }
        ResultadoEnvio sent;
        const Figures tx = measure(link, [&] {
            link.Modo_Transferencia(true);
            sent = transfers.Envio_General(records, QStringLiteral("COM41"));
            link.Modo_Transferencia(false);
            link.Envia_Reinicio();
        });
        print(QStringLiteral("send_users"), sent.usuarios);
        print(QStringLiteral("send_failed_users"), static_cast<double>(sent.usuariosFallidos.size()));
        report(QStringLiteral("send"), tx);
        // What tzr send --verify adds: bytes 20 to 25 of every slot read back inside the transfer.
        QList<int> allSlots;
        for (int i = 0; i < MAX_USUARIOS; ++i)
            allSlots << i;
        RelecturaCodigos verified;
        const Figures vf = measure(link, [&] {
            link.Modo_Transferencia(true);
            verified = Relee_Codigos(link, transfers, allSlots, UserArea::fromRecords(records));
            link.Modo_Transferencia(false);
        });
        print(QStringLiteral("send_verify_exchanges"), static_cast<double>(vf.exchanges));
        print(QStringLiteral("send_verify_s"), vf.wall, QStringLiteral("s"));
        print(QStringLiteral("send_verify_slots_differing"), static_cast<double>(verified.distintos.size()));
        print(QStringLiteral("send_verify_overhead_pct"), vf.wall * 100.0 / tx.wall, QStringLiteral("%"));
        if (!verified.igual())
            status = 1;
        if (received.usuarios != 350 || !received.completa() || !sent.completo())
            status = 1;
        print(QStringLiteral("cpu_ms_per_exchange"),
              (rx.cpu + tx.cpu) * 1000.0 / static_cast<double>(rx.exchanges + tx.exchanges),
              QStringLiteral("ms"));
    }
    if (wanted("wire")) {
        const std::vector<double> times = turnarounds(frameLog);
        print(QStringLiteral("turnaround_samples"), static_cast<double>(times.size()));
        print(QStringLiteral("turnaround_ms_p50"), percentile(times, 0.50), QStringLiteral("ms"));
        print(QStringLiteral("turnaround_ms_p99"), percentile(times, 0.99), QStringLiteral("ms"));
    }
    // What the low-latency mode is worth: the same receive behind a 16 ms and a 1 ms timer.
    int simPort = 43;
    for (const int latency : {16, 1}) {
        if (!wanted("usb"))
            break;
        StandIn sim;
        if (!bench::startStandIn(sim, xdg.path(), simPort,
                                 {QStringLiteral("--boards"), QStringLiteral("1"), QStringLiteral("--users"),
                                  QStringLiteral("350"), QStringLiteral("--wire-speed"),
                                  QStringLiteral("--usb-latency"), QString::number(latency)}))
            return 2;
        PortList ports(links, {});
        QtSerialPort port(ports);
        if (!port.open(QStringLiteral("COM%1").arg(simPort)))
            return 2;
        ++simPort;
        Comunicacion_TZR link;
        link.setPuerto(&port);
        link.setBoard(1);
        Transferencias transfers(link, texts, clock);
        link.setTipo_lector(transfers.Lee_Tipo_Lector(1));
        MemoryTable table;
        ResultadoRecepcion received;
        const Figures f = measure(link, [&] {
            link.Modo_Transferencia(true);
            received = transfers.Conexion_General(table);
            link.Modo_Transferencia(false);
        });
        const QString prefix = QStringLiteral("receive_usb%1").arg(latency);
        print(prefix + QStringLiteral("_users"), received.usuarios);
        print(prefix + QStringLiteral("_s"), f.wall, QStringLiteral("s"));
        print(prefix + QStringLiteral("_ms_per_exchange"), f.wall * 1000.0 / static_cast<double>(f.exchanges),
              QStringLiteral("ms"));
        if (received.usuarios != 350 || !received.completa())
            status = 1;
    }
    if (wanted("raw")) {
        StandIn sim;
        if (!bench::startStandIn(sim, xdg.path(), 42, {QStringLiteral("--boards"), QStringLiteral("1")}))
            return 2;
        PortList ports(links, {});
        QtSerialPort port(ports);
        if (!port.open(QStringLiteral("COM42")))
            return 2;
        Comunicacion_TZR link;
        link.setPuerto(&port);
        constexpr int reads = 20000;
        int failures = 0;
        const Figures raw = measure(link, [&] {
            for (int i = 0; i < reads; ++i) {
                int value = 0;
                if (!link.Lee_Byte(1, 32 + 20 + 45 * (i % 350), value))
                    ++failures;
            }
        });
        print(QStringLiteral("raw_exchanges"), static_cast<double>(raw.exchanges));
        print(QStringLiteral("raw_failed_reads"), failures);
        print(QStringLiteral("raw_exchanges_per_s"), static_cast<double>(raw.exchanges) / raw.wall, QStringLiteral("1/s"));
        print(QStringLiteral("raw_cpu_share"), raw.cpu / raw.wall);
    }
    // What a late reply costs: the same reads at wire speed on a clean line and on one where 2 %
    // of the replies come 130 ms late (1.3 reply times), in reply times per late reply. Every value
    // must still be the clean run's.
    if (wanted("late")) {
        constexpr int reads = 1500;
        std::vector<int> clean(reads, -1);
        std::vector<int> late(reads, -1);
        Figures figures[2];
        qint64 retries = 0;
        int misaligned = 0;
        for (int run = 0; run < 2; ++run) {
            QStringList options{QStringLiteral("--boards"), QStringLiteral("1"), QStringLiteral("--users"),
                                QStringLiteral("350"), QStringLiteral("--wire-speed")};
            if (run == 1)
                options << QStringLiteral("--late") << QStringLiteral("0.02") << QStringLiteral("--late-by")
                        << QStringLiteral("130") << QStringLiteral("--seed") << QStringLiteral("7");
            StandIn sim;
            if (!bench::startStandIn(sim, xdg.path(), 45 + run, options))
                return 2;
            PortList ports(links, {});
            QtSerialPort port(ports);
            if (!port.open(QStringLiteral("COM%1").arg(45 + run)))
                return 2;
            Comunicacion_TZR link;
            link.setPuerto(&port);
            std::vector<int> &values = run == 0 ? clean : late;
            figures[run] = measure(link, [&] {
                try {
                    for (int i = 0; i < reads; ++i)
                        link.Lee_Byte(1, 32 + 45 * (i % 350) + i / 350, values[static_cast<size_t>(i)]);
                    link.confirmAligned();
                } catch (const RepliesMisaligned &) {
                    ++misaligned;
                }
            });
            if (run == 1)
                retries = figures[1].exchanges - reads;
        }
        int wrong = 0;
        for (int i = 0; i < reads; ++i)
            wrong += clean[static_cast<size_t>(i)] != late[static_cast<size_t>(i)] ? 1 : 0;
        print(QStringLiteral("late_replies"), static_cast<double>(retries));
        print(QStringLiteral("late_wrong_values"), wrong);
        print(QStringLiteral("late_misaligned_told"), misaligned);
        if (retries > 0)
            print(QStringLiteral("late_reply_cost_reply_times"),
                  (figures[1].wall - figures[0].wall) / static_cast<double>(retries) /
                      std::chrono::duration<double>(TIEMPO_RESPUESTA).count());
        if (wrong > 0)
            status = 1;
    }
    return status;
}
