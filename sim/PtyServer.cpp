#include "PtyServer.h"

#include <QIODevice>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int CHUNK = 65536;

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

QString describe(const BoardBus::Request &request)
{
    QString text = QStringLiteral("board %1 ").arg(request.board);
    switch (request.command) {
    case BoardBus::CMD_PRESENCE:
        text += QStringLiteral("presence");
        break;
    case BoardBus::CMD_RESTART:
        text += QStringLiteral("restart");
        break;
    case BoardBus::CMD_READ:
        text += QStringLiteral("read 0x%1").arg(request.address, 4, 16, QLatin1Char('0'));
        break;
    case BoardBus::CMD_WRITE:
        text += QStringLiteral("write 0x%1").arg(request.address, 4, 16, QLatin1Char('0'));
        text += request.value < 0 ? QStringLiteral(" (no value)")
                                  : QStringLiteral(" := 0x%1").arg(request.value, 2, 16, QLatin1Char('0'));
        break;
    case BoardBus::CMD_OPEN:
        text += QStringLiteral("open transfer");
        break;
    case BoardBus::CMD_CLOSE:
        text += QStringLiteral("close transfer");
        break;
    default:
        break;
    }
    if (request.lateBy.count() > 0)
        text += QStringLiteral(", reply %1 ms late").arg(request.lateBy.count() / 1000.0);
    if (request.bytesCut > 0)
        text += QStringLiteral(", %1 byte(s) cut from the reply").arg(request.bytesCut);
    if (request.duplicated)
        text += QStringLiteral(", reply sent twice");
    switch (request.outcome) {
    case BoardBus::Outcome::Answered:
        return text;
    case BoardBus::Outcome::NotKept:
        return text + QStringLiteral(", acknowledged but not stored");
    case BoardBus::Outcome::ProbeMissed:
        return text + QStringLiteral(", probe let pass");
    case BoardBus::Outcome::Corrupted:
        return text + QStringLiteral(", reply with bad check byte");
    case BoardBus::Outcome::Dropped:
        return text + QStringLiteral(", reply dropped");
    case BoardBus::Outcome::Silent:
        return text + QStringLiteral(", board silent");
    case BoardBus::Outcome::Absent:
        return text + QStringLiteral(", no such board");
    case BoardBus::Outcome::Collision:
        return text + QStringLiteral(", several boards answer: collision");
    }
    return text;
}

} // namespace

PtyServer::PtyServer(BoardBus &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
    connect(&m_alarm, &PreciseAlarm::fired, this, &PtyServer::flushDue);
}

