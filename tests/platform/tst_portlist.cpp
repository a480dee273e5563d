#include "PortList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// Links are written "COM5>target" (target relative to the test folder, "!" in front for one that
// does not exist); ports are expected as "COM5=device", with "@" standing for the test folder.
class TestPortList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void numbersPorts_data();
    void numbersPorts();
    void findsTheDeviceOfAName();
    void readsTheLinksOfTheKorvelFolder();

private:
    QString root() const { return m_dir->path(); }
    QString linkFolder() const { return m_dir->filePath(QStringLiteral("ports")); }
    void makeLink(const QString &spec);
    QStringList listed(const PortList &list) const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPortList::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(root()).mkpath(QStringLiteral("ports")));
    QVERIFY(QDir(root()).mkpath(QStringLiteral("dev")));
}

void TestPortList::makeLink(const QString &spec)
{
    const QString name = spec.section(QLatin1Char('>'), 0, 0);
    QString target = spec.section(QLatin1Char('>'), 1);
    const bool dangling = target.startsWith(QLatin1Char('!'));
    if (dangling)
        target.remove(0, 1);
    const QString targetPath = target.startsWith(QLatin1Char('/')) ? target : m_dir->filePath(target);
    if (!dangling && !QFile::exists(targetPath)) {
        QFile device(targetPath);
        QVERIFY(device.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::link(targetPath, QDir(linkFolder()).filePath(name)));
}

QStringList TestPortList::listed(const PortList &list) const
{
    QStringList result;
    int previous = 0;
    for (const PortList::Port &port : list.ports()) {
        result << port.name + QLatin1Char('=') + QString(port.device).replace(root(), QStringLiteral("@"));
        if (port.name != QStringLiteral("COM%1").arg(port.number))
            result << QStringLiteral("name does not match number ") + port.name;
        if (port.number <= previous)
            result << QStringLiteral("out of order ") + port.name;
        previous = port.number;
    }
    return result;
}

void TestPortList::numbersPorts_data()
{
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("nothing") << QStringList() << QStringList() << QStringList();
    QTest::newRow("ttyS<k> is COM<k+1>") << QStringList() << QStringList{"/dev/ttyS3", "/dev/ttyS0"}
                                         << QStringList{"COM1=/dev/ttyS0", "COM4=/dev/ttyS3"};
    QTest::newRow("ttyS31 is the last of them") << QStringList() << QStringList{"/dev/ttyS31", "/dev/ttyS32"}
                                                << QStringList{"COM32=/dev/ttyS31", "COM33=/dev/ttyS32"};
    QTest::newRow("adapters from COM33 by device path")
        << QStringList() << QStringList{"/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyUSB0"}
        << QStringList{"COM33=/dev/ttyACM0", "COM34=/dev/ttyUSB0", "COM35=/dev/ttyUSB1"};
    QTest::newRow("a device listed twice counts once")
        << QStringList() << QStringList{"/dev/ttyUSB0", "/dev/ttyUSB0"} << QStringList{"COM33=/dev/ttyUSB0"};
    QTest::newRow("mixed, ascending")
        << QStringList() << QStringList{"/dev/ttyUSB0", "/dev/ttyS1", "/dev/rfcomm0"}
        << QStringList{"COM2=/dev/ttyS1", "COM33=/dev/rfcomm0", "COM34=/dev/ttyUSB0"};
    QTest::newRow("link beside devices")
        << QStringList{"COM5>dev/pts-7"} << QStringList{"/dev/ttyS0", "/dev/ttyUSB0"}
        << QStringList{"COM1=/dev/ttyS0", "COM5=@/dev/pts-7", "COM33=/dev/ttyUSB0"};
    QTest::newRow("link wins over ttyS0's name")
        << QStringList{"COM1>dev/sim"} << QStringList{"/dev/ttyS0"} << QStringList{"COM1=@/dev/sim"};
    QTest::newRow("link taking COM33 leaves the other adapters their numbers")
        << QStringList{"COM33>dev/sim"} << QStringList{"/dev/ttyUSB0", "/dev/ttyUSB1"}
        << QStringList{"COM33=@/dev/sim", "COM34=/dev/ttyUSB1"};
    QTest::newRow("a linked device gets no second name")
        << QStringList{"COM7>/dev/null"} << QStringList{"/dev/null", "/dev/ttyUSB0"}
        << QStringList{"COM7=/dev/null", "COM34=/dev/ttyUSB0"};
    QTest::newRow("dangling link left out")
        << QStringList{"COM7>!dev/gone", "COM8>dev/here"} << QStringList() << QStringList{"COM8=@/dev/here"};
    QTest::newRow("link through a link gives the device")
        << QStringList{"COM8>dev/here", "COM9>ports/COM8"} << QStringList()
        << QStringList{"COM8=@/dev/here", "COM9=@/dev/here"};
    QTest::newRow("names that are not ports")
        << QStringList{"COM0>dev/a", "COM05>dev/b", "com6>dev/c", "COMX>dev/d", "ttyS0>dev/e", "COM12>dev/f"}
        << QStringList() << QStringList{"COM12=@/dev/f"};
    QTest::newRow("links in ascending number, not name order")
        << QStringList{"COM10>dev/a", "COM2>dev/b", "COM100>dev/c"} << QStringList()
        << QStringList{"COM2=@/dev/b", "COM10=@/dev/a", "COM100=@/dev/c"};
}

void TestPortList::numbersPorts()
{
    QFETCH(QStringList, links);
    QFETCH(QStringList, devices);
    QFETCH(QStringList, expected);

    for (const QString &link : std::as_const(links))
        makeLink(link);
    QCOMPARE(listed(PortList(linkFolder(), devices)), expected);
}

void TestPortList::findsTheDeviceOfAName()
{
    makeLink(QStringLiteral("COM5>dev/sim"));
    const PortList list(linkFolder(), {QStringLiteral("/dev/ttyS0")});
    QCOMPARE(list.deviceFor(QStringLiteral("COM5")), m_dir->filePath(QStringLiteral("dev/sim")));
    QCOMPARE(list.deviceFor(QStringLiteral("com1")), QStringLiteral("/dev/ttyS0"));
    QVERIFY(list.deviceFor(QStringLiteral("COM2")).isEmpty());
    QVERIFY(list.deviceFor(QString()).isEmpty());
    QCOMPARE(list.names(), (QStringList{QStringLiteral("COM1"), QStringLiteral("COM5")}));

    const PortList noFolder(m_dir->filePath(QStringLiteral("missing")), {QStringLiteral("/dev/ttyUSB0")});
    QCOMPARE(noFolder.names(), QStringList{QStringLiteral("COM33")});
}

void TestPortList::readsTheLinksOfTheKorvelFolder()
{
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(root()));
    QVERIFY(QDir(root()).mkpath(QStringLiteral("Korvel/ports")));
    QFile device(m_dir->filePath(QStringLiteral("dev/sim")));
    QVERIFY(device.open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(device.fileName(), m_dir->filePath(QStringLiteral("Korvel/ports/COM31"))));

    QCOMPARE(PortList::defaultLinkFolder(), m_dir->filePath(QStringLiteral("Korvel/ports")));
    const PortList list = PortList::system();
    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
    QCOMPARE(list.deviceFor(QStringLiteral("COM31")), device.fileName());
}

QTEST_GUILESS_MAIN(TestPortList)
#include "tst_portlist.moc"
