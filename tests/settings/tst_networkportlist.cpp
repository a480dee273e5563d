#include "NetworkPortList.h"
#include "ProfileFile.h"
#include "TzrError.h"

#include <QTemporaryDir>
#include <QtTest>

class TestNetworkPortList : public QObject
{
    Q_OBJECT
private slots:
    void namedPorts()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString ini = dir.filePath(QStringLiteral("TZR_USR.ini"));
        ProfileFile(ini).writeString(QStringLiteral("TZR"), QStringLiteral("ComPort"),
                                     QStringLiteral("NET1"));
        NetworkPortList list(ini);
        list.set(QStringLiteral("net1"), QStringLiteral("RFC2217://10.0.4.20:4001"));
        list.set(QStringLiteral("SITE-B"), QStringLiteral("tcp://192.168.1.9:23"));
        QCOMPARE(list.addressFor(QStringLiteral("Net1")), QStringLiteral("rfc2217://10.0.4.20:4001"));
        QCOMPARE(list.entries().size(), 2);
        QCOMPARE(list.entries().at(1).name, QStringLiteral("SITE-B"));
        // Section TZR keeps its own keys only.
        QCOMPARE(ProfileFile(ini).keys(QStringLiteral("TZR")), QStringList{QStringLiteral("ComPort")});
        QVERIFY_THROWS_EXCEPTION(TzrError, list.set(QStringLiteral("COM4"), QStringLiteral("tcp://h:1")));
        QVERIFY_THROWS_EXCEPTION(TzrError, list.set(QStringLiteral("NET2"), QStringLiteral("tcp://h")));
        list.remove(QStringLiteral("NET1"));
        QVERIFY(!list.contains(QStringLiteral("NET1")));
        QCOMPARE(list.entries().size(), 1);
    }

};

QTEST_GUILESS_MAIN(TestNetworkPortList)
#include "tst_networkportlist.moc"
