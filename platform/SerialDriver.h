#pragma once

#include <QString>

#include <optional>

// A program holding a device, and its process.
struct PortHolder
{
    QString program;
    qint64 pid = 0;
};

// What QtSerialPort asks of the serial driver beyond QSerialPort: the low-latency mode of USB
// adapters, their latency timer, and why an open was refused. A pseudo-terminal can show none
// of it, so tests substitute their own answers.
class SerialDriver
{
public:
    virtual ~SerialDriver() = default;

    // Sets ASYNC_LOW_LATENCY on the open descriptor; 0 when done, otherwise the errno.
    virtual int requestLowLatency(int descriptor);
    // The adapter's latency timer in milliseconds from sysfs, or -1 when the device has none.
    virtual int latencyTimer(const QString &device);
    // Opens and closes the device as the port would, without locking it; 0 or the errno.
    virtual int probeOpen(const QString &device);
    // Sets the line back to plain raw 9600 8N1, as a fresh device comes up; 0 or the errno.
    virtual int resetLine(const QString &device);
    // Gives up exclusive mode on the open descriptor; 0 or the errno.
    virtual int releaseExclusive(int descriptor);
    // The program holding the device's lock file: nullopt when there is no live lock, an empty
    // name when the holder is alive but its name cannot be read.
    virtual std::optional<PortHolder> lockHolder(const QString &device);
    // Another program with the device open, among the processes this user may see; an empty
    // name when none is found.
    virtual PortHolder deviceHolder(const QString &device);
    // The name of the group owning the device, empty when unknown.
    virtual QString owningGroup(const QString &device);
};
