#include "QtSerialPort.h"

#include <QFileInfo>
#include <QMetaObject>

#include <cerrno>
#include <climits>
#include <cstring>

#include <linux/major.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr qint32 BaudRate = 19200;

QString systemMessage(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Decided by the driver behind the open descriptor (its major device number), not by the path:
// the port is usually reached through a link in ports/, a devpts mounted elsewhere (a container)
// has other paths, and isatty() holds for real ports too.
bool isPseudoTerminalDevice(int descriptor)
{
    struct stat status = {};
    if (descriptor < 0 || ::fstat(descriptor, &status) != 0 || !S_ISCHR(status.st_mode))
        return false;
    const unsigned int driver = major(status.st_rdev);
    return (driver >= UNIX98_PTY_SLAVE_MAJOR && driver < UNIX98_PTY_SLAVE_MAJOR + UNIX98_PTY_MAJOR_COUNT) ||
           driver == PTY_SLAVE_MAJOR;
}

// A terminal whose other end is gone (adapter unplugged, pseudo-terminal master closed) stays
// hung up for good; poll says so without reading anything.
bool isHungUp(int descriptor)
{
    if (descriptor < 0)
        return true;
    pollfd entry{descriptor, POLLIN | POLLOUT, 0};
    if (::poll(&entry, 1, 0) < 0)
        return false;
    return (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace

QtSerialPort::QtSerialPort(Resolver resolver, QObject *parent)
    : SerialPort(parent), m_resolver(std::move(resolver))
{
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialPort::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

QtSerialPort::QtSerialPort(const PortList &ports, QObject *parent)
    : QtSerialPort([ports](const QString &comName) { return ports.deviceFor(comName); }, parent)
{
}

QtSerialPort::~QtSerialPort()
{
    close();
}

bool QtSerialPort::open(const QString &comName)
{
    close();
    ++m_session;
    m_portName = comName;
    m_errorString.clear();
    m_openFailure = {};
    m_device = m_resolver ? m_resolver(comName) : QString();
    if (m_device.isEmpty()) {
        m_errorString = systemMessage(ENOENT);
        m_openFailure.kind = PortOpenFailure::Kind::Gone;
        return false;
    }

    m_port.setPortName(m_device);
    // Set before the open as well, so the device never runs with other settings in between.
    m_port.setBaudRate(BaudRate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::EvenParity);
    m_port.setStopBits(QSerialPort::TwoStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    bool opened = m_port.open(QIODevice::ReadWrite);
    // A program killed while it held the port leaves the line in these very settings. The open
    // then asks for nothing but parity, which a pseudo-terminal refuses, and tcsetattr answers a
    // request of which nothing could be applied with EINVAL: every later open fails the same way.
    // The lock was free (QSerialPort takes it before the settings), so the line is ours to reset.
    if (!opened && m_driver && m_port.errorString() == systemMessage(EINVAL) &&
        m_driver->resetLine(m_device) == 0)
        opened = m_port.open(QIODevice::ReadWrite);
    if (!opened) {
        m_errorString = m_port.errorString();
        m_openFailure = diagnose(m_port.error());
        return false;
    }
    m_pseudoTerminal = isPseudoTerminalDevice(static_cast<int>(m_port.handle()));
    // The kernel keeps a pseudo-terminal's exclusive mode for as long as its master is open, so a
    // killed program would leave it refusing every user but root; the lock file guards it instead.
    // A real device drops the mode at its last close and keeps it while the port is open.
    if (m_pseudoTerminal && m_driver)
        m_driver->releaseExclusive(static_cast<int>(m_port.handle()));
    if (!configure()) {
        m_port.close();
        m_pseudoTerminal = false;
        m_openFailure.kind = PortOpenFailure::Kind::Other;
        m_openFailure.device = m_device;
        return false;
    }
    tuneLatency();
    return true;
}

// USB adapters hold received bytes for their latency timer (16 ms by default for FTDI), which
// makes every exchange wait that long. Low-latency mode shortens it where the driver allows;
// where it does not, the port works as it is.
void QtSerialPort::tuneLatency()
{
    if (!m_driver)
        return;
    const int refused = m_driver->requestLowLatency(static_cast<int>(m_port.handle()));
    QStringList lines;
    if (refused != 0)
        lines << QStringLiteral("%1: low-latency mode not available (%2)")
                     .arg(m_device, systemMessage(refused));
    const int timer = m_driver->latencyTimer(m_device);
    if (timer > 1)
        lines << QStringLiteral(
                     "%1: adapter latency timer is %2 ms; replies arrive up to that much late (see the "
                     "README on the udev rule that sets it to 1)")
                     .arg(m_device)
                     .arg(timer);
    for (const QString &line : std::as_const(lines))
        emit notice(line);
}

PortOpenFailure QtSerialPort::diagnose(QSerialPort::SerialPortError error) const
{
    PortOpenFailure failure;
    failure.device = m_device;
    failure.kind = PortOpenFailure::Kind::Other;
    if (error == QSerialPort::DeviceNotFoundError || !QFileInfo::exists(m_device)) {
        failure.kind = PortOpenFailure::Kind::Gone;
        return failure;
    }
    if (!m_driver)
        return failure;
    const int refused = m_driver->probeOpen(m_device);
    if (refused == EACCES || refused == EPERM) {
        failure.kind = PortOpenFailure::Kind::Permission;
        failure.group = m_driver->owningGroup(m_device);
    } else if (refused == ENOENT || refused == ENODEV || refused == ENXIO) {
        failure.kind = PortOpenFailure::Kind::Gone;
    } else if (refused == EBUSY) {
        failure.kind = PortOpenFailure::Kind::Busy;
        const PortHolder holder = m_driver->deviceHolder(m_device);
        failure.program = holder.program;
        failure.processId = holder.program.isEmpty() ? 0 : holder.pid;
    } else if (const std::optional<PortHolder> holder = m_driver->lockHolder(m_device)) {
        failure.kind = PortOpenFailure::Kind::Busy;
        failure.program = holder->program;
        failure.processId = holder->pid;
    }
    return failure;
}

// The open applies the settings in one call that does not notice a driver dropping some of them,
// so each is applied again on its own and checked.
bool QtSerialPort::configure()
{
    // A pseudo-terminal has no parity and no modem lines: Linux answers setting parity with
    // EINVAL and DTR/RTS with ENOTTY. Only those refusals, and only there, are harmless.
    constexpr int NotTolerated = 0;
    const auto refused = [this](bool applied, int toleratedOnPseudoTerminal) {
        if (applied)
            return false;
        if (toleratedOnPseudoTerminal != NotTolerated && m_pseudoTerminal &&
            m_port.error() == QSerialPort::UnsupportedOperationError &&
            m_port.errorString() == systemMessage(toleratedOnPseudoTerminal)) {
            m_port.clearError();
            return false;
        }
        return true;
    };
    if (refused(m_port.setBaudRate(BaudRate), NotTolerated) ||
        refused(m_port.setDataBits(QSerialPort::Data8), NotTolerated) ||
        refused(m_port.setParity(QSerialPort::EvenParity), EINVAL) ||
        refused(m_port.setStopBits(QSerialPort::TwoStop), NotTolerated) ||
        refused(m_port.setFlowControl(QSerialPort::NoFlowControl), NotTolerated) ||
        refused(m_port.setDataTerminalReady(false), ENOTTY) ||
        refused(m_port.setRequestToSend(false), ENOTTY)) {
        m_errorString = m_port.errorString();
        return false;
    }
    return true;
}

void QtSerialPort::close()
{
    if (m_port.isOpen())
        m_port.close();
    m_pseudoTerminal = false;
    m_lost = false;
    m_rxPending = false;
}

bool QtSerialPort::isOpen() const
{
    return m_port.isOpen() && !m_lost;
}

QString QtSerialPort::errorString() const
{
    return m_errorString;
}

void QtSerialPort::purge()
{
    if (!isOpen())
        return;
    // QSerialPort::clear drops its own buffers along with the driver's.
    m_port.clear(QSerialPort::AllDirections);
    m_rxPending = false;
}

bool QtSerialPort::writeByte(quint8 value)
{
    if (!isOpen()) {
        if (!m_lost)
            m_errorString = QSerialPort::tr("Device is not open");
        return false;
    }
    // Straight to the descriptor while nothing of ours waits in Qt's buffer: a byte the driver
    // takes has left the program's hands, and Qt's own path costs a poll and a notifier per byte.
    // Only a driver that is full (or refuses) goes the long way, which waits and explains.
    if (const int descriptor = static_cast<int>(m_port.handle()); descriptor >= 0 && m_port.bytesToWrite() == 0) {
        const char byte = static_cast<char>(value);
        ssize_t n = 0;
        do {
            n = ::write(descriptor, &byte, 1);
        } while (n < 0 && errno == EINTR);
        if (n == 1) {
            if (m_rxPending)
                QMetaObject::invokeMethod(this, &QtSerialPort::emitRxChar, Qt::QueuedConnection);
            return true;
        }
    }
    // Waiting for the write may read the port and raise readyRead; rxChar must not reach the
    // link from inside its own write, so it is held back and delivered through the event loop.
    m_writing = true;
    const char byte = static_cast<char>(value);
    bool written = m_port.write(&byte, 1) == 1;
    if (written)
        written = m_port.waitForBytesWritten(static_cast<int>(WriteTimeout.count()));
    m_writing = false;

    if (!written && !m_lost && m_port.isOpen() && isHungUp(static_cast<int>(m_port.handle()))) {
        // Unplugged (or the far end closed): no later write can succeed either.
        m_lost = true;
        m_errorString = systemMessage(EIO);
    }
    if (!written && !m_lost) {
        m_errorString = m_port.errorString();
        // A byte the device would not take must not go out later in the middle of another frame.
        if (m_port.isOpen())
            m_port.clear(QSerialPort::Output);
    }
    if (m_rxPending)
        QMetaObject::invokeMethod(this, &QtSerialPort::emitRxChar, Qt::QueuedConnection);
    return written && !m_lost;
}

int QtSerialPort::bytesAvailable() const
{
    if (!m_port.isOpen())
        return 0;
    return static_cast<int>(qMin<qint64>(m_port.bytesAvailable(), INT_MAX));
}

int QtSerialPort::readByte()
{
    if (!m_port.isOpen() || m_port.bytesAvailable() <= 0)
        return -1;
    char byte = 0;
    if (!m_port.getChar(&byte))
        return -1;
    return static_cast<quint8>(byte);
}

void QtSerialPort::onReadyRead()
{
    m_rxPending = true;
    if (!m_writing)
        emitRxChar();
}

void QtSerialPort::emitRxChar()
{
    if (!m_rxPending)
        return;
    m_rxPending = false;
    if (const int count = bytesAvailable(); count > 0)
        emit rxChar(count);
}

void QtSerialPort::onError(QSerialPort::SerialPortError error)
{
    if (m_lost || (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
                   error != QSerialPort::WriteError))
        return;
    // A read error can also be a wake-up that went stale because a purge ran earlier in the same
    // event-loop pass: the read finds nothing, and Qt, taking a leftover errno for the cause, may
    // stop watching the port. Only a hung-up device is gone; any other port is watched again.
    if (!isHungUp(static_cast<int>(m_port.handle()))) {
        QMetaObject::invokeMethod(this, &QtSerialPort::resumeReading, Qt::QueuedConnection);
        return;
    }
    // Qt reports the hang-up as a read of nothing, so the message is the one a write gets.
    m_lost = true;
    m_errorString = systemMessage(EIO);
    // Closed from the event loop: closing here would delete the notifier that is reporting.
    QMetaObject::invokeMethod(
        this,
        [this, session = m_session] {
            if (m_lost && session == m_session)
                m_port.close();
        },
        Qt::QueuedConnection);
}

void QtSerialPort::resumeReading()
{
    if (!m_port.isOpen() || m_lost)
        return;
    m_port.clearError();
    // Asking for more than is buffered reaches QSerialPort::readData, which watches the device
    // again; a peek leaves the buffered bytes where they are.
    m_port.peek(m_port.bytesAvailable() + 1);
}
