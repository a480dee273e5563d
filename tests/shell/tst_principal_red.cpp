#include "Arranque.h"
#include "Contexto.h"
#include "FixedTexts.h"
#include "NetworkPort.h"
#include "NetworkPortList.h"
#include "NetworkPortsDialog.h"
#include "PortList.h"
#include "ProfileFile.h"
#include "QtSerialPort.h"
#include "RoutingPort.h"
#include "StandIn.h"
#include "TFormPrincipal.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

// Network ports in the window: a saved one opened and scanned at start-up, the port menu's
// entries, and the dialog that keeps them.
class tst_PrincipalRed : public QObject
{
    Q_OBJECT

private slots:
    void startUpOpensASavedNetworkPort()
    {
        if (!QFileInfo(StandIn::program()).isExecutable())
            QSKIP("tzr-panel-sim has not been built");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        qputenv("XDG_DATA_HOME", dir.path().toUtf8());
        const QString korvel = dir.filePath(QStringLiteral("Korvel"));
        QVERIFY(QDir().mkpath(korvel));

        StandIn sim;
        const QString error = sim.start({"--port", "29", "--boards", "2,30", "--tcp", "0"});
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QString tcpPort = sim.linkFields().value(2);
        QVERIFY(!tcpPort.isEmpty());
        const QString address = QStringLiteral("tcp://127.0.0.1:%1").arg(tcpPort);
        QFile ini(korvel + QStringLiteral("/TZR_USR.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[TZR]\r\nComPort=SITE2\r\n[NetworkPorts]\r\nSITE2=%1\r\n")
                      .arg(address)
                      .toLatin1());
        ini.close();

        {
            PortList puertos = PortList::system();
            QtSerialPort serie(puertos);
            const QString iniPath = ini.fileName();
            NetworkPort red([iniPath](const QString &n) { return NetworkPortList(iniPath).addressFor(n); });
            RoutingPort puerto(serie, red,
                               [iniPath](const QString &n) { return NetworkPortList(iniPath).contains(n); });
            Contexto ctx;
            ctx.puertos = &puertos;
            ctx.puerto = &puerto;
            Arranque arranque(ctx);
            arranque.creaObjetos();
            arranque.creaVentanas();

            QStringList marcados;
            QAction *entrada = nullptr;
            for (QAction *a : ctx.principal->entradasPuerto()) {
                if (a->isChecked())
                    marcados << a->text();
                if (a->text().startsWith(QLatin1String("SITE2")))
                    entrada = a;
            }
            QCOMPARE(marcados, QStringList{QStringLiteral("SITE2 \u2013 ") + address});
            QVERIFY(puerto.isOpen());
            QVERIFY(red.isOpen());
            QTreeWidget *arbol = ctx.principal->Arbol();
            QCOMPARE(arbol->topLevelItemCount(), 2);
            QCOMPARE(arbol->topLevelItem(0)->text(0), QStringLiteral("02"));
            QCOMPARE(arbol->topLevelItem(1)->text(0), QStringLiteral("30"));
            // The name, not the text of the entry, is what ComPort keeps.
            QVERIFY(entrada);
            QCOMPARE(
                ProfileFile(iniPath).readString(QStringLiteral("TZR"), QStringLiteral("ComPort"), QString()),
                QStringLiteral("SITE2"));
        }
        QProcess &standIn = sim.process();
        standIn.terminate();
        QVERIFY(standIn.waitForFinished(10000));
    }

    // Rows as typed; "" for a sound set, else a word of the problem shown. The file must keep
    // its ports when the rows are refused.
    void dialogChecksBeforeSaving_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("edit and add")
            << QStringList{"NET1", "net2"} << QStringList{"rfc2217://10.0.4.21:4001", "tcp://192.168.1.9:23"}
            << "" << QStringList{"NET1", "NET2"};
        QTest::newRow("remove one") << QStringList{"NET9"} << QStringList{"tcp://h:1"} << ""
                                    << QStringList{"NET9"};
        QTest::newRow("serial name") << QStringList{"COM4"} << QStringList{"tcp://h:1"} << "COM4"
                                     << QStringList{"NET1", "NET9"};
        QTest::newRow("name twice") << QStringList{"NET1", "net1"} << QStringList{"tcp://h:1", "tcp://h:2"}
                                    << "twice" << QStringList{"NET1", "NET9"};
        QTest::newRow("no port number") << QStringList{"NET1"} << QStringList{"rfc2217://10.0.4.21"}
                                        << "rfc2217://10.0.4.21" << QStringList{"NET1", "NET9"};
    }
    void dialogChecksBeforeSaving()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, addresses);
        QFETCH(QString, problem);
        QFETCH(QStringList, kept);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString ini = dir.filePath(QStringLiteral("TZR_USR.ini"));
        NetworkPortList(ini).set(QStringLiteral("NET1"), QStringLiteral("rfc2217://10.0.4.20:4001"));
        NetworkPortList(ini).set(QStringLiteral("NET9"), QStringLiteral("tcp://h:1"));
        FixedTexts texts;
        NetworkPortsDialog dialog(texts, ini);
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("NetworkPortsTable"));
        QVERIFY(table);
        QCOMPARE(table->rowCount(), 2);
        table->setRowCount(0);
        for (int i = 0; i < names.size(); ++i) {
            table->insertRow(i);
            table->setItem(i, 0, new QTableWidgetItem(names.at(i)));
            table->setItem(i, 1, new QTableWidgetItem(addresses.at(i)));
        }
        QCOMPARE(dialog.save(), problem.isEmpty());
        const QString shown = dialog.findChild<QLabel *>(QStringLiteral("NetworkPortsProblem"))->text();
        if (problem.isEmpty())
            QCOMPARE(shown, QString());
        else
            QVERIFY2(shown.contains(problem), qPrintable(shown));
        QStringList stored;
        for (const NetworkPortList::Entry &e : NetworkPortList(ini).entries())
            stored << e.name;
        QCOMPARE(stored, kept);
        if (problem.isEmpty())
            QCOMPARE(NetworkPortList(ini).addressFor(kept.first()),
                     NetworkAddress::parse(addresses.first())->toString());
    }
};

QTEST_MAIN(tst_PrincipalRed)
#include "tst_principal_red.moc"
