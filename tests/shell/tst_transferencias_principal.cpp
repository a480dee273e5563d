#include "ConexionPrueba.h"
#include "DataFileCopy.h"
#include "TablaCursor.h"
#include "TfrmDebug.h"
#include "UserRecord.h"

#include <QDirIterator>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

namespace {

// Accepts the next warning dialog (receive or send) by its Aceptar button.
void aceptaAdvertencia()
{
    onNextModal([](QWidget *w) {
        QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("Aceptar")), Qt::LeftButton);
    });
}

void cierraAdvertencia()
{
    onNextModal([](QWidget *w) { w->close(); });
}

} // namespace

class TestTransferenciasPrincipal : public QObject
{
    Q_OBJECT

private:
    // A run unlocked, connected to board 1, with a data file holding the given users.
    void prepara(ConexionPrueba &p, const QList<QStringList> &usuarios)
    {
        p.arrancaDesbloqueado();
        p.m_ctx.debug->setCarpetaLog(p.m_dir.filePath(QStringLiteral("logs")));
        QDir().mkpath(p.m_dir.filePath(QStringLiteral("logs")));
        p.abreFichero();
        Table &t = p.m_ctx.usuarios->Table1();
        for (const QStringList &u : usuarios) {
            QVERIFY(t.append());
            t.setValue(QStringLiteral("NOMBRE"), u[0]);
            t.setValue(QStringLiteral("CALL"), u[1]);
            t.setValue(QStringLiteral("TZR"), u[2]);
            t.setValue(QStringLiteral("CODIGO"), u[3]);
            QVERIFY(t.post());
        }
        QVERIFY(p.conecta(QStringLiteral("73518")));
        p.olvidaTrafico();
    }

