#pragma once

#include "BoardSession.h"
#include "NetworkPortList.h"
#include "PortList.h"

#include <QString>

#include <memory>

class Comunicacion_TZR;
class DebugLog;
class NetworkPort;
class QtSerialPort;
class RoutingPort;
class SerialPort;
class TextLookup;

// The port stack, the link and the session of one front end, built once from the configuration:
// a serial port and a network port behind one routing port, named network ports looked up in
// TZR_USR.ini. The window builds its own session over port() and link(); the command-line tool
// uses the one made here.
class BoardContext
{
public:
    enum class PortKind
    {
        Serial,      // COM<n>
        NetworkName, // a named network port of TZR_USR.ini
        Address,     // tcp://HOST:PORT or rfc2217://HOST:PORT
        BadAddress,  // looks like an address but is none
        Unknown,
    };
    struct PortChoice
    {
        PortKind kind = PortKind::Unknown;
        QString name;
    };

    // The ports there are to choose from: the system's serial ports, then the named network
    // ports of TZR_USR.ini.
    struct KnownPorts
    {
        QList<PortList::Port> serial;
        QList<NetworkPortList::Entry> network;
    };
    static KnownPorts knownPorts(const QString &iniPath);
    // The port's object name, the one the window's serial component has always had.
    static inline const QString PortObjectName = QStringLiteral("PuertoCOM");

    // iniPath is TZR_USR.ini; without texts there is no session until startSession().
    explicit BoardContext(const QString &iniPath, const TextLookup *texts = nullptr);
    // Over a port and port list the caller owns (a test's in-process bus); the link too when
    // given, else one of its own.
    BoardContext(SerialPort &port, PortList *ports, const QString &iniPath, Comunicacion_TZR *link = nullptr);
    ~BoardContext();
    BoardContext(const BoardContext &) = delete;
    BoardContext &operator=(const BoardContext &) = delete;

    // The port asked for by name, or when named is empty the configured ComPort, which holds a
    // serial port's number or a network port's name.
    PortChoice choosePort(const QString &named, const QString &comPort);
    // Opens the chosen port with its echo setting; false when it would not open.
    bool open(const PortChoice &choice);

    PortList &ports() { return *m_portList; }
    // The serial ports' names, listed again first when rescan is set (adapters plugged in since).
    QStringList serialPortNames(bool rescan = false);
    bool hasPortList() const { return m_portList != nullptr; }
    SerialPort &port();
    Comunicacion_TZR &link() { return *m_linkInUse; }
    // Only with texts, or once startSession() has run.
    BoardSession &session() { return *m_session; }
    BoardSession &startSession(const TextLookup &texts);
    void setBoard(int board);
    void setDebugLog(DebugLog *log);
    QString iniPath() const { return m_iniPath; }

private:
    QString lookUp(const QString &name);

    QString m_iniPath;
    PortList m_ports;
    PortList *m_portList = nullptr;
    SerialPort *m_portInUse = nullptr;
    Comunicacion_TZR *m_linkInUse = nullptr;
    std::unique_ptr<QtSerialPort> m_serial;
    std::unique_ptr<NetworkPort> m_network;
    std::unique_ptr<RoutingPort> m_port;
    std::unique_ptr<Comunicacion_TZR> m_link;
    std::unique_ptr<BoardSession> m_session;
    // One reading of TZR_USR.ini serves the whole open: the choice, the routing and the address.
    QString m_lookedUpName;
    QString m_lookedUpAddress;
    bool m_keptForOpen = false;
};
