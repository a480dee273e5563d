#include "BoardBus.h"
#include "PortLink.h"
#include "PtyServer.h"
#include "SignalWatcher.h"
#include "TcpBridge.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>

namespace {

constexpr int DEFAULT_PORT = 20;

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

void complain(const QString &message)
{
    err() << "tzr-panel-sim: " << message << Qt::endl;
}

int usageError(const QString &message)
{
    complain(message);
    return 2;
}

int runError(const QString &message)
{
    complain(message);
    return 1;
}

std::optional<int> whole(const QString &text, int low, int high = std::numeric_limits<int>::max())
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

enum class Zero
{
    Allowed,
    Refused
};

// Milliseconds with fractions, kept to the microsecond.
std::optional<std::chrono::microseconds> milliseconds(const QString &text, Zero zero)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || value < 0 || (zero == Zero::Refused && value == 0))
        return std::nullopt;
    return std::chrono::microseconds(qRound64(value * 1000.0));
}

std::optional<QList<int>> boardList(const QString &text)
{
    QList<int> numbers;
    for (const QString &item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int number = item.trimmed().toInt(&ok);
        if (!ok || number < 0 || number > Board::MAX_NUMBER || numbers.contains(number))
            return std::nullopt;
        numbers << number;
    }
    if (numbers.isEmpty())
        return std::nullopt;
    return numbers;
}

std::optional<double> probability(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || value < 0.0 || value > 1.0)
        return std::nullopt;
    return value;
}

// Addresses as a list of numbers and ranges, decimal or 0x-prefixed: 277-282,0x10.
std::optional<QSet<int>> addressList(const QString &text)
{
    const auto address = [](const QString &item) -> std::optional<int> {
        bool ok = false;
        const int value = item.trimmed().toInt(&ok, 0);
        if (!ok || value < 0 || value >= Board::MEMORY_SIZE)
            return std::nullopt;
        return value;
    };
    QSet<int> addresses;
    for (const QString &item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList ends = item.split(QLatin1Char('-'));
        const auto first = address(ends.front());
        const auto last = ends.size() == 2 ? address(ends.back()) : first;
        if (ends.size() > 2 || !first || !last || *last < *first)
            return std::nullopt;
        for (int a = *first; a <= *last; ++a)
            addresses.insert(a);
    }
    if (addresses.isEmpty())
        return std::nullopt;
    return addresses;
}

