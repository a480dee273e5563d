#include "ArranquePrueba.h"

#include "TF_Test.h"
#include "TfrmDebug.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>

using namespace std::chrono_literals;

namespace {

template <typename T = QWidget> T *hijo(QWidget *ventana, const char *nombre)
{
    return ventana->findChild<T *>(QString::fromLatin1(nombre));
}

QStringList lista(QWidget *test)
{
    QStringList r;
    const auto *l = hijo<QListWidget>(test, "ListBox1");
    for (int i = 0; i < l->count(); ++i)
        r << l->item(i)->text();
    return r;
}

QString numP(QWidget *test)
{
    return hijo<QLabel>(test, "Num_P")->text();
}

// The board test's lines of the debug log, without their time stamps and the reply marks after them.
QStringList lineasTest(const TfrmDebug &debug)
{
    static const QRegularExpression linea(
        QStringLiteral("TF_Test\\.IniciarClick: (Cambiamos TimerRecepcion\\.Interval a \\d+|NO Recibido "
                       "\\[\\d+\\]|Recibido OK \\[\\d+\\])"));
    QStringList r;
    for (auto it = linea.globalMatch(debug.texto()); it.hasNext();)
        r << it.next().captured(1);
    return r;
}

QList<int> sondeadas(const BoardBus &bus)
{
    QList<int> r;
    for (const BoardBus::Request &q : bus.requests(BoardBus::CMD_PRESENCE))
        r << q.board;
    return r;
}

void arrancaDesbloqueado(ArranquePrueba &p)
{
    p.arranca();
    p.principal().conecta_APLICACION(true);
    p.m_bus.clearLog();
}

} // namespace

