#include "NetworkPort.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr quint32 BaudRate = 19200;
constexpr quint8 DataBits = 8;
constexpr quint8 ParityEven = 3;
constexpr quint8 StopBitsTwo = 2;
constexpr quint8 ControlNoFlow = 1;
constexpr quint8 ControlDtrOff = 9;
constexpr quint8 ControlRtsOff = 12;
constexpr quint8 PurgeBoth = 3;

bool wanted(quint8 option)
{
    return option == TelnetCodec::OPTION_BINARY || option == TelnetCodec::OPTION_SUPPRESS_GO_AHEAD ||
           option == TelnetCodec::OPTION_COM_PORT;
}

QByteArray bytes(std::initializer_list<quint8> values)
{
    QByteArray out;
    for (const quint8 v : values)
        out.append(static_cast<char>(v));
    return out;
}

} // namespace

NetworkPort::NetworkPort(Resolver resolver, QObject *parent)
    : SerialPort(parent), m_resolver(std::move(resolver))
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &NetworkPort::onReadyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this, &NetworkPort::onDisconnected);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_open && m_socket.state() != QAbstractSocket::ConnectedState)
            onDisconnected();
    });
}

NetworkPort::~NetworkPort()
{
    m_socket.disconnect(this);
    m_socket.abort();
}

std::chrono::milliseconds NetworkPort::marginFor(std::chrono::microseconds roundTrip)
{
    const auto rounded = std::chrono::ceil<std::chrono::milliseconds>(roundTrip);
    return rounded * RoundTripFactor + ServerAllowance;
}

void NetworkPort::fail(PortOpenFailure::Kind kind, const QString &text)
{
    m_openFailure.kind = kind;
    m_openFailure.device = m_address.host.isEmpty() ? m_portName : m_address.toString();
    m_errorString = text;
    m_socket.abort();
    m_open = false;
}

bool NetworkPort::open(const QString &name)
{
    close();
    m_portName = name;
    m_errorString.clear();
    m_openFailure = {};
    m_address = {};
    m_margin = {};
    m_roundTrip = {};
    auto address = NetworkAddress::parse(name);
    if (!address && m_resolver)
        address = NetworkAddress::parse(m_resolver(name));
    if (!address) {
        fail(PortOpenFailure::Kind::Gone, QString::fromLocal8Bit(std::strerror(ENOENT)));
        return false;
    }
    m_address = *address;
    // Reset before connecting: a Telnet server greets with its own requests at once.
    m_comPortAgreed = false;
    m_comPortRefused = false;
    m_replies.clear();
    m_sentWill.reset();
    m_sentDo.reset();
    m_binaryOut = m_binaryIn = m_binaryRefused = false;
    m_opening = true;
    const bool connected =
        connectSocket() && (m_address.kind == NetworkAddress::Kind::Tcp || negotiateComPort());
    m_opening = false;
    if (!connected)
        return false;
    m_margin = m_address.margin ? *m_address.margin : marginFor(m_roundTrip);
    m_open = true;
    emit notice(QStringLiteral("%1: round trip %2 ms, reply margin %3 ms")
                    .arg(m_address.toString())
                    .arg(static_cast<double>(m_roundTrip.count()) / 1000.0, 0, 'f', 1)
                    .arg(m_margin.count()));
    // Data that came with the negotiation is the line's; let the listener know.
    if (bytesAvailable() > 0)
        QTimer::singleShot(0, this, [this] {
            if (const int count = bytesAvailable(); count > 0 && isOpen())
                emit rxChar(count);
        });
    return true;
}

