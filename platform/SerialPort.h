#pragma once

#include <QObject>
#include <QString>

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

signals:
    // Characters arrived; count is how many are waiting.
    void rxChar(int count);
};
