#pragma once

#include "SerialPort.h"

#include <functional>

class NetworkPort;

// One port object for the program, whatever the user picks: a network address ("tcp://...",
// "rfc2217://...") or a named network port goes to the network port, any other name to the
// local serial port. Listeners connect to this object only.
class RoutingPort : public SerialPort
{
    Q_OBJECT
public:
    // isNetworkName tells whether a name (not an address) is a named network port.
    RoutingPort(SerialPort &local, NetworkPort &network, std::function<bool(const QString &)> isNetworkName,
                QObject *parent = nullptr);

    bool open(const QString &name) override;
    void close() override;
    bool isOpen() const override { return m_active->isOpen(); }
    QString errorString() const override { return m_active->errorString(); }
    QString portName() const override { return m_active->portName(); }
    PortOpenFailure openFailure() const override { return m_active->openFailure(); }
    bool isLost() const override { return m_active->isLost(); }
    std::chrono::milliseconds replyMargin() const override { return m_active->replyMargin(); }
    void purge() override { m_active->purge(); }
    bool writeByte(quint8 value) override { return m_active->writeByte(value); }
    int bytesAvailable() const override { return m_active->bytesAvailable(); }
    int readByte() override { return m_active->readByte(); }

    bool isNetwork(const QString &name) const;

private:
    SerialPort &m_local;
    NetworkPort &m_network;
    SerialPort *m_active;
    std::function<bool(const QString &)> m_isNetworkName;
};