class TestTF_Test : public QObject
{
    Q_OBJECT

private slots:
    void windowAsDesigned()
    {
        ArranquePrueba p;
        QVERIFY(QFile::copy(qEnvironmentVariable("TZR_SOURCE_DIR") + QStringLiteral("/data/TZR_LANG.ini"),
                            p.korvel() + QStringLiteral("/TZR_LANG.ini")));
        p.escribeIni("[TZR]\r\nIDIOMA=ENGLISH\r\n");
        arrancaDesbloqueado(p);
        TF_Test *t = p.m_ctx.test;
        QCOMPARE(t->windowTitle(), QStringLiteral("Panel Test"));
        QVERIFY(t->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(hijo<QLabel>(t, "Label1")->text(), QStringLiteral("General Panel Test"));
        QCOMPARE(hijo<QLabel>(t, "Label3")->text(), QStringLiteral("Panels found :"));
        QCOMPARE(hijo<QLabel>(t, "L_TITULO")->text(), QStringLiteral("TZR - User Management"));
        QCOMPARE(hijo<QPushButton>(t, "Iniciar")->text(), QStringLiteral("Start"));
        QCOMPARE(hijo<QPushButton>(t, "Detener")->text(), QStringLiteral("Stop"));
        QCOMPARE(hijo<QLabel>(t, "Label4")->text(), QStringLiteral("/31"));
        QCOMPARE(numP(t), QStringLiteral("0"));
        QCOMPARE(lista(t), QStringList());

        p.accion(QStringLiteral("ToolTest"))->trigger();
        QVERIFY(t->isVisible());
        QVERIFY(!t->isModal());
        QVERIFY(!QApplication::activeModalWidget());
        t->close();
        p.accion(QStringLiteral("TestdePlacas1"))->trigger();
        QVERIFY(t->isVisible());
        t->close();
    }

    // The one run over an empty bus: 32 reply times of 200 ms.
    void emptyBusListsNothing()
    {
        ArranquePrueba p;
        arrancaDesbloqueado(p);
        TF_Test *t = p.m_ctx.test;
        p.principal().TestdePlacas1Click();
        hijo<QPushButton>(t, "Iniciar")->click();

        QCOMPARE(lista(t), QStringList());
        QCOMPARE(numP(t), QStringLiteral("31"));
        QStringList esperadas{QStringLiteral("Cambiamos TimerRecepcion.Interval a 200")};
        for (int n = 0; n < 32; ++n)
            esperadas << QStringLiteral("NO Recibido [%1]").arg(n);
        esperadas << QStringLiteral("Cambiamos TimerRecepcion.Interval a 100");
        QCOMPARE(lineasTest(*p.m_ctx.debug), esperadas);
        QCOMPARE(p.m_link.intervalo(), TIEMPO_RESPUESTA);
        QVERIFY(t->isVisible());
        QVERIFY(!t->enCurso());
        t->close();
    }

    void listsTheBoardsAndLeavesTheStateAlone()
    {
        QList<int> todas;
        for (int n = 0; n < 32; ++n)
            todas << n;
        ArranquePrueba p(todas);
        p.m_bus.board(3)->setByte(Board::ADDR_KEYPAD_LENGTH, 5);
        p.m_bus.board(3)->setByte(Board::ADDR_READER, 1);
        p.m_bus.board(9)->setByte(Board::ADDR_READER, 7);
        arrancaDesbloqueado(p);
        TF_Test *t = p.m_ctx.test;
        const QStringList nodos = p.nodos();
        QCOMPARE(nodos.size(), 32);
        p.principal().num_placa()->setText(QStringLiteral("07"));
        p.m_link.setTipo_lector(2);
        p.m_ctx.estado->setPlaca_conectada(true);

        p.principal().TestdePlacas1Click();
        hijo<QPushButton>(t, "Iniciar")->click();

        const QStringList lineas = lista(t);
        QCOMPARE(lineas.size(), 32);
        QCOMPARE(lineas.at(0), QStringLiteral("Panel : 0    Length Code : 6 -- Card"));
        QCOMPARE(lineas.at(3), QStringLiteral("Panel : 3    Length Code : 5 -- Button"));
        QCOMPARE(lineas.at(9), QStringLiteral("Panel : 9    Length Code : 6 -- Keypad"));
        QCOMPARE(lineas.at(31), QStringLiteral("Panel : 31    Length Code : 6 -- Card"));
        QCOMPARE(numP(t), QStringLiteral("31"));

        QCOMPARE(p.m_link.tipo_lector(), 2);
        QCOMPARE(p.principal().num_placa()->text(), QStringLiteral("07"));
        QCOMPARE(p.nodos(), nodos);
        QVERIFY(p.m_ctx.estado->placa_conectada());
        QVERIFY(p.m_port.isOpen());
        QCOMPARE(p.m_port.openCount(), 1);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 0);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_RESTART), 0);

        // Closing an idle window clears it and leaves the stop request alone.
        p.m_ctx.estado->setDetener_proceso(false);
        t->close();
        QCOMPARE(lista(t), QStringList());
        QCOMPARE(numP(t), QStringLiteral("0"));
        QVERIFY(!p.m_ctx.estado->detener_proceso());
    }

    void stopMidRun()
    {
        ArranquePrueba p;
        arrancaDesbloqueado(p);
        TF_Test *t = p.m_ctx.test;
        p.principal().TestdePlacas1Click();
        QString alDetener;
        bool cerradaAlDetener = false;
        QTimer vigia;
        bool segundaPedida = false;
        connect(&vigia, &QTimer::timeout, t, [&] {
            if (numP(t) == QLatin1String("1") && !segundaPedida) {
                // A second start while a run is active is refused.
                segundaPedida = true;
                hijo<QPushButton>(t, "Iniciar")->click();
            } else if (numP(t) == QLatin1String("2")) {
                vigia.stop();
                alDetener = numP(t);
                hijo<QPushButton>(t, "Detener")->click();
                cerradaAlDetener = !t->isVisible();
            }
        });
        vigia.start(5);
        hijo<QPushButton>(t, "Iniciar")->click();

        QVERIFY(segundaPedida);
        QCOMPARE(alDetener, QStringLiteral("2"));
        QVERIFY(cerradaAlDetener);
        QCOMPARE(sondeadas(p.m_bus), QList<int>({0, 1, 2}));
        QVERIFY(!t->enCurso());
        QCOMPARE(numP(t), QStringLiteral("0"));
        QCOMPARE(lista(t), QStringList());
        QVERIFY(p.m_ctx.estado->detener_proceso());
        QCOMPARE(p.m_link.intervalo(), TIEMPO_RESPUESTA);
        QCOMPARE(lineasTest(*p.m_ctx.debug).last(),
                 QStringLiteral("Cambiamos TimerRecepcion.Interval a 100"));
    }

    void idleWindowLeavesAScanAlone_data()
    {
        QTest::addColumn<bool>("porDetener");
        QTest::newRow("Detener") << true;
        QTest::newRow("close box") << false;
    }

    // The stop request is shared with the bus scan: closing a test window that runs nothing
    // while a scan is going on must not cut the scan short.
    void idleWindowLeavesAScanAlone()
    {
        QFETCH(bool, porDetener);
        ArranquePrueba p({17});
        arrancaDesbloqueado(p);
        TF_Test *t = p.m_ctx.test;
        t->show();
        QTimer::singleShot(0, t, [&] {
            if (porDetener)
                hijo<QPushButton>(t, "Detener")->click();
            else
                t->close();
        });
        p.principal().B_RefreshClick();
        QVERIFY(!t->isVisible());
        QCOMPARE(sondeadas(p.m_bus).size(), 32);
        QCOMPARE(p.nodos(), QStringList({"17"}));
        QVERIFY(!p.m_ctx.estado->detener_proceso());
    }

    void refusedWhileTheLinkIsBusy()
    {
        ArranquePrueba p;
        arrancaDesbloqueado(p);
        TF_Test *t = p.m_ctx.test;
        t->show();
        hijo<QListWidget>(t, "ListBox1")->addItem(QStringLiteral("kept"));
        p.m_ctx.estado->setDetener_proceso(true);
        {
            const Comunicacion_TZR::Reserva reserva(p.m_link);
            t->IniciarClick();
        }
        QCOMPARE(lista(t), QStringList({"kept"}));
        QCOMPARE(p.m_bus.requests().size(), 0);
        QVERIFY(p.m_ctx.estado->detener_proceso());
        QCOMPARE(lineasTest(*p.m_ctx.debug), QStringList());
        t->close();
    }

    void closedPortIsReported()
    {
        ArranquePrueba p({1});
        arrancaDesbloqueado(p);
        p.m_port.close();
        TF_Test *t = p.m_ctx.test;
        t->show();
        CierraMensajes mensajes;
        hijo<QPushButton>(t, "Iniciar")->click();
        QCOMPARE(mensajes.m_textos.size(), 1);
        QVERIFY(!t->enCurso());
        QCOMPARE(p.m_link.intervalo(), TIEMPO_RESPUESTA);
        t->close();
    }
};

QTEST_MAIN(TestTF_Test)
#include "tst_TF_Test.moc"