bool saveImage(const BoardBus &bus, const QString &path)
{
    QString error;
    if (bus.saveImage(path, &error))
        return true;
    complain(error);
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // Before Qt can start a thread, so that every thread leaves these signals to the signalfd.
    SignalWatcher::blockWatchedSignals();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tzr-panel-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TZR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Stand-in for a bus of TZR panel boards, served on a pseudo-terminal."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("COM number of the port link (default 20)."),
                                        QStringLiteral("N"), QString::number(DEFAULT_PORT));
    const QCommandLineOption boardsOption(QStringLiteral("boards"),
                                          QStringLiteral("Boards present on a fresh bus, e.g. 0,3,17,31 (default 1)."),
                                          QStringLiteral("LIST"), QStringLiteral("1"));
    const QCommandLineOption imageOption(QStringLiteral("image"),
                                         QStringLiteral("Bus image: loaded at start if it exists, saved after each transfer "
                                                        "close or restart, on SIGUSR1 and on exit."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption usersOption(QStringLiteral("users"), QStringLiteral("Sample users seeded into each board of a fresh bus."),
                                         QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption readerOption(QStringLiteral("reader"),
                                          QStringLiteral("Reader type byte of each board of a fresh bus: 0 card, 1 button."),
                                          QStringLiteral("TYPE"), QStringLiteral("0"));
    const QCommandLineOption latencyOption(QStringLiteral("latency"), QStringLiteral("Delay before each reply, in milliseconds."),
                                           QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption wireOption(QStringLiteral("wire-speed"),
                                        QStringLiteral("Emulate 19200 baud, 12 bit times per byte, in both directions."));
    const QCommandLineOption dropOption(QStringLiteral("drop"), QStringLiteral("Probability that a reply is lost."),
                                        QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption badCheckOption(QStringLiteral("bad-check"),
                                            QStringLiteral("Probability that a reply has a wrong check byte."),
                                            QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption noiseOption(QStringLiteral("noise"),
                                         QStringLiteral("Probability of noise bytes after a reply."), QStringLiteral("P"),
                                         QStringLiteral("0"));
    const QCommandLineOption splitOption(QStringLiteral("split"), QStringLiteral("Send every reply in 2 or 3 pieces."));
    const QCommandLineOption silentOption(QStringLiteral("silent-after"),
                                          QStringLiteral("Each board falls silent after acting on N frames."),
                                          QStringLiteral("N"));
    const QCommandLineOption restartOption(QStringLiteral("restart-time"),
                                           QStringLiteral("A restarting board ignores everything for this long, in milliseconds."),
                                           QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the fault generator (default 1)."),
                                        QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption logOption(QStringLiteral("log"),
                                       QStringLiteral("Log every frame received and sent, with times, to FILE (- or stderr "
                                                      "for standard error)."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption printOption(QStringLiteral("print-link"),
                                         QStringLiteral("Once serving, print \"<pty> <link>\" on one line of standard output."));
    const QCommandLineOption programmingOption(QStringLiteral("programming-code"),
                                               QStringLiteral("Store this programming code (5 of 0-9, A, B) on every board."),
                                               QStringLiteral("CODE"));
    const QCommandLineOption masterOption(QStringLiteral("master-code"),
                                          QStringLiteral("Store this master code (5 of 0-9, A, B) on every board."),
                                          QStringLiteral("CODE"));
    const QCommandLineOption echoOption(
        QStringLiteral("echo"),
        QStringLiteral("Hand every byte the PC sends straight back (two-wire line)."));
    const QCommandLineOption usbLatencyOption(
        QStringLiteral("usb-latency"),
        QStringLiteral(
            "Deliver the bytes for the PC together, MS after the first became available (USB adapter)."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption tcpOption(
        QStringLiteral("tcp"),
        QStringLiteral("Also serve the line as raw TCP on 127.0.0.1:PORT (0: a free port), as a device server "
                       "would; with --print-link the port is printed as a third field."),
        QStringLiteral("PORT"));
    const QCommandLineOption lateOption(QStringLiteral("late"), QStringLiteral("Probability that a reply is late."),
                                        QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption lateByOption(
        QStringLiteral("late-by"),
        QStringLiteral("How late a late reply is, in milliseconds (default: 1 to 5 reply times)."), QStringLiteral("MS"));
    const QCommandLineOption replyTimeOption(QStringLiteral("reply-time"),
                                             QStringLiteral("The reply time late replies are drawn in, in milliseconds."),
                                             QStringLiteral("MS"), QStringLiteral("100"));
    const QCommandLineOption duplicateOption(QStringLiteral("duplicate"),
                                             QStringLiteral("Probability that a reply is sent twice."),
                                             QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption cutOption(QStringLiteral("cut"),
                                       QStringLiteral("Probability that 1 to 3 bytes of a reply are lost."),
                                       QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption strayOption(QStringLiteral("stray-noise"),
                                         QStringLiteral("Probability of noise bytes on the idle line after a reply."),
                                         QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption loseOption(QStringLiteral("lose-writes"),
                                        QStringLiteral("Probability that a write is acknowledged but not stored."),
                                        QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption loseAtOption(
        QStringLiteral("lose-writes-at"),
        QStringLiteral("Writes to these addresses are acknowledged but not stored, e.g. 277-282,0x11."),
        QStringLiteral("LIST"));
    const QCommandLineOption loseTimesOption(
        QStringLiteral("lose-writes-times"),
        QStringLiteral("Only the first N writes to each address of --lose-writes-at are lost (default: all)."),
        QStringLiteral("N"));
    const QCommandLineOption missProbesOption(QStringLiteral("miss-probes"),
                                              QStringLiteral("Each board lets its first N presence probes pass."),
                                              QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption missProbeRateOption(QStringLiteral("miss-probe-rate"),
                                                 QStringLiteral("Probability that a board lets a presence probe pass."),
                                                 QStringLiteral("P"), QStringLiteral("0"));
    // --help lists the options in this order.
    parser.addOptions({lateOption,        lateByOption,     replyTimeOption,     duplicateOption,
                       cutOption,         strayOption,      loseOption,          loseAtOption,
                       loseTimesOption,   missProbesOption, missProbeRateOption, tcpOption,
                       portOption,        boardsOption,     imageOption,         usersOption,
                       readerOption,      latencyOption,    wireOption,          dropOption,
                       badCheckOption,    noiseOption,      splitOption,         silentOption,
                       restartOption,     seedOption,       logOption,           printOption,
                       programmingOption, masterOption,     echoOption,          usbLatencyOption});
    parser.process(app);

    const auto port = whole(parser.value(portOption), 1);
    if (!port)
        return usageError(QStringLiteral("--port needs a COM number from 1 up"));
    const auto boards = boardList(parser.value(boardsOption));
    if (!boards)
        return usageError(QStringLiteral("--boards needs distinct board numbers from 0 to 31, separated by commas"));
    const auto users = whole(parser.value(usersOption), 0, Board::RECORD_SLOTS);
    if (!users)
        return usageError(QStringLiteral("--users needs a number from 0 to 350"));
    const auto reader = whole(parser.value(readerOption), 0, 255);
    if (!reader)
        return usageError(QStringLiteral("--reader needs a byte value (0 card, 1 button)"));
    const auto latency = milliseconds(parser.value(latencyOption), Zero::Allowed);
    if (!latency)
        return usageError(QStringLiteral("--latency needs a number of milliseconds"));
    const auto restartTime = whole(parser.value(restartOption), 0);
    if (!restartTime)
        return usageError(QStringLiteral("--restart-time needs a number of milliseconds"));
    const auto usbLatency = milliseconds(parser.value(usbLatencyOption), Zero::Allowed);
    if (!usbLatency)
        return usageError(QStringLiteral("--usb-latency needs a number of milliseconds"));
    bool ok = false;
    const quint32 seed = parser.value(seedOption).toUInt(&ok);
    if (!ok)
        return usageError(QStringLiteral("--seed needs an unsigned number"));

    BoardBus::Faults faults;
    // The rates of a group share one message.
    const auto rates =
        [&](std::initializer_list<std::pair<const QCommandLineOption *, double BoardBus::Faults::*>> group) {
            for (const auto &[option, rate] : group) {
                const auto value = probability(parser.value(*option));
                if (!value)
                    return false;
                faults.*rate = *value;
            }
            return true;
        };
    if (!rates({{&dropOption, &BoardBus::Faults::dropRate},
                {&badCheckOption, &BoardBus::Faults::badCheckRate},
                {&noiseOption, &BoardBus::Faults::noiseRate}}))
        return usageError(QStringLiteral("--drop, --bad-check and --noise need a probability from 0 to 1"));
    faults.split = parser.isSet(splitOption);
    if (parser.isSet(silentOption)) {
        const auto silentAfter = whole(parser.value(silentOption), 0);
        if (!silentAfter)
            return usageError(QStringLiteral("--silent-after needs a number of frames"));
        faults.silentAfter = *silentAfter;
    }

    if (!rates({{&lateOption, &BoardBus::Faults::lateRate},
                {&duplicateOption, &BoardBus::Faults::duplicateRate},
                {&cutOption, &BoardBus::Faults::cutRate},
                {&strayOption, &BoardBus::Faults::strayNoiseRate},
                {&loseOption, &BoardBus::Faults::lostWriteRate},
                {&missProbeRateOption, &BoardBus::Faults::missedProbeRate}}))
        return usageError(
            QStringLiteral("--late, --duplicate, --cut, --stray-noise, --lose-writes and --miss-probe-rate "
                           "need a probability from 0 to 1"));
    if (parser.isSet(lateByOption)) {
        const auto lateBy = milliseconds(parser.value(lateByOption), Zero::Refused);
        if (!lateBy)
            return usageError(QStringLiteral("--late-by needs a number of milliseconds above 0"));
        faults.lateBy = *lateBy;
    }
    const auto replyTime = milliseconds(parser.value(replyTimeOption), Zero::Refused);
    if (!replyTime)
        return usageError(QStringLiteral("--reply-time needs a number of milliseconds above 0"));
    faults.replyTime = *replyTime;
    if (parser.isSet(loseAtOption)) {
        const auto addresses = addressList(parser.value(loseAtOption));
        if (!addresses)
            return usageError(QStringLiteral("--lose-writes-at needs addresses or ranges from 0 to 65535, e.g. 277-282"));
        faults.lostWriteAddresses = *addresses;
    }
    if (parser.isSet(loseTimesOption)) {
        const auto lostWriteTimes = whole(parser.value(loseTimesOption), 0);
        if (!lostWriteTimes)
            return usageError(QStringLiteral("--lose-writes-times needs a number of writes"));
        faults.lostWriteTimes = *lostWriteTimes;
    }
    const auto missedProbes = whole(parser.value(missProbesOption), 0);
    if (!missedProbes)
        return usageError(QStringLiteral("--miss-probes needs a number of probes"));
    faults.missedProbes = *missedProbes;

    BoardBus bus(seed);
    const QString imagePath = parser.value(imageOption);
    if (!imagePath.isEmpty() && QFileInfo::exists(imagePath)) {
        QString error;
        if (!bus.loadImage(imagePath, &error))
            return runError(error);
    } else {
        for (int number : *boards) {
            bus.addBoard(number);
            Board *board = bus.board(number);
            board->setByte(Board::ADDR_READER, static_cast<quint8>(*reader));
            board->seedUsers(*users, number);
        }
    }
    for (int number : bus.boardNumbers()) {
        Board *board = bus.board(number);
        if (parser.isSet(programmingOption) && !board->setProgrammingCode(parser.value(programmingOption)))
            return usageError(QStringLiteral("--programming-code needs five characters of 0-9, A, B"));
        if (parser.isSet(masterOption) && !board->setMasterCode(parser.value(masterOption)))
            return usageError(QStringLiteral("--master-code needs five characters of 0-9, A, B"));
    }
    bus.setFaults(faults);
    bus.setLatency(*latency);
    bus.setWireSpeed(parser.isSet(wireOption));
    bus.setRestartTime(std::chrono::milliseconds(*restartTime));

    std::unique_ptr<QFile> log;
    if (parser.isSet(logOption)) {
        const QString target = parser.value(logOption);
        log = std::make_unique<QFile>();
        const bool opened = target == QLatin1String("-") || target == QLatin1String("stderr")
                                ? log->open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered)
                                : (log->setFileName(target), log->open(QIODevice::WriteOnly | QIODevice::Append |
                                                                       QIODevice::Unbuffered));
        if (!opened)
            return runError(QStringLiteral("cannot open the log %1: %2").arg(target, log->errorString()));
    }

    SignalWatcher signalWatcher;
    if (!signalWatcher.isValid())
        return runError(QStringLiteral("cannot watch signals"));
    PtyServer server(bus);
    server.setLog(log.get());
    server.setEcho(parser.isSet(echoOption));
    server.setUsbLatency(*usbLatency);
    QString error;
    if (!server.start(&error))
        return runError(error);
    PortLink link;
    if (!link.create(PortLink::linkPath(*port), server.slavePath(), &error))
        return runError(error);

    std::unique_ptr<TcpBridge> bridge;
    if (parser.isSet(tcpOption)) {
        const auto tcpPort = whole(parser.value(tcpOption), 0, 65535);
        if (!tcpPort)
            return usageError(QStringLiteral("--tcp needs a TCP port number from 0 to 65535"));
        bridge = std::make_unique<TcpBridge>();
        if (!bridge->start(server.slavePath(), static_cast<quint16>(*tcpPort), &error))
            return runError(error);
    }

    int exitCode = 0;
    const auto stopOnFailure = [&](const QString &message) {
        complain(message);
        exitCode = 1;
        QCoreApplication::quit();
    };
    if (bridge)
        QObject::connect(bridge.get(), &TcpBridge::failed, &app, stopOnFailure);
    QObject::connect(&signalWatcher, &SignalWatcher::stopRequested, &app, &QCoreApplication::quit);
    QObject::connect(&server, &PtyServer::failed, &app, stopOnFailure);
    if (!imagePath.isEmpty()) {
        QObject::connect(&signalWatcher, &SignalWatcher::saveRequested, &app, [&] { saveImage(bus, imagePath); });
        QObject::connect(&server, &PtyServer::memoryChanged, &app, [&] { saveImage(bus, imagePath); });
    }

    QStringList present;
    for (int number : bus.boardNumbers())
        present << QString::number(number);
    err() << "tzr-panel-sim: boards " << present.join(QLatin1String(", ")) << " on " << server.slavePath() << " ("
          << link.path() << ")";
    if (bridge)
        err() << ", TCP 127.0.0.1:" << bridge->port();
    err() << Qt::endl;
    if (parser.isSet(printOption)) {
        if (bridge)
            std::printf("%s %s %u\n", qPrintable(server.slavePath()), qPrintable(link.path()),
                        static_cast<unsigned>(bridge->port()));
        else
            std::printf("%s %s\n", qPrintable(server.slavePath()), qPrintable(link.path()));
        std::fflush(stdout);
    }

    const int result = app.exec();
    if (!imagePath.isEmpty() && !saveImage(bus, imagePath) && exitCode == 0)
        exitCode = 1;
    link.remove();
    return result != 0 ? result : exitCode;
}
