#include "BoardContext.h"
#include "Comunicacion_TZR.h"
#include "FixedTexts.h"
#include "NetworkPortList.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using Kind = BoardContext::PortKind;
Q_DECLARE_METATYPE(BoardContext::PortKind)

using namespace std::chrono_literals;

class TestBoardContext : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_ini = m_dir.filePath(QStringLiteral("TZR_USR%1.ini").arg(++m_files));
        NetworkPortList(m_ini).set(QStringLiteral("NET1"), QStringLiteral("tcp://10.0.4.20:4001"));
    }

    void choosesThePortKind_data()
    {
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("comPort");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("name");
        QTest::newRow("serial number") << QString() << QStringLiteral(" 3 ") << Kind::Serial << QStringLiteral("COM3");
        QTest::newRow("serial name") << QStringLiteral("com7") << QStringLiteral("1") << Kind::Serial
                                     << QStringLiteral("COM7");
        QTest::newRow("named network port") << QStringLiteral("net1") << QStringLiteral("1") << Kind::NetworkName
                                            << QStringLiteral("NET1");
        QTest::newRow("network port in ComPort") << QString() << QStringLiteral("NET1") << Kind::NetworkName
                                                 << QStringLiteral("NET1");
        QTest::newRow("address") << QStringLiteral("tcp://10.0.4.21:4001") << QStringLiteral("1") << Kind::Address
                                 << QStringLiteral("tcp://10.0.4.21:4001");
        QTest::newRow("address without port") << QStringLiteral("tcp://10.0.4.21") << QString() << Kind::BadAddress
                                              << QStringLiteral("tcp://10.0.4.21");
        QTest::newRow("unknown network port") << QStringLiteral("NET2") << QStringLiteral("1") << Kind::Unknown
                                              << QStringLiteral("NET2");
        QTest::newRow("number named") << QStringLiteral("3") << QString() << Kind::Unknown << QStringLiteral("3");
    }

    void choosesThePortKind()
    {
        QFETCH(QString, named);
        QFETCH(QString, comPort);
        QFETCH(Kind, kind);
        QFETCH(QString, name);
        BoardContext context(m_ini);
        const BoardContext::PortChoice choice = context.choosePort(named, comPort);
        QCOMPARE(choice.kind, kind);
        QCOMPARE(choice.name, name);
    }

    void setBoardReachesTheWire_data()
    {
        QTest::addColumn<int>("board");
        QTest::newRow("1") << 1;
        QTest::newRow("17") << 17;
        QTest::newRow("31") << 31;
    }

    // Through a named network port at a local server: the choice, the routing and the address
    // all come from the one port stack.
    void setBoardReachesTheWire()
    {
        QFETCH(int, board);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        NetworkPortList(m_ini).set(QStringLiteral("BENCH"), QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort()));
        BoardContext context(m_ini, &m_texts);
        const BoardContext::PortChoice choice = context.choosePort(QStringLiteral("bench"), QStringLiteral("1"));
        QCOMPARE(choice.kind, Kind::NetworkName);
        QVERIFY(context.open(choice));
        QCOMPARE(&context.session().port(), &context.port());
        QTRY_VERIFY(server.hasPendingConnections());
        QTcpSocket *peer = server.nextPendingConnection();
        QVERIFY(peer);

        context.setBoard(board);
        QCOMPARE(context.link().placaActual(), board);
        context.link().setIntervalo(20ms);
        context.link().Envia_Reinicio();
        QTRY_VERIFY(peer->bytesAvailable() >= 2);
        const QByteArray frame = peer->readAll();
        QCOMPARE(static_cast<int>(static_cast<quint8>(frame.at(1))), board);
        context.port().close();
    }

private:
    QTemporaryDir m_dir;
    QString m_ini;
    int m_files = 0;
    FixedTexts m_texts;
};

QTEST_GUILESS_MAIN(TestBoardContext)
#include "tst_boardcontext.moc"
