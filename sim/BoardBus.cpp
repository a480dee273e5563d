#include "BoardBus.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace {

constexpr quint8 START = 0xFF;
constexpr int HEADER = 3;
constexpr int MAX_LENGTH = 4;
constexpr auto IMAGE_FORMAT = "tzr-panel-sim bus image";
constexpr int IMAGE_VERSION = 1;

QByteArray acknowledgement(int board, int command)
{
    QByteArray reply;
    reply.append(static_cast<char>(START));
    reply.append(static_cast<char>(board));
    reply.append(static_cast<char>(1));
    reply.append(static_cast<char>(command));
    reply.append(static_cast<char>(command));
    return reply;
}

QByteArray readReply(int board, quint8 value)
{
    QByteArray reply;
    reply.append(static_cast<char>(START));
    reply.append(static_cast<char>(board));
    reply.append(static_cast<char>(2));
    reply.append(static_cast<char>(BoardBus::CMD_READ));
    reply.append(static_cast<char>(value));
    reply.append(static_cast<char>(BoardBus::CMD_READ ^ value));
    return reply;
}

quint8 byteAt(const QByteArray &bytes, int index)
{
    return static_cast<quint8>(bytes.at(index));
}

} // namespace

BoardBus::BoardBus(quint32 seed)
    : m_random(seed)
{
}

bool BoardBus::addBoard(int number)
{
    if (number < 0 || number > Board::MAX_NUMBER || hasBoard(number) ||
        m_slots.size() >= static_cast<size_t>(MAX_BOARDS))
        return false;
    m_slots.push_back(Slot{Board(number)});
    return true;
}

bool BoardBus::removeBoard(int number)
{
    const auto it = std::find_if(m_slots.begin(), m_slots.end(),
                                 [number](const Slot &slot) { return slot.board.number() == number; });
    if (it == m_slots.end())
        return false;
    m_slots.erase(it);
    return true;
}

