#pragma once

#include "BoardBus.h"
#include "SerialPort.h"

#include <QByteArray>
#include <QString>
#include <QTimer>

#include <deque>

// A serial port wired to an in-process BoardBus. Written bytes reach the bus at once; what the
// bus sends back arrives later through the event loop, one rxChar per piece, after the delay the
// bus gives it (its latency, wire time, split pieces). Fault hooks let tests make the port fail.
class BusSerialPort : public SerialPort
{
    Q_OBJECT
public:
    explicit BusSerialPort(BoardBus &bus, QObject *parent = nullptr);

    bool open(const QString &comName) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    QString errorString() const override { return m_error; }
    QString portName() const override { return m_name; }
    // Empties the input buffer, including what has reached the port but not yet been announced;
    // bytes still on their way from the bus arrive afterwards.
    void purge() override;
    bool writeByte(quint8 value) override;
    int bytesAvailable() const override { return static_cast<int>(m_input.size()); }
    int readByte() override;

    BoardBus &bus() { return m_bus; }

    // Opens fail with this message until cleared with an empty one.
    void setOpenFailure(const QString &message) { m_openFailure = message; }
    // After count more bytes every write fails, as when an adapter is unplugged; -1 restores.
    void failWritesAfter(int count) { m_writesLeft = count; }
    // A two-wire line: every byte written comes straight back ahead of the boards' replies.
    void setEchoWrites(bool on) { m_echo = on; }
    // The adapter is unplugged: the port stays "open" but is lost, every write fails.
    void unplug() { m_lost = true; }
    // Unplugged once count more bytes have been written.
    void unplugAfterWrites(int count) { m_unplugAt = m_bytesWritten + count; }
    bool isLost() const override { return m_lost; }
    // How the next failed open explains itself.
    void setOpenFailureKind(const PortOpenFailure &failure) { m_failureKind = failure; }
    PortOpenFailure openFailure() const override
    {
        return m_openFailure.isEmpty() ? PortOpenFailure{} : m_failureKind;
    }
    // Bytes that arrive on the line, announced by one rxChar from the event loop.
    void injectInput(const QByteArray &bytes);

    int bytesWritten() const { return m_bytesWritten; }
    QByteArray written() const { return m_written; }
    void clearWritten() { m_written.clear(); }
    int openCount() const { return m_openCount; }
    int closeCount() const { return m_closeCount; }
    int purgeCount() const { return m_purgeCount; }
    // Pieces sent by the bus that have not arrived yet.
    int piecesInFlight() const { return static_cast<int>(m_inFlight.size()); }

private:
    struct InFlight
    {
        BoardBus::Clock::time_point due;
        QByteArray bytes;
    };

    void schedule(BoardBus::Clock::time_point due, const QByteArray &bytes);
    void arm();
    void deliver();

    BoardBus &m_bus;
    bool m_open = false;
    QString m_name;
    QString m_error;
    QString m_openFailure;
    int m_writesLeft = -1;
    bool m_echo = false;
    bool m_lost = false;
    int m_unplugAt = -1;
    PortOpenFailure m_failureKind;
    QByteArray m_input;
    std::deque<InFlight> m_inFlight;
    QTimer m_timer;
    QByteArray m_written;
    int m_bytesWritten = 0;
    int m_openCount = 0;
    int m_closeCount = 0;
    int m_purgeCount = 0;
};
