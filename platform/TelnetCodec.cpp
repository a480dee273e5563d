#include "TelnetCodec.h"

QByteArray TelnetCodec::escape(const QByteArray &data)
{
    QByteArray out;
    out.reserve(data.size() + 2);
    for (const char c : data) {
        out.append(c);
        if (static_cast<quint8>(c) == IAC)
            out.append(c);
    }
    return out;
}

QByteArray TelnetCodec::negotiation(quint8 verb, quint8 option)
{
    QByteArray out;
    out.append(static_cast<char>(IAC));
    out.append(static_cast<char>(verb));
    out.append(static_cast<char>(option));
    return out;
}

QByteArray TelnetCodec::subnegotiation(quint8 option, const QByteArray &data)
{
    QByteArray out;
    out.append(static_cast<char>(IAC));
    out.append(static_cast<char>(SB));
    out.append(static_cast<char>(option));
    out.append(escape(data));
    out.append(static_cast<char>(IAC));
    out.append(static_cast<char>(SE));
    return out;
}

QByteArray TelnetCodec::decode(const QByteArray &received)
{
    QByteArray data;
    data.reserve(received.size());
    for (const char c : received) {
        const quint8 byte = static_cast<quint8>(c);
        switch (m_state) {
        case State::Data:
            if (byte == IAC)
                m_state = State::Iac;
            else
                data.append(c);
            break;
        case State::Iac:
            if (byte == IAC) {
                data.append(c);
                m_state = State::Data;
            } else if (byte == WILL || byte == WONT || byte == DO || byte == DONT) {
                m_verb = byte;
                m_state = State::Verb;
            } else if (byte == SB) {
                m_state = State::SubOption;
            } else {
                // A command without an option (NOP, go-ahead...): nothing for this line.
                m_state = State::Data;
            }
            break;
        case State::Verb:
            m_commands.append(Command{m_verb, byte, {}});
            m_state = State::Data;
            break;
        case State::SubOption:
            m_sub = Command{SB, byte, {}};
            m_state = State::Sub;
            break;
        case State::Sub:
            if (byte == IAC)
                m_state = State::SubIac;
            else if (m_sub.data.size() < MaxSub)
                m_sub.data.append(c);
            break;
        case State::SubIac:
            if (byte == SE) {
                m_commands.append(m_sub);
                m_sub = {};
                m_state = State::Data;
            } else {
                // IAC IAC inside a subnegotiation is one 255; anything else is taken as such too.
                if (m_sub.data.size() < MaxSub)
                    m_sub.data.append(c);
                m_state = State::Sub;
            }
            break;
        }
    }
    return data;
}

QList<TelnetCodec::Command> TelnetCodec::takeCommands()
{
    QList<Command> commands;
    commands.swap(m_commands);
    return commands;
}

void TelnetCodec::reset()
{
    m_state = State::Data;
    m_sub = {};
    m_commands.clear();
}
