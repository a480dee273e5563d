#include "TcpBridge.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

TcpBridge::TcpBridge(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpBridge::onConnection);
}

TcpBridge::~TcpBridge()
{
    closeTerminal();
}

bool TcpBridge::start(const QString &slavePath, quint16 port, QString *error)
{
    m_slavePath = slavePath;
    // Only this machine: the line carries the boards' codes in clear.
    if (!m_server.listen(QHostAddress::LocalHost, port)) {
        if (error)
            *error = QStringLiteral("cannot listen on TCP port %1: %2").arg(port).arg(m_server.errorString());
        return false;
    }
    return true;
}

// The terminal is opened only while a client is connected: whoever else reads it (the program on
// the port link, a device server) would otherwise lose the replies to this bridge.
bool TcpBridge::openTerminal()
{
    closeTerminal();
    m_terminal = ::open(m_slavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_terminal < 0) {
        emit failed(systemError("open pty slave"));
        return false;
    }
    m_readNotifier = std::make_unique<QSocketNotifier>(m_terminal, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &TcpBridge::onTerminalReadable);
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_terminal, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &TcpBridge::writeTerminal);
    return true;
}

void TcpBridge::closeTerminal()
{
    m_readNotifier.reset();
    m_writeNotifier.reset();
    if (m_terminal >= 0)
        ::close(m_terminal);
    m_terminal = -1;
    m_toTerminal.clear();
}

void TcpBridge::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_client) {
            m_client->disconnect(this);
            m_client->abort();
            m_client->deleteLater();
        }
        m_client = socket;
        if (!openTerminal()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, &TcpBridge::onClientData);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket == m_client)
                closeTerminal();
            socket->deleteLater();
        });
    }
}

void TcpBridge::onClientData()
{
    if (!m_client || m_terminal < 0)
        return;
    m_toTerminal += m_client->readAll();
    writeTerminal();
}

void TcpBridge::writeTerminal()
{
    while (!m_toTerminal.isEmpty()) {
        const ssize_t written =
            ::write(m_terminal, m_toTerminal.constData(), static_cast<size_t>(m_toTerminal.size()));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN) {
            emit failed(systemError("write pty slave"));
            return;
        }
        if (written <= 0)
            break;
        m_toTerminal.remove(0, written);
    }
    m_writeNotifier->setEnabled(!m_toTerminal.isEmpty());
}

void TcpBridge::onTerminalReadable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(m_terminal, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return;
        // With no client the answer has nowhere to go, as on a bus nobody listens to.
        if (m_client && m_client->state() == QAbstractSocket::ConnectedState)
            m_client->write(buffer, count);
    }
}
