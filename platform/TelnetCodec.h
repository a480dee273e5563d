#pragma once

#include <QByteArray>
#include <QList>

// Telnet framing of a byte stream: data bytes 255 are doubled on the way out and undoubled on
// the way in, and the commands in between (option negotiation, subnegotiation) are taken out of
// the data. A command may arrive split over several reads; the state is kept between them.
class TelnetCodec
{
public:
    static constexpr quint8 IAC = 255;
    static constexpr quint8 DONT = 254;
    static constexpr quint8 DO = 253;
    static constexpr quint8 WONT = 252;
    static constexpr quint8 WILL = 251;
    static constexpr quint8 SB = 250;
    static constexpr quint8 SE = 240;

    static constexpr quint8 OPTION_BINARY = 0;
    static constexpr quint8 OPTION_SUPPRESS_GO_AHEAD = 3;
    static constexpr quint8 OPTION_COM_PORT = 44;

    struct Command
    {
        quint8 verb = 0; // WILL, WONT, DO, DONT or SB
        quint8 option = 0;
        QByteArray data; // SB only: the bytes between the option and IAC SE, undoubled
    };

    static QByteArray escape(const QByteArray &data);
    static QByteArray negotiation(quint8 verb, quint8 option);
    static QByteArray subnegotiation(quint8 option, const QByteArray &data);

    // Takes the next received bytes; returns their data bytes and queues the commands.
    QByteArray decode(const QByteArray &received);
    QList<Command> takeCommands();
    void reset();

private:
    enum class State
    {
        Data,
        Iac,
        Verb,
        SubOption,
        Sub,
        SubIac
    };
    // The longest subnegotiation kept; a far end sending more is cut, not followed.
    static constexpr qsizetype MaxSub = 64;

    State m_state = State::Data;
    quint8 m_verb = 0;
    Command m_sub;
    QList<Command> m_commands;
};