QList<int> BoardBus::boardNumbers() const
{
    QList<int> numbers;
    for (const Slot &slot : m_slots)
        numbers << slot.board.number();
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

BoardBus::Slot *BoardBus::slotOf(int number)
{
    for (Slot &slot : m_slots) {
        if (slot.board.number() == number)
            return &slot;
    }
    return nullptr;
}

const BoardBus::Slot *BoardBus::slotOf(int number) const
{
    for (const Slot &slot : m_slots) {
        if (slot.board.number() == number)
            return &slot;
    }
    return nullptr;
}

Board *BoardBus::board(int number)
{
    Slot *slot = slotOf(number);
    return slot ? &slot->board : nullptr;
}

const Board *BoardBus::board(int number) const
{
    const Slot *slot = slotOf(number);
    return slot ? &slot->board : nullptr;
}

void BoardBus::setSeed(quint32 seed)
{
    m_random.seed(seed);
}

void BoardBus::setSilentAfter(int number, int count)
{
    if (Slot *slot = slotOf(number))
        slot->silentAfter = count;
}

void BoardBus::setMissedProbes(int number, int count)
{
    if (Slot *slot = slotOf(number)) {
        slot->probesToMiss = count;
        slot->probesMissed = 0;
    }
}

bool BoardBus::missesProbe(Slot &slot)
{
    const int limit = slot.probesToMiss == -2 ? m_faults.missedProbes : slot.probesToMiss;
    if (slot.probesMissed < limit) {
        ++slot.probesMissed;
        return true;
    }
    return m_faults.missedProbeRate > 0.0 && chance() < m_faults.missedProbeRate;
}

bool BoardBus::losesWrite(const Request &request)
{
    if (request.value < 0)
        return false;
    if (m_faults.lostWriteAddresses.contains(request.address)) {
        int &lost = m_lostWrites[request.address];
        if (m_faults.lostWriteTimes < 0 || lost < m_faults.lostWriteTimes) {
            ++lost;
            return true;
        }
    }
    return m_faults.lostWriteRate > 0.0 && chance() < m_faults.lostWriteRate;
}

double BoardBus::chance()
{
    // Built from the raw 32-bit output so a seed gives the same run with any standard library.
    return static_cast<double>(m_random()) / 4294967296.0;
}

int BoardBus::pick(int lowest, int highest)
{
    return lowest + static_cast<int>(m_random() % static_cast<quint32>(highest - lowest + 1));
}

bool BoardBus::lengthFits(int command, int length)
{
    switch (command) {
    case CMD_PRESENCE:
    case CMD_RESTART:
    case CMD_OPEN:
    case CMD_CLOSE:
        return length == 1;
    case CMD_READ:
        return length == 3;
    case CMD_WRITE:
        return length == 3 || length == 4;
    default:
        return false;
    }
}

void BoardBus::resetReceiver()
{
    m_pending.clear();
}

QList<BoardBus::Piece> BoardBus::receive(const QByteArray &bytes, Clock::time_point at)
{
    QList<Piece> pieces;
    const Clock::time_point start = m_wireSpeed ? std::max(at, m_rxFreeAt) : at;
    if (m_wireSpeed)
        m_rxFreeAt = start + bytes.size() * BYTE_TIME;
    const int oldBytes = m_pending.size();
    m_pending += bytes;

    // Index into m_pending of its first byte; consumed bytes are removed once at the end.
    int first = 0;
    const auto arrival = [&](int end) {
        const int chunkIndex = std::max(0, first + end - oldBytes);
        return m_wireSpeed ? start + chunkIndex * BYTE_TIME : at;
    };
    const auto abandon = [&] {
        ++m_rejected;
        ++m_discarded;
        ++first;
    };

    while (first < m_pending.size()) {
        if (byteAt(m_pending, first) != START) {
            ++m_discarded;
            ++first;
            continue;
        }
        const int available = m_pending.size() - first;
        if (available < HEADER)
            break;
        const int board = byteAt(m_pending, first + 1);
        const int length = byteAt(m_pending, first + 2);
        // A 0xFF inside data or noise looks like a start; only a header that could begin a
        // frame is waited on, and only a fully checked frame is acted on.
        if (board > Board::MAX_NUMBER || length < 1 || length > MAX_LENGTH) {
            abandon();
            continue;
        }
        const int size = HEADER + length + 1;
        if (available < size)
            break;
        const int command = byteAt(m_pending, first + HEADER);
        int check = 0;
        for (int i = 0; i < length; ++i)
            check ^= byteAt(m_pending, first + HEADER + i);
        if (!lengthFits(command, length) || check != byteAt(m_pending, first + size - 1)) {
            abandon();
            continue;
        }
        const QByteArray frame = m_pending.mid(first, size);
        const Clock::time_point arrived = arrival(size);
        first += size;
        handle(frame, arrived, at, pieces);
    }
    m_pending.remove(0, first);
    return pieces;
}

bool BoardBus::silent(const Slot &slot, Clock::time_point arrived) const
{
    const int limit = slot.silentAfter == -2 ? m_faults.silentAfter : slot.silentAfter;
    if (limit >= 0 && slot.board.exchanges() >= limit)
        return true;
    return arrived < slot.board.busyUntil();
}

void BoardBus::handle(const QByteArray &frame, Clock::time_point arrived, Clock::time_point at,
                      QList<Piece> &pieces)
{
    Request request;
    request.board = byteAt(frame, 1);
    request.command = byteAt(frame, HEADER);
    request.frame = frame;
    const int length = byteAt(frame, 2);
    if (request.command == CMD_READ || request.command == CMD_WRITE)
        request.address = byteAt(frame, 4) << 8 | byteAt(frame, 5);
    if (request.command == CMD_WRITE && length == 4)
        request.value = byteAt(frame, 6);

    std::vector<Slot *> addressed;
    for (Slot &slot : m_slots) {
        if (slot.board.number() == request.board)
            addressed.push_back(&slot);
    }
    std::vector<Slot *> listening;
    for (Slot *slot : addressed) {
        if (!silent(*slot, arrived))
            listening.push_back(slot);
    }

    if (addressed.empty()) {
        request.outcome = Outcome::Absent;
    } else if (listening.empty()) {
        request.outcome = Outcome::Silent;
    } else if (request.command == CMD_PRESENCE && listening.size() == 1 && missesProbe(*listening.front())) {
        request.outcome = Outcome::ProbeMissed;
        listening.front()->board.countExchange();
    } else {
        const bool notKept = request.command == CMD_WRITE && losesWrite(request);
        QByteArray reply;
        for (Slot *slot : listening) {
            if (notKept)
                reply = acknowledgement(slot->board.number(), request.command);
            else
                reply = act(slot->board, request, arrived);
            slot->board.countExchange();
        }
        const bool dropped = chance() < m_faults.dropRate;
        const bool corrupted = chance() < m_faults.badCheckRate;
        if (listening.size() > 1) {
            request.outcome = Outcome::Collision;
            reply.clear();
        } else if (dropped) {
            request.outcome = Outcome::Dropped;
            reply.clear();
        } else if (corrupted) {
            request.outcome = Outcome::Corrupted;
            reply[reply.size() - 1] = static_cast<char>(byteAt(reply, reply.size() - 1) ^ pick(1, 255));
        } else {
            request.outcome = notKept ? Outcome::NotKept : Outcome::Answered;
        }
        send(reply, arrived + m_latency, at, pieces, request);
    }
    m_log.append(request);
}

QByteArray BoardBus::act(Board &board, const Request &request, Clock::time_point arrived)
{
    const int number = board.number();
    switch (request.command) {
    case CMD_READ:
        return readReply(number, board.byte(request.address));
    case CMD_WRITE:
        // A write frame carrying no value is taken as a write of nothing: acknowledged, memory kept.
        if (request.value >= 0)
            board.setByte(request.address, static_cast<quint8>(request.value));
        break;
    case CMD_RESTART:
        board.restart();
        board.setBusyUntil(arrived + m_restartTime);
        break;
    case CMD_OPEN:
        board.setTransferOpen(true);
        break;
    case CMD_CLOSE:
        board.setTransferOpen(false);
        break;
    default:
        break;
    }
    return acknowledgement(number, request.command);
}

void BoardBus::send(QByteArray reply, Clock::time_point ready, Clock::time_point at, QList<Piece> &pieces,
                    Request &request)
{
    if (!reply.isEmpty() && m_faults.lateRate > 0.0 && chance() < m_faults.lateRate) {
        using namespace std::chrono;
        request.lateBy = m_faults.lateBy > microseconds{0}
                             ? m_faults.lateBy
                             : microseconds(qRound64(m_faults.replyTime.count() * (1.0 + 4.0 * chance())));
        ready += request.lateBy;
    }
    if (!reply.isEmpty() && m_faults.cutRate > 0.0 && chance() < m_faults.cutRate) {
        const int cut = pick(1, std::min<int>(3, static_cast<int>(reply.size()) - 1));
        for (int i = 0; i < cut; ++i)
            reply.remove(pick(0, static_cast<int>(reply.size()) - 1), 1);
        request.bytesCut = cut;
    }
    if (!reply.isEmpty() && m_faults.duplicateRate > 0.0 && chance() < m_faults.duplicateRate)
        request.duplicated = true;

    // One wire: a reply never starts while an earlier reply or its noise is still leaving.
    const Clock::time_point txStart = std::max(ready, m_txFreeAt);
    Clock::time_point last = txStart;

    std::vector<int> cuts;
    if (m_faults.split && reply.size() >= 2) {
        const int count = pick(2, std::min<int>(3, static_cast<int>(reply.size())));
        while (static_cast<int>(cuts.size()) < count - 1) {
            const int cut = pick(1, static_cast<int>(reply.size()) - 1);
            if (std::find(cuts.begin(), cuts.end(), cut) == cuts.end())
                cuts.push_back(cut);
        }
        std::sort(cuts.begin(), cuts.end());
    }
    if (!reply.isEmpty())
        cuts.push_back(static_cast<int>(reply.size()));

    int begin = 0;
    for (size_t k = 0; k < cuts.size(); ++k) {
        const int end = cuts[k];
        last = m_wireSpeed ? txStart + end * BYTE_TIME : txStart + static_cast<int>(k) * SPLIT_GAP;
        pieces.append(Piece{reply.mid(begin, end - begin), last - at, Piece::Kind::Reply});
        begin = end;
    }
    if (request.duplicated) {
        // The copy follows on its own, as from a board whose transmit buffer went out twice: it
        // reaches the PC after the first has been taken.
        last += m_wireSpeed ? std::chrono::microseconds(reply.size() * BYTE_TIME) : std::chrono::microseconds(SPLIT_GAP);
        pieces.append(Piece{reply, last - at, Piece::Kind::Reply});
    }
    m_txFreeAt = last;

    if (chance() < m_faults.noiseRate) {
        QByteArray noise;
        const int count = pick(1, 3);
        for (int i = 0; i < count; ++i)
            noise.append(static_cast<char>(pick(0, 255)));
        last = m_wireSpeed ? last + count * BYTE_TIME : last + SPLIT_GAP;
        m_txFreeAt = last;
        pieces.append(Piece{noise, last - at, Piece::Kind::Noise});
    }
    if (m_faults.strayNoiseRate > 0.0 && chance() < m_faults.strayNoiseRate) {
        // Noise on an idle line does not hold the wire: the next reply may come before or after it.
        QByteArray noise;
        const int count = pick(1, 3);
        for (int i = 0; i < count; ++i)
            noise.append(static_cast<char>(pick(0, 255)));
        const auto gap = std::chrono::microseconds(pick(1000, 20000));
        pieces.append(Piece{noise, last + gap - at, Piece::Kind::Noise});
    }
}

int BoardBus::count(int command, int board) const
{
    return static_cast<int>(std::count_if(m_log.begin(), m_log.end(), [&](const Request &request) {
        return request.command == command && (board < 0 || request.board == board);
    }));
}

QList<BoardBus::Request> BoardBus::requests(int command, int board) const
{
    QList<Request> selected;
    for (const Request &request : m_log) {
        if (request.command == command && (board < 0 || request.board == board))
            selected.append(request);
    }
    return selected;
}

void BoardBus::clearLog()
{
    m_log.clear();
    m_rejected = 0;
    m_discarded = 0;
}

bool BoardBus::saveImage(const QString &path, QString *error) const
{
    QJsonArray boards;
    for (const Slot &slot : m_slots) {
        QJsonObject entry;
        entry.insert(QStringLiteral("number"), slot.board.number());
        entry.insert(QStringLiteral("memory"), QString::fromLatin1(slot.board.memory().toBase64()));
        boards.append(entry);
    }
    QJsonObject root;
    root.insert(QStringLiteral("format"), QLatin1String(IMAGE_FORMAT));
    root.insert(QStringLiteral("version"), IMAGE_VERSION);
    root.insert(QStringLiteral("boards"), boards);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson(QJsonDocument::Indented)) < 0 ||
        !file.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool BoardBus::loadImage(const QString &path, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (document.isNull())
        return fail(QStringLiteral("not a bus image (%1)").arg(parseError.errorString()));
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("format")).toString() != QLatin1String(IMAGE_FORMAT))
        return fail(QStringLiteral("not a bus image"));
    if (root.value(QStringLiteral("version")).toInt() != IMAGE_VERSION)
        return fail(QStringLiteral("unsupported image version %1").arg(root.value(QStringLiteral("version")).toInt()));
    const QJsonArray boards = root.value(QStringLiteral("boards")).toArray();
    if (boards.size() > MAX_BOARDS)
        return fail(QStringLiteral("more than %1 boards").arg(MAX_BOARDS));

    std::vector<Slot> loaded;
    for (const QJsonValue &value : boards) {
        const QJsonObject entry = value.toObject();
        const int number = entry.value(QStringLiteral("number")).toInt(-1);
        if (number < 0 || number > Board::MAX_NUMBER)
            return fail(QStringLiteral("board number %1 out of range").arg(number));
        for (const Slot &slot : loaded) {
            if (slot.board.number() == number)
                return fail(QStringLiteral("board %1 appears twice").arg(number));
        }
        Board board(number);
        const auto decoded = QByteArray::fromBase64Encoding(
            entry.value(QStringLiteral("memory")).toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || !board.setMemory(*decoded))
            return fail(QStringLiteral("memory of board %1 is not %2 bytes of base64").arg(number).arg(Board::MEMORY_SIZE));
        loaded.push_back(Slot{board});
    }
    m_slots = std::move(loaded);
    resetReceiver();
    return true;
}
