#include "ScriptPort.h"

bool ScriptPort::open(const QString &comName)
{
    m_name = comName;
    m_open = true;
    return true;
}

void ScriptPort::inject(const QByteArray &bytes)
{
    m_pending.append(bytes);
    QTimer::singleShot(m_replyDelay, Qt::PreciseTimer, this, &ScriptPort::deliverNext);
}

bool ScriptPort::writeByte(quint8 value)
{
    if (!m_open || m_failWrites) {
        m_error = QStringLiteral("Input/output error");
        return false;
    }
    m_output.append(static_cast<char>(value));
    // A request is complete once its check byte (offset 3 + length) is in.
    if (m_output.size() >= 3 && m_output.size() == 4 + static_cast<quint8>(m_output[2])) {
        const QByteArray frame = m_output;
        m_output.clear();
        m_frames.append(frame);
        if (m_responder) {
            for (const QByteArray &piece : m_responder(frame))
                inject(piece);
        }
    }
    return true;
}

int ScriptPort::readByte()
{
    if (m_input.isEmpty())
        return -1;
    const int c = static_cast<quint8>(m_input[0]);
    m_input.remove(0, 1);
    return c;
}

void ScriptPort::deliverNext()
{
    if (m_pending.isEmpty())
        return;
    m_input.append(m_pending.takeFirst());
    emit rxChar(static_cast<int>(m_input.size()));
}
