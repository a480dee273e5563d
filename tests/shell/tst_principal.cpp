#include "ArranquePrueba.h"
#include "Comunicacion_TZR_p.h"

#include "TFProgreso.h"
#include "TF_ShowMessage.h"
#include "TfrmDebug.h"
#include "TzrError.h"
#include "WindowSet.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

using namespace std::chrono_literals;

class tst_Principal : public QObject
{
    Q_OBJECT

private slots:
    void startUpPollsEveryBoardOnce()
    {
        ArranquePrueba p({3, 17}, TIEMPO_RESPUESTA);
        p.escribeIni("[TZR]\r\nComPort=3\r\n");
        p.arranca();

        QByteArray esperado;
        QList<int> orden;
        for (int n = 0; n < 32; ++n) {
            esperado += QByteArray::fromHex("ff") + char(n) + QByteArray::fromHex("010101");
            orden << n;
        }
        QCOMPARE(p.sondeadas(), orden);
        QCOMPARE(p.m_port.written(), esperado);
        QCOMPARE(p.m_bus.requests().size(), 32);
        QCOMPARE(p.nodos(), QStringList({"03", "17"}));
        QCOMPARE(p.marcados(), QStringList({"COM3"}));
        QVERIFY(p.m_port.isOpen());
        QCOMPARE(p.m_port.portName(), QStringLiteral("COM3"));
        QCOMPARE(p.m_ctx.estado->Puerto_Actual(), QStringLiteral("COM3"));
    }

    // While board k is polled the progress counts the k boards already tried.
    void scanProgressCountsTheBoardsTried()
    {
        ArranquePrueba p({3});
        p.escribeIni("[TZR]\r\nComPort=3\r\n");
        QStringList fuera;
        QTimer espia;
        espia.setInterval(0);
        QObject::connect(&espia, &QTimer::timeout, [&] {
            const int enviadas = p.m_bus.count(BoardBus::CMD_PRESENCE);
            if (enviadas == 0 || !p.m_ctx.progreso || !p.m_ctx.progreso->isVisible())
                return;
            // Waiting for a quiet line before the next probe, the board before it is tried already.
            const int probadas = Comunicacion_TZRPrivate(p.m_link).settlePending() ? enviadas : enviadas - 1;
            const QString esperado = QStringLiteral("%1/31").arg(probadas);
            if (p.m_ctx.progreso->contador() != esperado || p.m_ctx.progreso->position() != probadas)
                fuera << esperado + QStringLiteral(" shown as ") + p.m_ctx.progreso->contador();
        });
        p.arranca();
        p.principal().conecta_APLICACION(true);
        p.m_bus.clearLog();
        espia.start();
        p.principal().B_RefreshClick();
        espia.stop();
        QCOMPARE(fuera, QStringList());
        QCOMPARE(p.m_ctx.progreso->contador(), QStringLiteral("31/31"));
    }

    void windowsAreCreatedAndTheLogJoinsLast()
    {
        ArranquePrueba p;
        p.m_port.setOpenFailure(QStringLiteral("busy"));
        p.arranca();
        const Contexto &c = p.m_ctx;
        const WindowSet v = WindowSet::of(c);
        const QList<QWidget *> ventanas{v.principal,      v.contrasena,        v.idiomaa,
                                        v.test,           v.progreso,          v.advertencia,
                                        v.solicitaContra, v.contraAplicacion,  v.advertencia3,
                                        v.parametros,     v.mensajeParametros, v.showMessage,
                                        v.debug};
        for (QWidget *w : ventanas) {
            QVERIFY(w);
            QCOMPARE(w->isVisible(), false);
        }
        QCOMPARE(c.principal->objectName(), QStringLiteral("TFormPrincipal"));
        QCOMPARE(c.principal->size(), QSize(850, 444));
        QCOMPARE(p.m_link.debugLog(), static_cast<DebugLog *>(c.debug));
        // The port failed to open while the debug window did not exist yet: its line is dropped.
        QCOMPARE(c.debug->texto(), QString());
        QCOMPARE(p.m_port.objectName(), QStringLiteral("PuertoCOM"));
        QVERIFY(!p.m_ctx.estado->aplicacion_conectada());
        QVERIFY(!p.m_ctx.estado->placa_conectada());
    }

