#pragma once

#include "NetworkAddress.h"
#include "SerialPort.h"
#include "TelnetCodec.h"

#include <QByteArray>
#include <QTcpSocket>

#include <bitset>
#include <chrono>
#include <functional>

// The panel bus behind a serial device server: raw TCP, or Telnet with RFC 2217's
// COM-PORT-CONTROL, where the far port is set to 19200 baud, 8 data bits, even parity, 2 stop
// bits and no flow control. The round trip measured while connecting becomes the reply margin.
class NetworkPort : public SerialPort
{
    Q_OBJECT
public:
    // Gives the address text of a port name that is not an address itself (a named network
    // port), or empty when there is none.
    using Resolver = std::function<QString(const QString &name)>;

    explicit NetworkPort(Resolver resolver = {}, QObject *parent = nullptr);
    ~NetworkPort() override;

    bool open(const QString &name) override;
    void close() override;
    bool isOpen() const override;
    QString errorString() const override { return m_errorString; }
    QString portName() const override { return m_portName; }
    PortOpenFailure openFailure() const override { return m_openFailure; }
    bool isLost() const override { return m_lost; }
    std::chrono::milliseconds replyMargin() const override { return m_margin; }

    void purge() override;
    bool writeByte(quint8 value) override;
    int bytesAvailable() const override;
    int readByte() override;

    // The round trip measured by the last open.
    std::chrono::microseconds roundTrip() const { return m_roundTrip; }
    const NetworkAddress &address() const { return m_address; }

    static constexpr std::chrono::milliseconds ConnectTimeout{5000};
    // The most received bytes kept while nobody reads them: a reply frame is a few tens of
    // bytes, so a far end that floods an idle port costs this much memory and no more.
    static constexpr qsizetype MostBuffered = 4096;
    // A reply also waits on the device server's scheduling and on jitter of the path, which on
    // a shared network easily matches the mean round trip.
    static constexpr int RoundTripFactor = 2;
    static constexpr std::chrono::milliseconds ServerAllowance{10};
    static std::chrono::milliseconds marginFor(std::chrono::microseconds roundTrip);

    // RFC 2217 commands (client to server; the server answers with the same plus 100).
    static constexpr quint8 SET_BAUDRATE = 1;
    static constexpr quint8 SET_DATASIZE = 2;
    static constexpr quint8 SET_PARITY = 3;
    static constexpr quint8 SET_STOPSIZE = 4;
    static constexpr quint8 SET_CONTROL = 5;
    static constexpr quint8 PURGE_DATA = 12;
    static constexpr quint8 SERVER_OFFSET = 100;

private:
    bool connectSocket();
    bool negotiateComPort();
    bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout);
    void fail(PortOpenFailure::Kind kind, const QString &text);
    void onReadyRead();
    // Reads what the socket holds into the receive buffer; true when data bytes came.
    bool takeIncoming();
    void answer(const TelnetCodec::Command &command);
    void onDisconnected();
    void sendRaw(const QByteArray &bytes);

    Resolver m_resolver;
    QTcpSocket m_socket{this};
    TelnetCodec m_codec;
    NetworkAddress m_address;
    QString m_portName;
    QString m_errorString;
    PortOpenFailure m_openFailure;
    QByteArray m_rx;
    qsizetype m_rxPos = 0;
    bool m_open = false;
    bool m_lost = false;
    bool m_opening = false;
    std::chrono::milliseconds m_margin{0};
    std::chrono::microseconds m_roundTrip{0};

    // What the far end said during the open.
    bool m_comPortAgreed = false;
    bool m_comPortRefused = false;
    QList<TelnetCodec::Command> m_replies;
    // Options this end has offered or answered (WILL/WONT) and asked for or answered (DO/DONT):
    // each is said at most once, so a far end cannot make the negotiation bounce for ever.
    std::bitset<256> m_sentWill;
    std::bitset<256> m_sentDo;
    // Binary both ways is required: without it a Telnet server may turn byte 13 into CR NUL.
    bool m_binaryOut = false;
    bool m_binaryIn = false;
    bool m_binaryRefused = false;
};
