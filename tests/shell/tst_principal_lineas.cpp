#include "ConexionPrueba.h"
#include "Comunicacion_TZR.h"
#include "LineSettings.h"
#include "SilenceWatch.h"
#include "TFProgreso.h"
#include "TfrmDebug.h"
#include "UserRecord.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QtTest>

namespace {

void aceptaAdvertencia()
{
    onNextModal([](QWidget *w) {
        QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("Aceptar")), Qt::LeftButton);
    });
}

QStringList nombres(Table &t)
{
    QStringList r;
    for (int i = 0; i < t.recordCount(); ++i)
        r << t.value(i, QStringLiteral("NOMBRE"));
    return r;
}

enum class Transferencia
{
    Recibir,
    Enviar,
    Comparar
};

} // namespace

// The main window on real lines: a two-wire line that echoes, ports that will not open, an
// adapter unplugged and a board that falls silent in the middle of a transfer.
class TestPrincipalLineas : public QObject
{
    Q_OBJECT

private:
    // Unlocked, a data file with three users, connected to board 1 that holds two others.
    void prepara(ConexionPrueba &p)
    {
        p.arrancaDesbloqueado();
        p.abreFichero();
        Table &t = p.m_ctx.usuarios->Table1();
        for (const char *n : {"ANA", "BEA", "CAROL"}) {
            QVERIFY(t.append());
            t.setValue(QStringLiteral("NOMBRE"), QString::fromLatin1(n));
            t.setValue(QStringLiteral("CALL"), QStringLiteral("0001"));
            t.setValue(QStringLiteral("TZR"), QStringLiteral("001"));
            t.setValue(QStringLiteral("CODIGO"), QStringLiteral("123456"));
            QVERIFY(t.post());
        }
        p.placa().setRecord(0, UserRecord::keypad("OLD1", "0001", "001", "123456"));
        p.placa().setRecord(7, UserRecord::keypad("OLD2", "0002", "002", "654321"));
        QVERIFY(p.conecta(QStringLiteral("73518")));
        p.olvidaTrafico();
    }

private slots:
    // With the setting on, an echoing line gives what a clean line gives: boards found, users
    // received and the same bytes written on the board.
    void echoSettingGivesTheCleanLineResults_data()
    {
        QTest::addColumn<bool>("eco");
        QTest::newRow("clean line") << false;
        QTest::newRow("echoing line, setting on") << true;
    }
    void echoSettingGivesTheCleanLineResults()
    {
        QFETCH(bool, eco);
        ConexionPrueba p({1, 4});
        p.m_port.setEchoWrites(eco);
        p.escribeIni(eco ? "[TZR]\r\nComPort=1\r\n[LineEcho]\r\nCOM1=1\r\n" : "[TZR]\r\nComPort=1\r\n");
        CierraShowMessage mensajes;
        prepara(p);
        QCOMPARE(p.nodos(), QStringList({"01", "04"}));
        QVERIFY(p.m_port.lineEchoes() == eco);

        aceptaAdvertencia();
        p.principal().Recibir_ANTClick();
        QCOMPARE(nombres(p.m_ctx.usuarios->Table1()), QStringList({"OLD1", "OLD2"}));

        QVERIFY(p.m_ctx.usuarios->Table1().append());
        p.m_ctx.usuarios->Table1().setValue(QStringLiteral("NOMBRE"), QStringLiteral("NEW"));
        p.m_ctx.usuarios->Table1().setValue(QStringLiteral("CALL"), QStringLiteral("0009"));
        p.m_ctx.usuarios->Table1().setValue(QStringLiteral("TZR"), QStringLiteral("009"));
        p.m_ctx.usuarios->Table1().setValue(QStringLiteral("CODIGO"), QStringLiteral("999999"));
        QVERIFY(p.m_ctx.usuarios->Table1().post());
        p.olvidaTrafico();
        aceptaAdvertencia();
        p.principal().Enviar_ATNClick();
        QCOMPARE(p.placa().usersStored(), 3);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 350 + 3 * 45);
        QCOMPARE(p.m_bus.rejectedFrames(), 0);
        QVERIFY(mensajes.m_lineas.isEmpty());
        QCOMPARE(p.m_bus.board(4)->usersStored(), 0);
    }

    // Without the setting, every board number looks present until the first read is answered
    // with itself: the setting is turned on and stored, the user told once, the bus scanned again.
    void firstConnectionDetectsTheEcho()
    {
        ConexionPrueba p({1});
        p.m_port.setEchoWrites(true);
        p.escribeIni("[TZR]\r\nComPort=1\r\n");
        CierraShowMessage mensajes;
        p.arrancaDesbloqueado();
        QVERIFY(p.nodos().size() > 1);
        p.abreFichero();
        QVERIFY(p.conecta(QStringLiteral("73518")));
        QTRY_COMPARE(mensajes.m_lineas.size(), 1);
        QCOMPARE(mensajes.m_lineas.first().at(0), QStringLiteral("The line on COM1 echoes what is sent."));
        QTRY_COMPARE(p.nodos(), QStringList({"01"}));
        QVERIFY(p.m_port.lineEchoes());
        QVERIFY(LineSettings(p.ini()).echoes(QStringLiteral("COM1")));
        QVERIFY(p.leeIni().contains(QStringLiteral("[TZR]")));

        // Reads now give the board's values: a receive finds its user.
        p.placa().setRecord(3, UserRecord::keypad("ZOE", "0003", "003", "123456"));
        aceptaAdvertencia();
        p.principal().Recibir_ANTClick();
        QCOMPARE(nombres(p.m_ctx.usuarios->Table1()), QStringList({"ZOE"}));
        QCOMPARE(mensajes.m_lineas.size(), 1);
    }

    void echoSettingFollowsThePort()
    {
        ConexionPrueba p({1});
        p.escribeIni("[TZR]\r\nComPort=1\r\n[LineEcho]\r\nCOM3=1\r\n");
        p.arrancaDesbloqueado();
        QVERIFY(!p.m_port.lineEchoes());
        p.accion(QStringLiteral("miCOM2"))->trigger();
        QCOMPARE(p.marcados(), QStringList({"COM3"}));
        QVERIFY(p.m_port.lineEchoes());
        emit p.hijo<QMenu>(QStringLiteral("miComunication"))->aboutToShow();
        QVERIFY(p.principal().miEcoLinea()->isChecked());
        p.principal().miEcoLinea()->trigger();
        QVERIFY(!p.m_port.lineEchoes());
        QVERIFY(!LineSettings(p.ini()).echoes(QStringLiteral("COM3")));
    }

    // A driver remark (low latency refused) reaches the debug log once, however often the port
    // reopens.
    void lineNoticeIsLoggedOnce()
    {
        ConexionPrueba p({1});
        p.arrancaDesbloqueado();
        const QString aviso = QStringLiteral("/dev/ttyS0: low-latency mode not available (x)");
        emit p.m_port.notice(aviso);
        emit p.m_port.notice(aviso);
        QCOMPARE(p.m_ctx.debug->texto().count(aviso), 1);
    }

    void portThatDoesNotOpenSaysWhy_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("linea1");
        QTest::addColumn<QString>("linea2");
        QTest::newRow("permission")
            << int(PortOpenFailure::Kind::Permission) << "No permission to open /dev/ttyS2."
            << "It belongs to the group dialout: add your user to it (sudo usermod -aG "
               "dialout tester), then log out and log in again.";
        QTest::newRow("busy") << int(PortOpenFailure::Kind::Busy)
                              << "/dev/ttyS2 is in use by another program."
                              << "Close minicom and choose the port again.";
        QTest::newRow("gone") << int(PortOpenFailure::Kind::Gone) << "/dev/ttyS2 is no longer present."
                              << "Plug the adapter in again, then choose its port in the port menu.";
    }
    void portThatDoesNotOpenSaysWhy()
    {
        QFETCH(int, kind);
        QFETCH(QString, linea1);
        QFETCH(QString, linea2);
        qputenv("USER", "tester");
        ConexionPrueba p({1});
        p.arrancaDesbloqueado();
        PortOpenFailure fallo;
        fallo.kind = static_cast<PortOpenFailure::Kind>(kind);
        fallo.device = QStringLiteral("/dev/ttyS2");
        fallo.group = QStringLiteral("dialout");
        fallo.program = QStringLiteral("minicom");
        p.m_port.setOpenFailure(QStringLiteral("Permission denied"));
        p.m_port.setOpenFailureKind(fallo);
        CierraShowMessage mensajes;
        p.accion(QStringLiteral("miCOM2"))->trigger();
        QCOMPARE(mensajes.m_lineas, QList<QStringList>({{linea1, linea2}}));
        QVERIFY(p.marcados().isEmpty());
        QVERIFY(p.m_ctx.debug->texto().contains(
            QStringLiteral("TFormPrincipal.COMClick Error: Permission denied")));
    }

    // The adapter goes away part-way: the operation ends at the next exchange, the file keeps its
    // rows (receive) or the report says how far the send got, and the port is unchecked.
    void unpluggedAdapterEndsTheTransfer_data()
    {
        QTest::addColumn<Transferencia>("transferencia");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QList<QStringList>>("lineas");
        QTest::newRow("receive") << Transferencia::Recibir << 5 + 7 * 100
                                 << QList<QStringList>{{"Receive incomplete: the file was not changed.",
                                                        "COM1 is no longer present."}};
        // CMD_INICIO, the erase, the first user and part of the second.
        QTest::newRow("send") << Transferencia::Enviar << 5 + 8 * 350 + 8 * 45 + 8 * 10
                              << QList<QStringList>{
                                     {"Send incomplete.", "COM1 is no longer present."},
                                     {"Send incomplete.", "Users written: 1 of 3; the rest were not sent."}};
        // Every job, not only the full transfers: a compare ends the same way.
        QTest::newRow("compare") << Transferencia::Comparar << 5 + 7 * 100
                                 << QList<QStringList>{{"Compare incomplete.", "COM1 is no longer present."}};
    }
    void unpluggedAdapterEndsTheTransfer()
    {
        QFETCH(Transferencia, transferencia);
        QFETCH(int, bytes);
        QFETCH(QList<QStringList>, lineas);
        ConexionPrueba p({1});
        prepara(p);
        CierraShowMessage mensajes;
        p.m_port.unplugAfterWrites(bytes);
        const int escrituras = p.m_port.bytesWritten();
        if (transferencia == Transferencia::Comparar) {
            p.principal().CompararSistemaClick();
        } else {
            aceptaAdvertencia();
            if (transferencia == Transferencia::Recibir)
                p.principal().Recibir_ANTClick();
            else
                p.principal().Enviar_ATNClick();
        }
        QCOMPARE(mensajes.m_lineas, lineas);
        // Nothing was tried after the first failed write.
        QCOMPARE(p.m_port.bytesWritten() - escrituras, bytes);
        QCOMPARE(nombres(p.m_ctx.usuarios->Table1()), QStringList({"ANA", "BEA", "CAROL"}));
        QVERIFY(p.marcados().isEmpty());
        QVERIFY(!p.m_port.isOpen());
        QVERIFY(!p.m_ctx.estado->placa_conectada());
        QVERIFY(!p.m_ctx.progreso->isVisible());
    }

    // A board that stops answering: after a while the progress window says so and offers Stop,
    // which ends the transfer at the next exchange.
    void silentBoardCanBeStopped_data()
    {
        QTest::addColumn<Transferencia>("transferencia");
        QTest::addColumn<int>("tramas");
        QTest::addColumn<QStringList>("lineas");
        QTest::newRow("receive") << Transferencia::Recibir << 1 + 100
                                 << QStringList{"Receive incomplete: the file was not changed.",
                                                "Stopped while the board was not answering."};
        QTest::newRow("send") << Transferencia::Enviar << 1 + 350 + 45 + 3
                              << QStringList{"Send incomplete.",
                                             "Users written: 1 of 3; the rest were not sent."};
    }
    void silentBoardCanBeStopped()
    {
        QFETCH(Transferencia, transferencia);
        QFETCH(int, tramas);
        QFETCH(QStringList, lineas);
        ConexionPrueba p({1});
        prepara(p);
        p.m_bus.setSilentAfter(1, p.placa().exchanges() + tramas);
        CierraShowMessage mensajes;
        TFProgreso *progreso = p.m_ctx.progreso;
        bool avisado = false;
        // From the last answered exchange to the notice: the notice waits out the silence limit.
        QElapsedTimer desdeRespuesta;
        qint64 espera = -1;
        connect(p.m_ctx.link, &Comunicacion_TZR::intercambioTerminado, &mensajes, [&](bool valida) {
            if (valida && espera < 0)
                desdeRespuesta.start();
        });
        QTimer vigia;
        connect(&vigia, &QTimer::timeout, &vigia, [&] {
            if (progreso->sinRespuesta() && espera < 0)
                espera = desdeRespuesta.elapsed();
            if (progreso->sinRespuesta() && progreso->btnDetener()->isEnabled()) {
                avisado = true;
                progreso->btnDetener()->click();
            }
        });
        vigia.start(10);
        aceptaAdvertencia();
        if (transferencia == Transferencia::Recibir)
            p.principal().Recibir_ANTClick();
        else
            p.principal().Enviar_ATNClick();
        vigia.stop();
        QVERIFY(avisado);
        // A coarse timer may fire up to 5 % early.
        QVERIFY2(espera >= SilenceWatch::SilenceLimit.count() * 95 / 100, qPrintable(QString::number(espera)));
        QCOMPARE(mensajes.m_lineas, QList<QStringList>({lineas}));
        QVERIFY(!progreso->sinRespuesta());
        QVERIFY(!p.m_ctx.link->parada());
        QCOMPARE(nombres(p.m_ctx.usuarios->Table1()), QStringList({"ANA", "BEA", "CAROL"}));
        QVERIFY(p.hijo<QPushButton>(QStringLiteral("Recibir"))->isEnabled());
    }

    void silenceNoticeGoesWhenRepliesResume()
    {
        ConexionPrueba p({1});
        prepara(p);
        TFProgreso *progreso = p.m_ctx.progreso;
        // Silent from the 20th occupancy read until the notice is up, then answering again.
        bool visto = false;
        QTimer vigia;
        connect(&vigia, &QTimer::timeout, &vigia, [&] {
            if (!visto && progreso->sinRespuesta()) {
                visto = true;
                p.m_bus.setSilentAfter(1, -1);
            }
        });
        vigia.start(10);
        p.m_bus.setSilentAfter(1, p.placa().exchanges() + 20);
        CierraShowMessage mensajes;
        aceptaAdvertencia();
        p.principal().Recibir_ANTClick();
        QVERIFY(visto);
        QVERIFY(!progreso->sinRespuesta());
        // The silent slots made the receive incomplete, nothing else.
        QCOMPARE(mensajes.m_lineas.size(), 1);
        QCOMPARE(mensajes.m_lineas.first().at(0),
                 QStringLiteral("Receive incomplete: the file was not changed."));
    }

    void portMenuFollowsTheAdapters()
    {
        ConexionPrueba p({1});
        const QString enlaces = p.m_dir.filePath(QStringLiteral("ports"));
        QDir().mkpath(enlaces);
        p.m_puertos = PortList(enlaces, {QStringLiteral("/dev/ttyS0")});
        p.escribeIni("[TZR]\r\nComPort=1\r\n");
        p.arrancaDesbloqueado();
        QCOMPARE(p.marcados(), QStringList({"COM1"}));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), enlaces + QStringLiteral("/COM7")));
        emit p.principal().Configuracin1()->aboutToShow();
        QStringList entradas;
        for (QAction *a : p.principal().entradasPuerto())
            entradas << a->text();
        QCOMPARE(entradas, QStringList({"COM1", "COM7"}));
        QCOMPARE(p.marcados(), QStringList({"COM1"}));
        const QList<QAction *> menu = p.principal().Configuracin1()->actions();
        QCOMPARE(menu.last()->objectName(), QStringLiteral("Parametros1"));
        QVERIFY(menu.at(menu.size() - 2)->isSeparator());
    }
};

QTEST_MAIN(TestPrincipalLineas)
#include "tst_principal_lineas.moc"