bool NetworkPort::waitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto check = [&] {
        if (done())
            loop.quit();
    };
    const auto a = connect(&m_socket, &QTcpSocket::connected, &loop, check, Qt::QueuedConnection);
    const auto b = connect(&m_socket, &QTcpSocket::readyRead, &loop, check, Qt::QueuedConnection);
    const auto c =
        connect(&m_socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    const auto d =
        connect(&m_socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    if (!done()) {
        timer.start(timeout);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    disconnect(a);
    disconnect(b);
    disconnect(c);
    disconnect(d);
    return done();
}

bool NetworkPort::connectSocket()
{
    QElapsedTimer clock;
    clock.start();
    m_socket.connectToHost(m_address.host, m_address.port);
    const bool connected =
        waitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; }, ConnectTimeout);
    if (!connected) {
        const QString text = m_socket.state() == QAbstractSocket::UnconnectedState
                                 ? m_socket.errorString()
                                 : QStringLiteral("No connection to %1 within %2 s")
                                       .arg(m_address.toString())
                                       .arg(ConnectTimeout.count() / 1000);
        // The socket's own text says it best (refused, no such host, time-out); the texts about
        // unplugged adapters would mislead.
        fail(PortOpenFailure::Kind::Other, text);
        return false;
    }
    // The handshake is one round trip: the best a raw connection can measure without putting
    // anything on the panel bus.
    m_roundTrip = std::chrono::microseconds(clock.nsecsElapsed() / 1000);
    // Every frame is one small write waiting for its reply: Nagle's delay would hold each one.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

void NetworkPort::sendRaw(const QByteArray &data)
{
    m_socket.write(data);
}

bool NetworkPort::negotiateComPort()
{
    // Binary both ways, or a Telnet server may turn a carriage return (byte 13) into CR NUL. A
    // server may have asked for some of these already, in its greeting: those were answered.
    QByteArray offer;
    const auto ask = [&](quint8 verb, quint8 option) {
        std::bitset<256> &sent = verb == TelnetCodec::WILL ? m_sentWill : m_sentDo;
        if (sent.test(option))
            return;
        sent.set(option);
        offer += TelnetCodec::negotiation(verb, option);
    };
    ask(TelnetCodec::WILL, TelnetCodec::OPTION_BINARY);
    ask(TelnetCodec::DO, TelnetCodec::OPTION_BINARY);
    ask(TelnetCodec::WILL, TelnetCodec::OPTION_SUPPRESS_GO_AHEAD);
    ask(TelnetCodec::DO, TelnetCodec::OPTION_SUPPRESS_GO_AHEAD);
    ask(TelnetCodec::WILL, TelnetCodec::OPTION_COM_PORT);
    sendRaw(offer);
    if (!waitFor([this] { return m_comPortAgreed || m_comPortRefused; }, ConnectTimeout) ||
        m_comPortRefused) {
        fail(PortOpenFailure::Kind::Other,
             m_comPortRefused
                 ? QStringLiteral("%1 does not offer RFC 2217 serial port control").arg(m_address.toString())
                 : QStringLiteral("%1 did not answer the RFC 2217 negotiation").arg(m_address.toString()));
        return false;
    }

    const QList<std::pair<quint8, QByteArray>> settings = {
        {SET_BAUDRATE,
         bytes({quint8(BaudRate >> 24), quint8(BaudRate >> 16), quint8(BaudRate >> 8), quint8(BaudRate)})},
        {SET_DATASIZE, bytes({DataBits})},
        {SET_PARITY, bytes({ParityEven})},
        {SET_STOPSIZE, bytes({StopBitsTwo})},
        {SET_CONTROL, bytes({ControlNoFlow})},
        {SET_CONTROL, bytes({ControlDtrOff})},
        {SET_CONTROL, bytes({ControlRtsOff})},
    };
    QByteArray request;
    for (const auto &[command, value] : settings)
        request +=
            TelnetCodec::subnegotiation(TelnetCodec::OPTION_COM_PORT, QByteArray(1, char(command)) + value);
    QElapsedTimer clock;
    clock.start();
    sendRaw(request);
    qint64 firstReply = -1;
    // Each setting is answered, except that a server may keep quiet about modem lines its port
    // does not have (ser2net on a pseudo-terminal answers DTR and RTS with nothing).
    const auto replied = [&] {
        if (firstReply < 0 && !m_replies.isEmpty())
            firstReply = clock.nsecsElapsed() / 1000;
        for (quint8 command = SET_BAUDRATE; command <= SET_CONTROL; ++command) {
            const bool answered =
                std::any_of(m_replies.cbegin(), m_replies.cend(), [command](const auto &reply) {
                    return quint8(reply.data.at(0)) == command + SERVER_OFFSET;
                });
            if (!answered)
                return false;
        }
        return true;
    };
    if (!waitFor(replied, ConnectTimeout)) {
        fail(PortOpenFailure::Kind::Other,
             QStringLiteral("%1 did not confirm the line settings").arg(m_address.toString()));
        return false;
    }
    // The first answer is a round trip through the device server's own processing: closer to
    // what a reply costs than the TCP handshake, which the kernel answers.
    m_roundTrip = std::max(m_roundTrip, std::chrono::microseconds(firstReply));

    // The server answers each setting with the value now in force; anything else than asked
    // means the boards would see garbage.
    for (const auto &[command, value] : settings) {
        if (command == SET_CONTROL)
            continue;
        bool confirmed = false;
        for (const TelnetCodec::Command &reply : std::as_const(m_replies))
            if (!reply.data.isEmpty() && quint8(reply.data.at(0)) == command + SERVER_OFFSET &&
                reply.data.mid(1) == value)
                confirmed = true;
        if (!confirmed) {
            fail(PortOpenFailure::Kind::Other,
                 QStringLiteral("%1 did not take the line settings 19200 8E2").arg(m_address.toString()));
            return false;
        }
    }
    // The answers to the binary requests were sent before the settings' confirmations.
    if (!waitFor([this] { return (m_binaryIn && m_binaryOut) || m_binaryRefused; }, ConnectTimeout) ||
        m_binaryRefused) {
        fail(PortOpenFailure::Kind::Other,
             QStringLiteral("%1 does not agree to binary mode both ways (a byte 13 could be altered on the way)")
                 .arg(m_address.toString()));
        return false;
    }
    return true;
}

void NetworkPort::answer(const TelnetCodec::Command &command)
{
    using C = TelnetCodec;
    switch (command.verb) {
    case C::DO:
        if (command.option == C::OPTION_COM_PORT)
            m_comPortAgreed = true;
        if (command.option == C::OPTION_BINARY)
            m_binaryOut = true;
        if (!m_sentWill.test(command.option)) {
            sendRaw(C::negotiation(wanted(command.option) ? C::WILL : C::WONT, command.option));
            m_sentWill.set(command.option);
        }
        break;
    case C::DONT:
        if (command.option == C::OPTION_COM_PORT)
            m_comPortRefused = true;
        if (command.option == C::OPTION_BINARY)
            m_binaryRefused = true;
        break;
    case C::WILL:
        if (command.option == C::OPTION_BINARY)
            m_binaryIn = true;
        if (!m_sentDo.test(command.option)) {
            const bool yes = wanted(command.option) && command.option != C::OPTION_COM_PORT;
            sendRaw(C::negotiation(yes ? C::DO : C::DONT, command.option));
            m_sentDo.set(command.option);
        }
        break;
    case C::WONT:
        if (command.option == C::OPTION_BINARY)
            m_binaryRefused = true;
        break;
    case C::SB:
        if (command.option == C::OPTION_COM_PORT && m_opening && !command.data.isEmpty() &&
            quint8(command.data.at(0)) > SERVER_OFFSET &&
            quint8(command.data.at(0)) <= SERVER_OFFSET + SET_CONTROL)
            m_replies.append(command);
        break;
    default:
        break;
    }
}

void NetworkPort::onReadyRead()
{
    if (takeIncoming() && m_open && !m_lost)
        emit rxChar(bytesAvailable());
}

bool NetworkPort::takeIncoming()
{
    const QByteArray received = m_socket.readAll();
    const QByteArray data =
        m_address.kind == NetworkAddress::Kind::Rfc2217 ? m_codec.decode(received) : received;
    if (m_address.kind == NetworkAddress::Kind::Rfc2217) {
        const QList<TelnetCodec::Command> commands = m_codec.takeCommands();
        for (const TelnetCodec::Command &command : commands)
            answer(command);
    }
    if (data.isEmpty())
        return false;
    if (m_rxPos > 0 && m_rxPos == m_rx.size()) {
        m_rx.clear();
        m_rxPos = 0;
    }
    m_rx.append(data);
    // Bytes nobody asked for pile up while the port is idle: only the newest are kept.
    if (bytesAvailable() > MostBuffered) {
        m_rx = m_rx.right(MostBuffered);
        m_rxPos = 0;
    }
    return true;
}

void NetworkPort::onDisconnected()
{
    if (!m_open || m_lost)
        return;
    // The device server went away or the path broke: as final as an unplugged adapter.
    m_lost = true;
    m_errorString = m_socket.error() == QAbstractSocket::UnknownSocketError
                        ? QString::fromLocal8Bit(std::strerror(ECONNRESET))
                        : m_socket.errorString();
}

void NetworkPort::close()
{
    m_open = false;
    m_lost = false;
    if (m_socket.state() != QAbstractSocket::UnconnectedState) {
        // Sent before the close so nothing written is dropped on the way out.
        m_socket.flush();
        m_socket.abort();
    }
    m_codec.reset();
    m_rx.clear();
    m_rxPos = 0;
}

bool NetworkPort::isOpen() const
{
    return m_open && !m_lost;
}

void NetworkPort::purge()
{
    if (!isOpen())
        return;
    // What has reached this end is dropped here; the device server drops what it holds.
    takeIncoming();
    m_rx.clear();
    m_rxPos = 0;
    if (m_address.kind == NetworkAddress::Kind::Rfc2217)
        sendRaw(TelnetCodec::subnegotiation(TelnetCodec::OPTION_COM_PORT, bytes({PURGE_DATA, PurgeBoth})));
}

bool NetworkPort::writeByte(quint8 value)
{
    if (!isOpen()) {
        if (!m_lost)
            m_errorString = QStringLiteral("Device is not open");
        return false;
    }
    const QByteArray data(1, static_cast<char>(value));
    // Queued in the socket and sent from the event loop, where the link waits for the reply: a
    // frame leaves in one segment.
    const QByteArray wire =
        m_address.kind == NetworkAddress::Kind::Rfc2217 ? TelnetCodec::escape(data) : data;
    if (m_socket.write(wire) != wire.size()) {
        m_errorString = m_socket.errorString();
        return false;
    }
    return true;
}

int NetworkPort::bytesAvailable() const
{
    return static_cast<int>(m_rx.size() - m_rxPos);
}

int NetworkPort::readByte()
{
    if (m_rxPos >= m_rx.size())
        return -1;
    return static_cast<quint8>(m_rx.at(m_rxPos++));
}