    static QList<QStringList> filas(Table &t)
    {
        QList<QStringList> r;
        for (int i = 0; i < t.recordCount(); ++i) {
            QStringList row;
            for (const char *f : {"NOMBRE", "CALL", "TZR", "CODIGO", "LINEA2", "LINEA2_ON"})
                row << t.value(i, QString::fromLatin1(f));
            r << row;
        }
        return r;
    }

private slots:
    void sendThenReceiveIntoAnotherFile()
    {
        ConexionPrueba p;
        prepara(p, {{"ZOE", "0002", "002", "123456"}, {"ADA", "0001", "001", "0123456789"}});
        const QList<QStringList> enviadas = filas(p.m_ctx.usuarios->Table1());
        aceptaAdvertencia();
        p.principal().Enviar_ATNClick();
        QCOMPARE(p.placa().usersStored(), 2);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_OPEN), 1);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_CLOSE), 1);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_RESTART), 1);
        QVERIFY(p.m_ctx.usuarios->Table1().isOpen());
        QVERIFY(p.hijo<QPushButton>(QStringLiteral("Recibir"))->isEnabled());

        // A second data file, then the board's users into it.
        const QString otro = p.m_dir.filePath(QStringLiteral("datos/otro.db"));
        Copia_Patron(otro, qEnvironmentVariable("TZR_BUILD_DIR") + QStringLiteral("/data"));
        p.m_ctx.fichero->setNombre_Tabla(QStringLiteral("otro.db"));
        p.m_ctx.usuarios->Activa_Tabla(true);
        QCOMPARE(p.m_ctx.usuarios->Table1().recordCount(), 0);
        aceptaAdvertencia();
        p.principal().Recibir_ANTClick();
        QCOMPARE(filas(p.m_ctx.usuarios->Table1()), enviadas);
        QCOMPARE(p.m_ctx.usuarios->Table1().value(0, QStringLiteral("TIPO_CODE")), QStringLiteral("Keypad"));
        QVERIFY(p.hijo<QPushButton>(QStringLiteral("Enviar"))->isEnabled());

        // Each transfer left one log file with its own lines.
        QStringList logs;
        for (QDirIterator it(p.m_dir.filePath(QStringLiteral("logs")), {QStringLiteral("Debug*.log")});
             it.hasNext();)
            logs << it.next();
        QVERIFY(!logs.isEmpty());
        QVERIFY(p.m_ctx.debug->texto().contains(QStringLiteral("Conexion_General: Inicio")));
        QVERIFY(!p.m_ctx.debug->texto().contains(QStringLiteral("Envio_General")));
    }

    void cancelledWarningTouchesNothing()
    {
        ConexionPrueba p;
        prepara(p, {{"ANA", "0001", "001", "123456"}});
        p.placa().seedUsers(3);
        cierraAdvertencia();
        p.principal().Recibir_ANTClick();
        cierraAdvertencia();
        p.principal().Enviar_ATNClick();
        QVERIFY(p.m_bus.requests().isEmpty());
        QCOMPARE(p.m_ctx.usuarios->Table1().recordCount(), 1);
        QCOMPARE(p.placa().usersStored(), 3);
    }

    void boardThatDoesNotOpenASend()
    {
        ConexionPrueba p;
        prepara(p, {{"ANA", "0001", "001", "123456"}});
        p.placa().seedUsers(3);
        p.m_bus.setSilentAfter(1, 0);
        CierraShowMessage mensajes;
        aceptaAdvertencia();
        p.principal().Enviar_ATNClick();
        QCOMPARE(mensajes.m_lineas.size(), 1);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_OPEN), 3);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 0);
        QCOMPARE(p.placa().usersStored(), 3);
    }

    void nonDigitRowRefusesTheSendBeforeTheBoard()
    {
        ConexionPrueba p;
        prepara(p, {{"ANA", "0001", "001", "123456"}});
        // A row the grid's rules would not let through, as an older file may hold.
        Table &t = p.m_ctx.usuarios->Table1();
        t.setBeforePost(nullptr);
        QVERIFY(t.append());
        t.setValue(QStringLiteral("NOMBRE"), QStringLiteral("BAD"));
        t.setValue(QStringLiteral("CALL"), QStringLiteral("12X4"));
        t.setValue(QStringLiteral("TZR"), QStringLiteral("001"));
        QVERIFY(t.post());
        p.placa().seedUsers(3);
        CierraShowMessage mensajes;
        aceptaAdvertencia();
        p.principal().Enviar_ATNClick();
        QCOMPARE(mensajes.m_lineas.size(), 1);
        QVERIFY(mensajes.m_lineas.first().join(QLatin1Char(' ')).contains(QStringLiteral("BAD")));
        QVERIFY(p.m_bus.requests().isEmpty());
        QCOMPARE(p.placa().usersStored(), 3);
        QVERIFY(p.m_ctx.usuarios->Table1().isOpen());
    }

    void rowsPastTheBoardsSizeAreAnnounced_data()
    {
        QTest::addColumn<bool>("acepta");
        QTest::newRow("accepted") << true;
        QTest::newRow("cancelled") << false;
    }

    // A file from elsewhere with 352 rows: before the board is touched the user learns that two
    // rows stay behind, and may stop; a send goes on with the first 350 and counts those.
    void rowsPastTheBoardsSizeAreAnnounced()
    {
        QFETCH(bool, acepta);
        ConexionPrueba p;
        prepara(p, {});
        p.m_ctx.usuarios->Activa_Tabla(false);
        {
            TablaCursor tabla(p.m_ctx.fichero->Directorio_Trabajo(), p.m_ctx.fichero->Nombre_Tabla());
            tabla.comenzar();
            for (int i = 0; i < 352; ++i)
                tabla.inserta({QStringLiteral("U%1").arg(i),
                               QStringLiteral("0001"),
                               QStringLiteral("001"),
                               QStringLiteral("1234"),
                               {},
                               {},
                               {}});
            tabla.confirmar();
        }
        p.m_ctx.usuarios->Activa_Tabla(true);
        QStringList aviso;
        onNextModal([&](QWidget *advertencia) {
            onNextModal(
                [&](QWidget *w) {
                    auto *caja = qobject_cast<QMessageBox *>(w);
                    QVERIFY(caja);
                    aviso << caja->text() << caja->informativeText();
                    QTest::mouseClick(w->findChild<QPushButton *>(acepta ? "Aceptar" : "Cancelar"),
                                      Qt::LeftButton);
                },
                advertencia);
            QTest::mouseClick(advertencia->findChild<QPushButton *>(QStringLiteral("Aceptar")),
                              Qt::LeftButton);
        });
        p.principal().Enviar_ATNClick();
        QCOMPARE(aviso,
                 QStringList({"The board holds 350 users.", "The 2 rows after row 350 will not be sent."}));
        if (!acepta) {
            QCOMPARE(p.m_bus.requests().size(), 0);
            return;
        }
        QCOMPARE(p.placa().usersStored(), 350);
        QVERIFY(p.m_ctx.debug->texto().contains(QStringLiteral("Usuarios: 350 ")));
        QVERIFY(!p.m_ctx.debug->texto().contains(QStringLiteral("Enviamos usuario 351")));
    }

    void incompleteReceiveKeepsTheFileAndSaysSo()
    {
        ConexionPrueba p;
        prepara(p, {{"ANA", "0001", "001", "123456"}});
        p.placa().setRecord(349, UserRecord::keypad("LAST", "0349", "349", "123456"));
        // CMD_INICIO, every occupancy read and ten bytes of the last slot, then silence.
        p.m_bus.setSilentAfter(1, p.placa().exchanges() + 1 + 350 + 10);
        CierraShowMessage mensajes;
        aceptaAdvertencia();
        p.principal().Recibir_ANTClick();
        QCOMPARE(mensajes.m_lineas.size(), 1);
        QVERIFY(mensajes.m_lineas.first().at(1).contains(QLatin1Char('1')));
        QCOMPARE(filas(p.m_ctx.usuarios->Table1()).size(), 1);
        QCOMPARE(p.m_ctx.usuarios->Table1().value(0, QStringLiteral("NOMBRE")), QStringLiteral("ANA"));
        QVERIFY(p.hijo<QPushButton>(QStringLiteral("Recibir"))->isEnabled());
    }
};

QTEST_MAIN(TestTransferenciasPrincipal)
#include "tst_transferencias_principal.moc"
