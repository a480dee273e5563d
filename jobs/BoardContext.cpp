#include "BoardContext.h"

#include "Comunicacion_TZR.h"
#include "NetworkAddress.h"
#include "NetworkPort.h"
#include "NetworkPortList.h"
#include "QtSerialPort.h"
#include "RoutingPort.h"

#include <QRegularExpression>

#include <utility>

BoardContext::BoardContext(const QString &iniPath, const TextLookup *texts)
    : m_iniPath(iniPath), m_ports(PortList::system())
{
    // The list is looked up at each open: the window's port menu rescans it for adapters plugged in later.
    m_serial = std::make_unique<QtSerialPort>([this](const QString &name) { return m_ports.deviceFor(name); });
    // The routing asks first at every open of a name, the network port next in the same open.
    m_network = std::make_unique<NetworkPort>(
        [this](const QString &name) { return name == m_lookedUpName ? m_lookedUpAddress : lookUp(name); });
    m_port = std::make_unique<RoutingPort>(*m_serial, *m_network, [this](const QString &name) {
        if (!std::exchange(m_keptForOpen, false) || name != m_lookedUpName)
            lookUp(name);
        return !m_lookedUpAddress.isEmpty();
    });
    m_link = std::make_unique<Comunicacion_TZR>();
    m_link->setPuerto(m_port.get());
    m_portList = &m_ports;
    m_portInUse = m_port.get();
    m_linkInUse = m_link.get();
    m_portInUse->setObjectName(PortObjectName);
    if (texts)
        startSession(*texts);
}

BoardContext::BoardContext(SerialPort &port, PortList *ports, const QString &iniPath, Comunicacion_TZR *link)
    : m_iniPath(iniPath), m_portList(ports), m_portInUse(&port), m_linkInUse(link)
{
    if (!m_linkInUse) {
        m_link = std::make_unique<Comunicacion_TZR>();
        m_linkInUse = m_link.get();
    }
    m_linkInUse->setPuerto(m_portInUse);
    m_portInUse->setObjectName(PortObjectName);
}

BoardContext::~BoardContext() = default;

BoardSession &BoardContext::startSession(const TextLookup &texts)
{
    if (!m_session)
        m_session = std::make_unique<BoardSession>(*m_portInUse, *m_linkInUse, texts, m_iniPath);
    return *m_session;
}

QStringList BoardContext::serialPortNames(bool rescan)
{
    if (!m_portList)
        return {};
    if (rescan)
        m_portList->rescan();
    return m_portList->names();
}

BoardContext::KnownPorts BoardContext::knownPorts(const QString &iniPath)
{
    return {PortList::system().ports(), NetworkPortList(iniPath).entries()};
}

SerialPort &BoardContext::port()
{
    return *m_portInUse;
}

void BoardContext::setBoard(int board)
{
    m_linkInUse->setBoard(board);
}

void BoardContext::setDebugLog(DebugLog *log)
{
    m_linkInUse->setDebugLog(log);
}

QString BoardContext::lookUp(const QString &name)
{
    m_lookedUpName = name;
    m_lookedUpAddress = NetworkPortList(m_iniPath).addressFor(name);
    return m_lookedUpAddress;
}

BoardContext::PortChoice BoardContext::choosePort(const QString &named, const QString &comPort)
{
    static const QRegularExpression number(QStringLiteral("^[0-9]+$"));
    static const QRegularExpression comName(QStringLiteral("^COM[0-9]+$"), QRegularExpression::CaseInsensitiveOption);
    QString name = named.trimmed();
    if (name.isEmpty())
        name = number.match(comPort.trimmed()).hasMatch() ? QStringLiteral("COM") + comPort.trimmed() : comPort.trimmed();
    if (NetworkAddress::looksLikeAddress(name))
        return {NetworkAddress::parse(name) ? PortKind::Address : PortKind::BadAddress, name};
    const bool networkName = !lookUp(name).isEmpty();
    PortChoice choice{PortKind::Unknown, name};
    if (networkName)
        choice = {PortKind::NetworkName, name.toUpper()};
    else if (comName.match(name).hasMatch())
        choice = {PortKind::Serial, name.toUpper()};
    // Names in the file are read regardless of case: what was found holds for the name chosen.
    m_lookedUpName = choice.name;
    m_keptForOpen = true;
    return choice;
}

bool BoardContext::open(const PortChoice &choice)
{
    return m_session ? m_session->openPort(choice.name) : m_portInUse->open(choice.name);
}