    void configuredPort_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("checked");
        QTest::newRow("no file") << QByteArray() << "COM1";
        QTest::newRow("12 is not 1") << QByteArray("[TZR]\nComPort=12\n") << "COM12";
        QTest::newRow("section and key in any case") << QByteArray("[tzr]\ncomport=3\n") << "COM3";
        QTest::newRow("not a number") << QByteArray("[TZR]\nComPort=abc\n") << "";
        QTest::newRow("empty") << QByteArray("[TZR]\nComPort=\n") << "";
        QTest::newRow("port gone") << QByteArray("[TZR]\nComPort=5\n") << "";
    }

    void configuredPort()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, checked);
        ArranquePrueba p({1});
        if (!ini.isEmpty())
            p.escribeIni(ini);
        p.arranca();
        if (checked.isEmpty()) {
            QCOMPARE(p.marcados(), QStringList());
            QCOMPARE(p.m_port.openCount(), 0);
            QCOMPARE(p.m_bus.requests().size(), 0);
            QCOMPARE(p.nodos(), QStringList());
        } else {
            QCOMPARE(p.marcados(), QStringList({checked}));
            QCOMPARE(p.m_port.portName(), checked);
            QCOMPARE(p.m_port.openCount(), 1);
            QCOMPARE(p.nodos(), QStringList({"01"}));
        }
    }

    void storedPortThatIsGoneStaysInTheFile()
    {
        ArranquePrueba p;
        p.escribeIni("[TZR]\nComPort=5\n");
        p.arranca();
        p.termina();
        QVERIFY2(p.leeIni().contains(QStringLiteral("ComPort=5")), qPrintable(p.leeIni()));
    }

    void firstRunWritesTheFileAtTheEnd()
    {
        ArranquePrueba p({}, 20ms, {QStringLiteral("/dev/ttyS3")});
        p.arranca();
        QVERIFY(!QFile::exists(p.ini()));
        QCOMPARE(p.m_ctx.configuracion->PWD(), QStringLiteral("TRUBO"));
        p.termina();
        const QString texto = p.leeIni();
        for (const char *clave : {"ComPort=1", "TZR_Senda=", "PWD=TRUBO", "IDIOMA=ENGLISH"})
            QVERIFY2(texto.contains(QLatin1String(clave)), qPrintable(texto));
    }

    void getComNumber_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("number");
        QTest::newRow("COM1") << "COM1" << 1;
        QTest::newRow("COM12") << "COM12" << 12;
        QTest::newRow("lower case") << "com3" << 3;
        QTest::newRow("mixed case") << "CoM33" << 33;
        QTest::newRow("every COM goes") << "COMcom5" << 5;
        QTest::newRow("bare number") << "7" << 7;
        QTest::newRow("nothing left") << "COM" << -1;
        QTest::newRow("letters left") << "COMx" << -1;
        QTest::newRow("device name") << "ttyUSB0" << -1;
        QTest::newRow("empty") << "" << -1;
    }

    void getComNumber()
    {
        QFETCH(QString, name);
        QFETCH(int, number);
        if (number < 0)
            QVERIFY_THROWS_EXCEPTION(ConversionError, TFormPrincipal::GetCOM_Number(name));
        else
            QCOMPARE(TFormPrincipal::GetCOM_Number(name), number);
    }

    void portMenu()
    {
        ArranquePrueba p;
        p.arranca();
        p.m_ctx.estado->setCaption_Parametros(QStringLiteral("Parameters"));
        p.principal().listCOMPorts({QStringLiteral("COM1"), QStringLiteral("COMX"), QStringLiteral("COM4")});
        const QList<QAction *> entradas = p.principal().Configuracin1()->actions();
        // The serial ports, "Network ports…" (no network port is kept yet), a separator, Parameters.
        QCOMPARE(entradas.size(), 5);
        QCOMPARE(entradas[0]->objectName(), QStringLiteral("miCOM1"));
        QCOMPARE(entradas[0]->text(), QStringLiteral("COM1"));
        QCOMPARE(entradas[0]->data().toInt(), 1);
        // The name without a number is not offered; numbering follows the entries shown.
        QCOMPARE(entradas[1]->objectName(), QStringLiteral("miCOM2"));
        QCOMPARE(entradas[1]->text(), QStringLiteral("COM4"));
        QCOMPARE(entradas[1]->data().toInt(), 4);
        QCOMPARE(entradas[2]->objectName(), QStringLiteral("miNetworkPorts"));
        QVERIFY(entradas[3]->isSeparator());
        QCOMPARE(entradas[4]->objectName(), QStringLiteral("Parametros1"));
        QCOMPARE(entradas[4]->text(), QStringLiteral("Parameters"));
        QCOMPARE(TFormPrincipal::imageIndex(entradas[4]), 26);
        QVERIFY(!p.hijo<QAction>(QStringLiteral("miCOM3")));

        p.principal().listCOMPorts({});
        QCOMPARE(p.principal().Configuracin1()->actions().size(), 3);
    }

    void choosingTheOpenPortReopensAndScansAgain()
    {
        ArranquePrueba p({3});
        p.escribeIni("[TZR]\nComPort=3\n");
        p.arranca();
        p.principal().conecta_APLICACION(true);
        p.accion(QStringLiteral("miCOM2"))->trigger();
        QCOMPARE(p.m_port.closeCount(), 1);
        QCOMPARE(p.m_port.openCount(), 2);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_PRESENCE), 64);
        QCOMPARE(p.nodos(), QStringList({"03"}));
        QCOMPARE(p.marcados(), QStringList({"COM3"}));
        QVERIFY(p.habilitado(QStringLiteral("Configuracin1")));
        QVERIFY(!p.m_ctx.progreso->isVisible());
        QCOMPARE(p.m_ctx.progreso->maximo(), 31);
        QCOMPARE(p.m_ctx.progreso->contador(), QStringLiteral("31/31"));
    }

    void choosingAnotherPortIsStored()
    {
        ArranquePrueba p;
        p.escribeIni("[TZR]\nComPort=3\n");
        p.arranca();
        p.principal().conecta_APLICACION(true);
        p.accion(QStringLiteral("miCOM3"))->trigger();
        QCOMPARE(p.marcados(), QStringList({"COM12"}));
        QCOMPARE(p.m_port.portName(), QStringLiteral("COM12"));
        QCOMPARE(p.m_ctx.configuracion->ComPort(), QStringLiteral("12"));
        QVERIFY(p.leeIni().contains(QStringLiteral("ComPort=12")));
    }

    void portThatDoesNotOpenIsLogged()
    {
        ArranquePrueba p({3});
        p.escribeIni("[TZR]\nComPort=3\n");
        p.arranca();
        p.principal().conecta_APLICACION(true);
        p.m_port.setOpenFailure(QStringLiteral("Device or resource busy"));
        QStringList mensaje;
        QTimer cierra;
        QObject::connect(&cierra, &QTimer::timeout, [&mensaje] {
            if (auto *box = qobject_cast<TF_ShowMessage *>(QApplication::activeModalWidget())) {
                mensaje = QStringList{box->linea1(), box->linea2()};
                box->B_OKClick();
            }
        });
        cierra.start(5);
        p.accion(QStringLiteral("miCOM1"))->trigger();
        // Never an empty board list alone: the system's reason is shown.
        QCOMPARE(mensaje, (QStringList{QStringLiteral("COM1 cannot be opened (Device or resource busy)."),
                                       QStringLiteral("Check the adapter and its cable, then choose the port again.")}));
        QCOMPARE(p.marcados(), QStringList());
        QCOMPARE(p.nodos(), QStringList());
        QVERIFY(!p.m_port.isOpen());
        QVERIFY(p.habilitado(QStringLiteral("Configuracin1")));
        QVERIFY(!p.m_ctx.progreso->isVisible());
        QVERIFY(p.m_ctx.debug->texto().endsWith(
            QStringLiteral("] TFormPrincipal.COMClick Error: Device or resource busy")));
        QCOMPARE(p.m_ctx.configuracion->ComPort(), QStringLiteral("1"));
    }

    void unwritableConfigurationAtStartIsShown()
    {
        ArranquePrueba p({1});
        QVERIFY(QDir(p.korvel()).removeRecursively());
        CierraMensajes mensajes;
        p.arranca();
        QCOMPARE(mensajes.m_textos, QStringList({QStringLiteral("Unable to write to %1").arg(p.ini())}));
        // The old port was closed and the new one never opened; the rest of the start still ran.
        QCOMPARE(p.m_port.openCount(), 0);
        QCOMPARE(p.marcados(), QStringList());
        QVERIFY(!p.habilitado(QStringLiteral("Configuracin1")));
        QVERIFY(!p.habilitado(QStringLiteral("B_Refresh")));
        QVERIFY(!p.m_ctx.progreso || !p.m_ctx.progreso->isVisible());
    }

    void scanErrorIsLogged()
    {
        ArranquePrueba p({3});
        p.escribeIni("[TZR]\nComPort=3\n");
        p.arranca();
        p.principal().conecta_APLICACION(true);
        p.m_port.failWritesAfter(0);
        p.hijo<QPushButton>(QStringLiteral("B_Refresh"))->click();
        QVERIFY(p.m_ctx.debug->texto().endsWith(
            QStringLiteral("] Test_INICIAL_PLACAS Error:Input/output error")));
        QCOMPARE(p.nodos(), QStringList());
        QVERIFY(p.habilitado(QStringLiteral("Configuracin1")));
        QVERIFY(p.habilitado(QStringLiteral("B_Refresh")));
        QVERIFY(!p.habilitado(QStringLiteral("ToolConectar")));
        QVERIFY(!p.habilitado(QStringLiteral("conectar")));
        QVERIFY(!p.m_ctx.progreso->isVisible());
    }

    void closingTheWindowStopsTheScan()
    {
        ArranquePrueba p({0, 31});
        p.escribeIni("[TZR]\nComPort=3\n");
        p.arranca();
        p.m_bus.clearLog();
        QSignalSpy cerrada(&p.principal(), &TFormPrincipal::cerrada);
        p.principal().show();
        // Delivered during the wait for board 0's reply.
        QTimer::singleShot(0, &p.principal(), &QWidget::close);
        p.accion(QStringLiteral("Refresh1"))->trigger();
        QCOMPARE(p.sondeadas(), QList<int>({0}));
        QCOMPARE(cerrada.count(), 1);
        QVERIFY(p.m_ctx.estado->detener_proceso());
    }

    void busyLinkRefusesANewExchange()
    {
        ArranquePrueba p({3});
        p.escribeIni("[TZR]\nComPort=3\n");
        p.arranca();
        p.principal().conecta_APLICACION(true);
        p.m_bus.clearLog();
        {
            const Comunicacion_TZR::Reserva reserva(p.m_link);
            p.principal().B_RefreshClick();
            p.principal().Refresh1Click();
            p.principal().TIEMPO_REINICIA_PLACATimer();
            p.accion(QStringLiteral("miCOM3"))->trigger();
        }
        QCOMPARE(p.m_bus.requests().size(), 0);
        QCOMPARE(p.marcados(), QStringList({"COM3"}));
        QCOMPARE(p.nodos(), QStringList({"03"}));
        QCOMPARE(p.m_port.openCount(), 1);
    }

    void restartTimerScansOnce()
    {
        ArranquePrueba p({17});
        p.escribeIni("[TZR]\nComPort=3\n");
        p.arranca();
        QTimer *timer = p.principal().TIEMPO_REINICIA_PLACA();
        QCOMPARE(timer->objectName(), QStringLiteral("TIEMPO_REINICIA_PLACA"));
        QCOMPARE(timer->interval(), 5000);
        QVERIFY(!timer->isActive());
        p.m_bus.clearLog();
        p.principal().Arbol()->clear();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        timer->start();
        p.principal().TIEMPO_REINICIA_PLACATimer();
        QVERIFY(!timer->isActive());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(p.m_bus.count(BoardBus::CMD_PRESENCE), 32);
        QCOMPARE(p.nodos(), QStringList({"17"}));
    }

    void refreshWhileLockedKeepsThePortMenuLocked()
    {
        ArranquePrueba p({3});
        p.escribeIni("[TZR]\nComPort=3\n");
        p.arranca();
        p.accion(QStringLiteral("Refresh1"))->trigger();
        QCOMPARE(p.nodos(), QStringList({"03"}));
        QVERIFY(!p.habilitado(QStringLiteral("Configuracin1")));
        QVERIFY(!p.habilitado(QStringLiteral("B_Refresh")));
        QVERIFY(p.habilitado(QStringLiteral("ToolConectar")));
        QVERIFY(p.habilitado(QStringLiteral("conectar")));
    }
};

QTEST_MAIN(tst_Principal)
#include "tst_principal.moc"
