#pragma once

#include "BoardBus.h"
#include "PreciseAlarm.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <deque>
#include <memory>
#include <vector>

class QIODevice;
class QSocketNotifier;

// Serves a BoardBus on a pseudo-terminal: what the PC writes to the slave side is read from the
// master in chunks and fed to the bus; each reply piece is written back in one call at the time
// the bus says it reaches the PC.
class PtyServer : public QObject
{
    Q_OBJECT
public:
    explicit PtyServer(BoardBus &bus, QObject *parent = nullptr);
    ~PtyServer() override;

    bool start(QString *error);
    QString slavePath() const { return m_slavePath; }
    // Every frame received and sent, with times since start; nullptr for none.
    void setLog(QIODevice *log) { m_log = log; }
    // A two-wire line that hands every byte the PC sends straight back to it.
    void setEcho(bool on) { m_echo = on; }
    // A USB adapter's latency timer: bytes for the PC are held and delivered together this long
    // after the first of them became available.
    void setUsbLatency(std::chrono::microseconds latency) { m_usbLatency = latency; }

signals:
    // A board acted on a transfer close or a restart and its reply has left: its memory is worth
    // saving now.
    void memoryChanged();
    void failed(const QString &message);

private:
    struct Outgoing
    {
        BoardBus::Clock::time_point due;
        QByteArray bytes;
        BoardBus::Piece::Kind kind = BoardBus::Piece::Kind::Reply;
        bool echo = false;
    };

    void onReadable();
    void flushDue();
    void transmit(const std::vector<Outgoing> &pieces);
    void hold(const Outgoing &piece, BoardBus::Clock::time_point now);
    void logLine(BoardBus::Clock::time_point when, const QString &text);
    void logRequests(BoardBus::Clock::time_point when);

    BoardBus &m_bus;
    int m_master = -1;
    // Held open so the master never sees a hang-up while the PC closes and reopens the port.
    int m_slave = -1;
    QString m_slavePath;
    std::unique_ptr<QSocketNotifier> m_notifier;
    PreciseAlarm m_alarm;
    std::deque<Outgoing> m_queue;
    QIODevice *m_log = nullptr;
    bool m_memoryChanged = false;
    bool m_echo = false;
    bool m_replySent = false;
    std::chrono::microseconds m_usbLatency{0};
    std::vector<Outgoing> m_held;
    BoardBus::Clock::time_point m_heldDue{};
    BoardBus::Clock::time_point m_started = BoardBus::Clock::now();
};
