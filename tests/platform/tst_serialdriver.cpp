#include "QtSerialPort.h"
#include "SerialDriver.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The far end of a pseudo-terminal, held open so the port's side stays up.
class Pty
{
public:
    Pty()
    {
        m_fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_fd >= 0 && ::grantpt(m_fd) == 0 && ::unlockpt(m_fd) == 0)
            m_slave = QString::fromLocal8Bit(::ptsname(m_fd));
    }
    ~Pty()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    QString slave() const { return m_slave; }

private:
    int m_fd = -1;
    QString m_slave;
};

// What a USB adapter's driver would answer, where a pseudo-terminal cannot.
class FakeDriver : public SerialDriver
{
public:
    int requestLowLatency(int descriptor) override
    {
        m_descriptors << descriptor;
        return m_lowLatencyError;
    }
    int latencyTimer(const QString &) override { return m_timer; }
    int probeOpen(const QString &device) override
    {
        return m_probeError >= 0 ? m_probeError : SerialDriver::probeOpen(device);
    }

    QList<int> m_descriptors;
    int m_lowLatencyError = 0;
    int m_timer = -1;
    int m_probeError = -1;
};

QString ownName()
{
    QFile comm(QStringLiteral("/proc/self/comm"));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
}

} // namespace

class TestSerialDriver : public QObject
{
    Q_OBJECT

private slots:
    // Low latency is asked for on every open; a refusal or a slow adapter timer is told, and
    // the port works either way.
    void lowLatencyOnOpen_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("timer");
        QTest::addColumn<QStringList>("notices");
        QTest::newRow("granted, 1 ms timer") << 0 << 1 << QStringList();
        QTest::newRow("granted, no sysfs timer") << 0 << -1 << QStringList();
        QTest::newRow("refused by a pty") << ENOTTY << -1 << QStringList({"low-latency mode not available"});
        QTest::newRow("granted, timer left at 16")
            << 0 << 16 << QStringList({"adapter latency timer is 16 ms"});
        QTest::newRow("refused, timer at 16")
            << EINVAL << 16 << QStringList({"low-latency mode not available", "timer is 16 ms"});
    }
    void lowLatencyOnOpen()
    {
        QFETCH(int, error);
        QFETCH(int, timer);
        QFETCH(QStringList, notices);
        Pty pty;
        QVERIFY(!pty.slave().isEmpty());
        auto driver = std::make_shared<FakeDriver>();
        driver->m_lowLatencyError = error;
        driver->m_timer = timer;
        QtSerialPort port([&pty](const QString &) { return pty.slave(); });
        port.setDriver(driver);
        QSignalSpy spy(&port, &SerialPort::notice);
        QVERIFY2(port.open(QStringLiteral("COM5")), qPrintable(port.errorString()));
        QCOMPARE(driver->m_descriptors.size(), 1);
        QVERIFY(driver->m_descriptors.first() >= 0);
        QCOMPARE(spy.size(), notices.size());
        for (int i = 0; i < notices.size(); ++i) {
            const QString line = spy.at(i).at(0).toString();
            QVERIFY2(line.startsWith(pty.slave()) && line.contains(notices.at(i)), qPrintable(line));
        }
        QVERIFY(port.writeByte(0x55));

        // Every open asks again.
        port.close();
        QVERIFY(port.open(QStringLiteral("COM5")));
        QCOMPARE(driver->m_descriptors.size(), 2);
        QCOMPARE(spy.size(), 2 * notices.size());
    }

    void realPtyRefusesLowLatencyQuietly()
    {
        Pty pty;
        QtSerialPort port([&pty](const QString &) { return pty.slave(); });
        QSignalSpy spy(&port, &SerialPort::notice);
        QVERIFY(port.open(QStringLiteral("COM5")));
        QCOMPARE(spy.size(), 1);
        QVERIFY(port.isOpen());
    }

    // Why an open failed: the device is gone, not ours to open, or held by another program.
    void openFailureIsExplained_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::newRow("gone") << "gone";
        QTest::newRow("permission") << "permission";
        QTest::newRow("busy") << "busy";
    }
    void openFailureIsExplained()
    {
        QFETCH(QString, situation);
        QTemporaryDir dir;
        Pty pty;
        auto driver = std::make_shared<FakeDriver>();
        QString device;
        PortOpenFailure::Kind expected = PortOpenFailure::Kind::Other;
        std::unique_ptr<QtSerialPort> holder;
        if (situation == QLatin1String("gone")) {
            device = dir.filePath(QStringLiteral("ttyUSB9"));
            expected = PortOpenFailure::Kind::Gone;
        } else if (situation == QLatin1String("permission")) {
            // A node the test owns; the refusal itself comes from the driver seam (root opens all).
            device = dir.filePath(QStringLiteral("ttyUSB0"));
            QFile node(device);
            QVERIFY(node.open(QIODevice::WriteOnly));
            node.close();
            driver->m_probeError = EACCES;
            expected = PortOpenFailure::Kind::Permission;
        } else {
            device = pty.slave();
            holder = std::make_unique<QtSerialPort>([device](const QString &) { return device; });
            QVERIFY(holder->open(QStringLiteral("COM5")));
            expected = PortOpenFailure::Kind::Busy;
        }
        QtSerialPort port([device](const QString &) { return device; });
        port.setDriver(driver);
        QVERIFY(!port.open(QStringLiteral("COM6")));
        const PortOpenFailure failure = port.openFailure();
        QCOMPARE(int(failure.kind), int(expected));
        QCOMPARE(failure.device, device);
        if (expected == PortOpenFailure::Kind::Permission)
            QCOMPARE(failure.group, SerialDriver().owningGroup(device));
        if (expected == PortOpenFailure::Kind::Busy) {
            QCOMPARE(failure.program, ownName());
            QCOMPARE(failure.processId, qint64(::getpid()));
        }
        QVERIFY(!port.errorString().isEmpty());

        // A later successful open clears it.
        if (holder) {
            holder->close();
            QVERIFY(port.open(QStringLiteral("COM6")));
            QCOMPARE(int(port.openFailure().kind), int(PortOpenFailure::Kind::None));
        }
    }

    // A lock names a process: gone (ESRCH) makes it stale; alive, ours or another user's (kill
    // answers EPERM), makes the device busy. Checked as an unprivileged user, since root may
    // signal every process; the check runs in a child that gives up root.
    void lockOfAnotherUsersProcessIsBusy_data()
    {
        QTest::addColumn<QString>("holder");
        QTest::addColumn<bool>("busy");
        QTest::newRow("another user's process") << "init" << true;
        QTest::newRow("own process") << "self" << true;
        QTest::newRow("process gone") << "gone" << false;
    }
    void lockOfAnotherUsersProcessIsBusy()
    {
        QFETCH(QString, holder);
        QFETCH(bool, busy);
        qint64 pid = 1;
        if (holder == QLatin1String("gone")) {
            const pid_t child = ::fork();
            if (child == 0)
                ::_exit(0);
            QVERIFY(child > 0);
            QVERIFY(::waitpid(child, nullptr, 0) == child);
            pid = child;
        }
        const QString name = QStringLiteral("tzrlocktest%1").arg(::getpid());
        const QString lockPath = QStringLiteral("/tmp/LCK..") + name;
        int channel[2];
        QVERIFY(::pipe(channel) == 0);
        const pid_t checker = ::fork();
        QVERIFY(checker >= 0);
        if (checker == 0) {
            ::close(channel[0]);
            if (::getuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(NOBODY) != 0 || ::setuid(NOBODY) != 0))
                ::_exit(2);
            const qint64 named = holder == QLatin1String("self") ? qint64(::getpid()) : pid;
            QFile lock(lockPath);
            if (!lock.open(QIODevice::WriteOnly))
                ::_exit(3);
            lock.write(QByteArray::number(named) + "\nsomeprogram\nsomehost\n");
            lock.close();
            const std::optional<PortHolder> found = SerialDriver().lockHolder(QStringLiteral("/dev/") + name);
            QFile::remove(lockPath);
            const char answer = found ? 'B' : 'F';
            ::_exit(::write(channel[1], &answer, 1) == 1 ? 0 : 4);
        }
        ::close(channel[1]);
        char answer = 0;
        const ssize_t got = ::read(channel[0], &answer, 1);
        ::close(channel[0]);
        int status = 0;
        QVERIFY(::waitpid(checker, &status, 0) == checker);
        QFile::remove(lockPath);
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(got, ssize_t(1));
        QCOMPARE(answer, busy ? 'B' : 'F');
    }

private:
    static constexpr uid_t NOBODY = 65534;
};

QTEST_GUILESS_MAIN(TestSerialDriver)
#include "tst_serialdriver.moc"