PtyServer::~PtyServer()
{
    m_notifier.reset();
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyServer::start(QString *error)
{
    const auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    if (!m_alarm.isValid())
        return fail(systemError("timerfd_create"));
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail(systemError("posix_openpt"));
    if (grantpt(m_master) != 0)
        return fail(systemError("grantpt"));
    if (unlockpt(m_master) != 0)
        return fail(systemError("unlockpt"));
    const char *name = ptsname(m_master);
    if (!name)
        return fail(systemError("ptsname"));
    m_slavePath = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        return fail(systemError("open pty slave"));

    // No echo, no line editing, no character translation, before the PC configures anything.
    termios settings{};
    if (tcgetattr(m_slave, &settings) != 0)
        return fail(systemError("tcgetattr"));
    cfmakeraw(&settings);
    cfsetspeed(&settings, B19200);
    if (tcsetattr(m_slave, TCSANOW, &settings) != 0)
        return fail(systemError("tcsetattr"));

    const int flags = fcntl(m_master, F_GETFL);
    if (flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail(systemError("fcntl"));
    fcntl(m_master, F_SETFD, FD_CLOEXEC);

    m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PtyServer::onReadable);
    m_started = BoardBus::Clock::now();
    return true;
}

void PtyServer::onReadable()
{
    char buffer[CHUNK];
    for (;;) {
        const ssize_t got = ::read(m_master, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (got <= 0) {
            m_notifier->setEnabled(false);
            emit failed(systemError("read from pty"));
            return;
        }
        const auto now = BoardBus::Clock::now();
        const QByteArray bytes(buffer, static_cast<qsizetype>(got));
        // The PC's turnaround: from a reply's last byte going out to the next request coming in.
        if (m_log && m_replySent) {
            m_replySent = false;
            logLine(now, QStringLiteral("rx begin"));
        }
        if (m_echo) {
            // Due now: it goes out ahead of any reply these bytes cause.
            Outgoing echo{now, bytes, BoardBus::Piece::Kind::Reply, true};
            const auto after =
                std::upper_bound(m_queue.begin(), m_queue.end(), echo.due,
                                 [](auto due, const Outgoing &queued) { return due < queued.due; });
            m_queue.insert(after, echo);
        }
        const QList<BoardBus::Piece> pieces = m_bus.receive(bytes, now);
        logRequests(now);
        for (const BoardBus::Piece &piece : pieces) {
            const Outgoing outgoing{now + piece.delay, piece.bytes, piece.kind};
            const auto after = std::upper_bound(m_queue.begin(), m_queue.end(), outgoing.due,
                                                [](auto due, const Outgoing &queued) { return due < queued.due; });
            m_queue.insert(after, outgoing);
        }
    }
    flushDue();
}

void PtyServer::logRequests(BoardBus::Clock::time_point when)
{
    bool changed = false;
    for (const BoardBus::Request &request : m_bus.requests()) {
        if (m_log)
            logLine(when, QStringLiteral("rx %1: %2").arg(hex(request.frame), describe(request)));
        const bool acted = request.outcome != BoardBus::Outcome::Absent && request.outcome != BoardBus::Outcome::Silent;
        if (acted && (request.command == BoardBus::CMD_CLOSE || request.command == BoardBus::CMD_RESTART))
            changed = true;
    }
    if (m_log && m_bus.discardedBytes() > 0)
        logLine(when, QStringLiteral("rx %1 byte(s) discarded, %2 frame start(s) rejected")
                          .arg(m_bus.discardedBytes())
                          .arg(m_bus.rejectedFrames()));
    m_bus.clearLog();
    m_memoryChanged = m_memoryChanged || changed;
}

void PtyServer::flushDue()
{
    for (;;) {
        const auto now = BoardBus::Clock::now();
        if (!m_held.empty() && m_heldDue <= now) {
            transmit(m_held);
            m_held.clear();
        }
        if (m_queue.empty() || m_queue.front().due > now)
            break;
        const Outgoing piece = m_queue.front();
        m_queue.pop_front();
        if (m_usbLatency.count() > 0)
            hold(piece, now);
        else
            transmit({piece});
    }
    if (!m_queue.empty() || !m_held.empty()) {
        auto next = m_queue.empty() ? m_heldDue : m_queue.front().due;
        if (!m_held.empty() && m_heldDue < next)
            next = m_heldDue;
        m_alarm.setDeadline(next);
        return;
    }
    m_alarm.cancel();
    // Saving a large bus takes milliseconds: only once the acknowledgement is out.
    if (m_memoryChanged) {
        m_memoryChanged = false;
        emit memoryChanged();
    }
}

void PtyServer::hold(const Outgoing &piece, BoardBus::Clock::time_point now)
{
    if (m_held.empty())
        m_heldDue = now + m_usbLatency;
    m_held.push_back(piece);
}

// The pieces leave in one write, as an adapter hands over its buffer when its timer runs out.
void PtyServer::transmit(const std::vector<Outgoing> &pieces)
{
    QByteArray bytes;
    for (const Outgoing &piece : pieces)
        bytes += piece.bytes;
    ssize_t written = 0;
    do {
        written = ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size()));
    } while (written < 0 && errno == EINTR);
    if (!m_log)
        return;
    const auto now = BoardBus::Clock::now();
    m_replySent = true;
    qsizetype offset = 0;
    for (const Outgoing &piece : pieces) {
        const QString kind = piece.echo                                   ? QStringLiteral("tx echo ")
                             : piece.kind == BoardBus::Piece::Kind::Noise ? QStringLiteral("tx noise ")
                                                                          : QStringLiteral("tx ");
        const qsizetype end = offset + piece.bytes.size();
        if (written >= end)
            logLine(now, kind + hex(piece.bytes));
        else if (written < 0)
            logLine(now, kind + hex(piece.bytes) + QStringLiteral(" lost: ") + systemError("write"));
        else
            logLine(now, kind + hex(piece.bytes) +
                             QStringLiteral(" cut after %1 byte(s): pty full")
                                 .arg(std::max<qsizetype>(0, written - offset)));
        offset = end;
    }
}

void PtyServer::logLine(BoardBus::Clock::time_point when, const QString &text)
{
    const double seconds = std::chrono::duration<double>(when - m_started).count();
    m_log->write(QStringLiteral("%1 %2\n").arg(seconds, 12, 'f', 6).arg(text).toUtf8());
}
