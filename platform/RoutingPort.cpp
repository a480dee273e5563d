#include "RoutingPort.h"

#include "NetworkAddress.h"
#include "NetworkPort.h"

RoutingPort::RoutingPort(SerialPort &local, NetworkPort &network,
                         std::function<bool(const QString &)> isNetworkName, QObject *parent)
    : SerialPort(parent), m_local(local), m_network(network), m_active(&local),
      m_isNetworkName(std::move(isNetworkName))
{
    for (SerialPort *port : {static_cast<SerialPort *>(&m_local), static_cast<SerialPort *>(&m_network)}) {
        connect(port, &SerialPort::rxChar, this, [this, port](int count) {
            if (port == m_active)
                emit rxChar(count);
        });
        connect(port, &SerialPort::notice, this, &SerialPort::notice);
    }
}

bool RoutingPort::isNetwork(const QString &name) const
{
    return NetworkAddress::looksLikeAddress(name) || (m_isNetworkName && m_isNetworkName(name));
}

bool RoutingPort::open(const QString &name)
{
    close();
    m_active = isNetwork(name) ? static_cast<SerialPort *>(&m_network) : &m_local;
    return m_active->open(name);
}

void RoutingPort::close()
{
    m_local.close();
    m_network.close();
}
