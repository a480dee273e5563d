#include "Arranque.h"
#include "Contexto.h"
#include "PortList.h"
#include "QtSerialPort.h"
#include "StandIn.h"
#include "TFormPrincipal.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

// The program as installed: a real serial port on the stand-in's pseudo-terminal, found through
// the ports/ link the stand-in makes.
class tst_PrincipalPty : public QObject
{
    Q_OBJECT

private slots:
    void startUpFindsTheStandInsBoards()
    {
        if (!QFileInfo(StandIn::program()).isExecutable())
            QSKIP("tzr-panel-sim has not been built");

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        qputenv("XDG_DATA_HOME", dir.path().toUtf8());
        const QString korvel = dir.filePath(QStringLiteral("Korvel"));
        QVERIFY(QDir().mkpath(korvel));
        QFile ini(korvel + QStringLiteral("/TZR_USR.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[TZR]\r\nComPort=27\r\n");
        ini.close();

        StandIn sim;
        const QString error = sim.start({QStringLiteral("--port"), QStringLiteral("27"),
                                         QStringLiteral("--boards"), QStringLiteral("0,31")});
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY2(sim.isRunning(), "the stand-in stopped");
        const QString link = sim.link();
        QCOMPARE(link, korvel + QStringLiteral("/ports/COM27"));

        {
            PortList puertos = PortList::system();
            QtSerialPort puerto(puertos);
            Contexto ctx;
            ctx.puertos = &puertos;
            ctx.puerto = &puerto;
            Arranque arranque(ctx);
            arranque.creaObjetos();
            arranque.creaVentanas();

            QStringList marcados;
            for (QAction *a : ctx.principal->entradasPuerto()) {
                if (a->isChecked())
                    marcados << a->text();
            }
            QCOMPARE(marcados, QStringList({"COM27"}));
            QVERIFY(puerto.isOpen());
            QVERIFY(puerto.isPseudoTerminal());
            QTreeWidget *arbol = ctx.principal->Arbol();
            QCOMPARE(arbol->topLevelItemCount(), 2);
            QCOMPARE(arbol->topLevelItem(0)->text(0), QStringLiteral("00"));
            QCOMPARE(arbol->topLevelItem(1)->text(0), QStringLiteral("31"));
        }

        QProcess &standIn = sim.process();
        standIn.terminate();
        QVERIFY(standIn.waitForFinished(10000));
        QCOMPARE(standIn.exitStatus(), QProcess::NormalExit);
        QVERIFY(!QFileInfo::exists(link));
    }
};

QTEST_MAIN(tst_PrincipalPty)
#include "tst_principal_pty.moc"
