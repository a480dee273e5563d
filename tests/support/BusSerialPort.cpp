#include "BusSerialPort.h"

#include <algorithm>

BusSerialPort::BusSerialPort(BoardBus &bus, QObject *parent)
    : SerialPort(parent), m_bus(bus)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &BusSerialPort::deliver);
}

bool BusSerialPort::open(const QString &comName)
{
    m_name = comName;
    if (!m_openFailure.isEmpty()) {
        m_error = m_openFailure;
        return false;
    }
    m_open = true;
    m_error.clear();
    ++m_openCount;
    return true;
}

void BusSerialPort::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_lost = false;
    m_input.clear();
    ++m_closeCount;
}

void BusSerialPort::purge()
{
    ++m_purgeCount;
    m_input.clear();
    const auto now = BoardBus::Clock::now();
    while (!m_inFlight.empty() && m_inFlight.front().due <= now)
        m_inFlight.pop_front();
    arm();
}

bool BusSerialPort::writeByte(quint8 value)
{
    if (!m_open) {
        m_error = QStringLiteral("The port is not open");
        return false;
    }
    if (m_unplugAt >= 0 && m_bytesWritten >= m_unplugAt)
        m_lost = true;
    if (m_writesLeft == 0 || m_lost) {
        m_error = QStringLiteral("Input/output error");
        return false;
    }
    if (m_writesLeft > 0)
        --m_writesLeft;
    ++m_bytesWritten;
    m_written.append(static_cast<char>(value));
    const auto now = BoardBus::Clock::now();
    if (m_echo)
        schedule(now, QByteArray(1, static_cast<char>(value)));
    for (const BoardBus::Piece &piece : m_bus.receive(QByteArray(1, static_cast<char>(value)), now))
        schedule(now + piece.delay, piece.bytes);
    return true;
}

int BusSerialPort::readByte()
{
    if (m_input.isEmpty())
        return -1;
    const int value = static_cast<quint8>(m_input.front());
    m_input.remove(0, 1);
    return value;
}

void BusSerialPort::injectInput(const QByteArray &bytes)
{
    schedule(BoardBus::Clock::now(), bytes);
}

void BusSerialPort::schedule(BoardBus::Clock::time_point due, const QByteArray &bytes)
{
    const auto after = std::upper_bound(m_inFlight.begin(), m_inFlight.end(), due,
                                        [](auto time, const InFlight &queued) { return time < queued.due; });
    m_inFlight.insert(after, InFlight{due, bytes});
    arm();
}

void BusSerialPort::arm()
{
    if (m_inFlight.empty()) {
        m_timer.stop();
        return;
    }
    using namespace std::chrono;
    const auto wait = m_inFlight.front().due - BoardBus::Clock::now();
    m_timer.start(std::max(ceil<milliseconds>(wait), milliseconds{0}));
}

void BusSerialPort::deliver()
{
    // One piece per event, so a split reply reaches the program in several receive events.
    if (!m_inFlight.empty() && m_inFlight.front().due <= BoardBus::Clock::now()) {
        const QByteArray bytes = m_inFlight.front().bytes;
        m_inFlight.pop_front();
        // A closed port hears nothing.
        if (m_open) {
            m_input += bytes;
            emit rxChar(static_cast<int>(m_input.size()));
        }
    }
    arm();
}
