#pragma once

#include "PortList.h"
#include "SerialDriver.h"
#include "SerialPort.h"

#include <QSerialPort>

#include <chrono>
#include <functional>
#include <memory>

// The serial line on a real device (or a pseudo-terminal) through QSerialPort, with the panel
// bus settings: 19200 baud, 8 data bits, even parity, 2 stop bits, no flow control, DTR and RTS
// off.
class QtSerialPort : public SerialPort
{
    Q_OBJECT
public:
    // Gives the device path of a "COM<n>" name, or empty when there is no such port.
    using Resolver = std::function<QString(const QString &comName)>;

    explicit QtSerialPort(Resolver resolver, QObject *parent = nullptr);
    explicit QtSerialPort(const PortList &ports, QObject *parent = nullptr);
    ~QtSerialPort() override;

    bool open(const QString &comName) override;
    void close() override;
    bool isOpen() const override;
    QString errorString() const override;
    QString portName() const override { return m_portName; }
    PortOpenFailure openFailure() const override { return m_openFailure; }
    bool isLost() const override { return m_lost; }

    // Replaces the driver requests (tests: a pseudo-terminal cannot show them).
    void setDriver(std::shared_ptr<SerialDriver> driver) { m_driver = std::move(driver); }

    void purge() override;
    bool writeByte(quint8 value) override;
    int bytesAvailable() const override;
    int readByte() override;

    // The device path the last open resolved to.
    QString devicePath() const { return m_device; }
    // Whether the open device is a pseudo-terminal (its parity and modem lines were not set).
    bool isPseudoTerminal() const { return m_pseudoTerminal; }

    // How long a write may wait for the device to take a byte before it fails.
    static constexpr std::chrono::milliseconds WriteTimeout{2000};

private:
    bool configure();
    void tuneLatency();
    PortOpenFailure diagnose(QSerialPort::SerialPortError error) const;
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void emitRxChar();
    void resumeReading();

    Resolver m_resolver;
    QSerialPort m_port{this};
    QString m_portName;
    QString m_device;
    QString m_errorString;
    std::shared_ptr<SerialDriver> m_driver = std::make_shared<SerialDriver>();
    PortOpenFailure m_openFailure;
    bool m_pseudoTerminal = false;
    bool m_lost = false;
    bool m_writing = false;
    bool m_rxPending = false;
    quint64 m_session = 0;
};
