#pragma once

#include "Board.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

// The bus of panel boards as the PC's serial line meets it: request bytes go in, reply bytes
// come out with the delay after which they reach the PC. It keeps no timers of its own, so an
// in-process port and the pty server drive it alike: feed what was received, schedule what
// comes back. Faults are drawn from a seeded generator, so a run repeats exactly for a seed.
class BoardBus
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int MAX_BOARDS = 32;
    // 12 bit times at 19200 baud: start, 8 data, parity, 2 stop.
    static constexpr std::chrono::microseconds BYTE_TIME{625};
    // Without wire-speed emulation the pieces of a split reply leave this far apart.
    static constexpr std::chrono::microseconds SPLIT_GAP{500};

    static constexpr quint8 CMD_PRESENCE = 0x01;
    static constexpr quint8 CMD_RESTART = 0x0B;
    static constexpr quint8 CMD_READ = 0x30;
    static constexpr quint8 CMD_WRITE = 0x31;
    static constexpr quint8 CMD_OPEN = 0x36;
    static constexpr quint8 CMD_CLOSE = 0x37;

    struct Piece
    {
        enum class Kind { Reply, Noise };
        QByteArray bytes;
        // From the moment the bytes that caused it were handed to receive().
        std::chrono::nanoseconds delay{0};
        Kind kind = Kind::Reply;
    };

    enum class Outcome {
        Answered,  // reply sent as built
        Corrupted, // reply sent with a spoiled check byte
        Dropped,   // the board acted but its reply was lost
        Silent,    // the board has fallen silent or is restarting: no action, no reply
        Absent,    // no board has that number
        Collision, // several boards share the number: all act, their replies destroy each other
        NotKept,   // a write acknowledged as usual but not stored
        ProbeMissed // a presence probe the board let pass: no reply
    };

    // A well-formed frame as received. address and value are -1 where the command has none.
    struct Request
    {
        int board = 0;
        int command = 0;
        int address = -1;
        int value = -1;
        QByteArray frame;
        Outcome outcome = Outcome::Absent;
        // How a reply that was sent left the board: later than the latency, twice, short.
        std::chrono::microseconds lateBy{0};
        bool duplicated = false;
        int bytesCut = 0;
    };

    struct Faults
    {
        double dropRate = 0.0;     // probability that a reply is lost
        double badCheckRate = 0.0; // probability that a reply's check byte is spoiled
        double noiseRate = 0.0;    // probability of 1 to 3 noise bytes after a reply
        bool split = false;        // replies leave in 2 or 3 pieces
        int silentAfter = -1;      // every board falls silent after acting on this many frames

        // Each fault below draws from the generator only when it is on, so the faults above
        // keep their run for a seed.
        double lateRate = 0.0;                       // probability that a reply is late
        std::chrono::microseconds lateBy{0};         // by this much; zero: 1 to 5 reply times
        std::chrono::microseconds replyTime{100000}; // the PC's reply time the late draw scales
        double duplicateRate = 0.0;                  // probability that a reply is sent twice
        double cutRate = 0.0;                        // probability that 1 to 3 bytes of a reply are lost
        double strayNoiseRate = 0.0;                 // 1 to 3 bytes on the idle line, 1 to 20 ms after a reply
        double lostWriteRate = 0.0;                  // probability that a write is acknowledged, not stored
        QSet<int> lostWriteAddresses{};              // writes here are acknowledged, not stored...
        int lostWriteTimes = -1;                     // ...this many times per address (-1: always)
        int missedProbes = 0;                        // each board lets its first N presence probes pass
        double missedProbeRate = 0.0;                // probability that a board lets a probe pass
    };

    explicit BoardBus(quint32 seed = 1);

    // A fresh board; false when the number is outside 0 to 31, already taken, or 32 boards exist.
    bool addBoard(int number);
    bool removeBoard(int number);
    bool hasBoard(int number) const { return board(number) != nullptr; }
    // Present boards by their numbers, ascending.
    QList<int> boardNumbers() const;
    // The board answering to number; nullptr when there is none. Invalidated by add and remove.
    Board *board(int number);
    const Board *board(int number) const;

    // Bytes from the PC, in order, in pieces of any size. Returns what the boards send back.
    QList<Piece> receive(const QByteArray &bytes, Clock::time_point at = Clock::now());
    // Forgets a partly received frame.
    void resetReceiver();

    void setFaults(const Faults &faults) { m_faults = faults; }
    const Faults &faults() const { return m_faults; }
    void setSeed(quint32 seed);
    // A board falls silent after acting on count frames (-1: never); overrides Faults::silentAfter.
    void setSilentAfter(int number, int count);
    // A board lets its next count presence probes pass unanswered; overrides Faults::missedProbes.
    void setMissedProbes(int number, int count);
    // Time between a request's last byte and its reply.
    void setLatency(std::chrono::microseconds latency) { m_latency = latency; }
    std::chrono::microseconds latency() const { return m_latency; }
    // Requests take BYTE_TIME per byte to arrive and replies BYTE_TIME per byte to leave.
    void setWireSpeed(bool on) { m_wireSpeed = on; }
    bool wireSpeed() const { return m_wireSpeed; }
    // After acknowledging a restart a board ignores everything for this long.
    void setRestartTime(std::chrono::milliseconds time) { m_restartTime = time; }

    const QList<Request> &requests() const { return m_log; }
    // Well-formed frames received with this command, to any board or to one.
    int count(int command, int board = -1) const;
    QList<Request> requests(int command, int board = -1) const;
    void clearLog();
    // Starts of frames abandoned: bad check byte, unknown command, wrong length, board over 31.
    int rejectedFrames() const { return m_rejected; }
    // Bytes thrown away while looking for the start of a frame.
    int discardedBytes() const { return m_discarded; }

    // JSON image of the bus: which boards exist, their numbers and memories.
    bool saveImage(const QString &path, QString *error = nullptr) const;
    // Replaces the boards with those of the image; on any error the bus is left as it was.
    bool loadImage(const QString &path, QString *error = nullptr);

private:
    struct Slot
    {
        Board board;
        int silentAfter = -2; // -2: use Faults::silentAfter
        int probesToMiss = -2; // -2: use Faults::missedProbes
        int probesMissed = 0;
    };

    static bool lengthFits(int command, int length);
    void handle(const QByteArray &frame, Clock::time_point arrived, Clock::time_point at,
                QList<Piece> &pieces);
    QByteArray act(Board &board, const Request &request, Clock::time_point arrived);
    bool silent(const Slot &slot, Clock::time_point arrived) const;
    bool missesProbe(Slot &slot);
    bool losesWrite(const Request &request);
    void send(QByteArray reply, Clock::time_point ready, Clock::time_point at, QList<Piece> &pieces,
              Request &request);
    double chance();
    int pick(int lowest, int highest);
    Slot *slotOf(int number);
    const Slot *slotOf(int number) const;

    std::vector<Slot> m_slots;
    QByteArray m_pending;
    Faults m_faults;
    std::mt19937 m_random;
    std::chrono::microseconds m_latency{0};
    std::chrono::milliseconds m_restartTime{0};
    bool m_wireSpeed = false;
    Clock::time_point m_rxFreeAt{};
    Clock::time_point m_txFreeAt{};
    QHash<int, int> m_lostWrites; // per targeted address, writes not stored so far
    QList<Request> m_log;
    int m_rejected = 0;
    int m_discarded = 0;
};
