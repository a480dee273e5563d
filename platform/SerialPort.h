#pragma once

#include <QObject>
#include <QString>

#include <chrono>

// Why the last open failed, as far as the system tells.
struct PortOpenFailure
{
    enum class Kind
    {
        None,
        Permission, // the device belongs to a group the user is not in
        Busy,       // another program holds the device or its lock
        Gone,       // the device is not (or no longer) present
        Other
    };
    Kind kind = Kind::None;
    QString device;
    // Permission: the group owning the device. Busy: the program holding it and its process,
    // when known.
    QString group;
    QString program;
    qint64 processId = 0;
};

// The serial line to the panel bus. Settings are fixed by the implementation (19200 baud, 8 data
// bits, even parity, 2 stop bits, no flow control, DTR and RTS off). rxChar is delivered through
// the event loop of the thread that owns the port, never directly from inside a write.
class SerialPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    // Opens the port by its "COM<n>" name; false with errorString() set when it cannot.
    virtual bool open(const QString &comName) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString errorString() const = 0;
    // The "COM<n>" name given to the last open.
    virtual QString portName() const = 0;

    // Discards everything waiting in both directions.
    virtual void purge() = 0;
    // Writes one byte and returns when it has left the program's hands.
    virtual bool writeByte(quint8 value) = 0;
    // Number of received bytes waiting to be read.
    virtual int bytesAvailable() const = 0;
    // Next waiting byte (0..255), or -1 when none is waiting.
    virtual int readByte() = 0;

    // Set by the last failed open; Kind::None after a successful one.
    virtual PortOpenFailure openFailure() const { return {}; }
    // Whether the device was unplugged (or its other end closed) while open.
    virtual bool isLost() const { return false; }
    // Time a reply needs beyond what the panel line itself takes (a network's round trip); the
    // link waits this much longer for every reply. Nothing for a local line.
    virtual std::chrono::milliseconds replyMargin() const { return std::chrono::milliseconds{0}; }

    // A two-wire line that hands back every byte sent: each reply is then preceded by the
    // request itself, which the link drops.
    void setLineEchoes(bool on) { m_lineEchoes = on; }
    bool lineEchoes() const { return m_lineEchoes; }

signals:
    // Characters arrived; count is how many are waiting.
    void rxChar(int count);
    // Something about the line worth a debug line (a driver refusing low latency...), sent at
    // every open it applies to; the listener decides how often to show it.
    void notice(const QString &text);

private:
    bool m_lineEchoes = false;
};
