#include "ArranquePrueba.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QToolBar>

using namespace std::chrono_literals;

namespace {
const QStringList SIEMPRE_DESHABILITADOS_SIN_PLACA{
    "Recibir", "Enviar", "ToolRecibir", "ToolEnviar", "RecibirdelSistema2", "EnviaralSistema1"};
const QStringList DEL_DESBLOQUEO{"ToolFicheros",   "ToolNuevo",     "ToolSalvar",    "ToolOrden",
                                 "ToolExcel",      "ToolTest",      "ToolSistema",   "Archivo1",
                                 "miComunication", "Herraminetas1", "Configuracin1", "B_Refresh"};
} // namespace

class tst_PrincipalEstado : public QObject
{
    Q_OBJECT

private slots:
    void toolBar()
    {
        ArranquePrueba p;
        p.arranca();
        QStringList orden;
        QList<int> imagenes;
        for (QAction *a : p.hijo<QToolBar>(QStringLiteral("ToolBar1"))->actions()) {
            orden << a->objectName();
            if (!a->isSeparator())
                imagenes << TFormPrincipal::imageIndex(a);
        }
        QCOMPARE(orden, QStringList({"ToolPWD_APP", "ToolButton3", "ToolFicheros", "ToolNuevo", "ToolSalvar",
                                     "ToolButton1", "ToolConectar", "ToolButton5", "ToolRecibir",
                                     "ToolEnviar", "ToolButton11", "ToolOrden", "ToolExcel", "ToolButton9",
                                     "ToolTest", "ToolButton12", "ToolSistema"}));
        QCOMPARE(imagenes, QList<int>({28, 1, 0, 2, 31, 24, 23, 27, 30, 25, 26}));
        QVERIFY(p.accion(QStringLiteral("ToolOrden"))->isCheckable());
        for (int i : imagenes)
            QVERIFY(!TFormPrincipal::ImageList2(i).isNull());
        // Hints fall back to their English texts without a language file.
        QCOMPARE(p.accion(QStringLiteral("ToolConectar"))->toolTip(), QStringLiteral("Connect/Disconnect"));
        QCOMPARE(p.hijo<QWidget>(QStringLiteral("miDebugWindow")), nullptr);
        QVERIFY(!p.accion(QStringLiteral("miDebugWindow"))->isVisible());
    }

    void lockedAfterStart_data()
    {
        QTest::addColumn<bool>("portOpens");
        QTest::newRow("port open") << true;
        QTest::newRow("no port") << false;
    }

    void lockedAfterStart()
    {
        QFETCH(bool, portOpens);
        ArranquePrueba p({1});
        if (!portOpens)
            p.escribeIni("[TZR]\nComPort=9\n");
        p.arranca();
        QVERIFY(p.habilitado(QStringLiteral("ToolPWD_APP")));
        QCOMPARE(TFormPrincipal::imageIndex(p.accion(QStringLiteral("ToolPWD_APP"))), 28);
        for (const QString &n : DEL_DESBLOQUEO + SIEMPRE_DESHABILITADOS_SIN_PLACA)
            QVERIFY2(!p.habilitado(n), qPrintable(n));
        // A scan at start leaves the connect buttons enabled; connecting is refused without a file.
        QCOMPARE(p.habilitado(QStringLiteral("ToolConectar")), portOpens);
        QCOMPARE(p.habilitado(QStringLiteral("conectar")), portOpens);
        QVERIFY(p.principal().DBGrid1()->isHidden());
        QCOMPARE(p.hijo<QLabel>(QStringLiteral("I_LED"))->property("PictureFrom").toString(),
                 QStringLiteral("I_NO"));
        QCOMPARE(p.hijo<QPushButton>(QStringLiteral("conectar"))->property("PictureFrom").toString(),
                 QStringLiteral("LED_OFF"));
    }

    void unlockAndLock()
    {
        ArranquePrueba p({1});
        p.arranca();
        p.principal().L_Fichero()->setText(QStringLiteral("users.db"));
        p.principal().conecta_APLICACION(true);
        QVERIFY(p.m_ctx.estado->aplicacion_conectada());
        QCOMPARE(TFormPrincipal::imageIndex(p.accion(QStringLiteral("ToolPWD_APP"))), 21);
        for (const QString &n : DEL_DESBLOQUEO + QStringList{"ToolConectar", "conectar", "ToolPWD_APP"})
            QVERIFY2(p.habilitado(n), qPrintable(n));
        for (const QString &n : SIEMPRE_DESHABILITADOS_SIN_PLACA)
            QVERIFY2(!p.habilitado(n), qPrintable(n));
        QCOMPARE(TFormPrincipal::imageIndex(p.accion(QStringLiteral("ToolConectar"))), 31);
        QCOMPARE(p.hijo<QPushButton>(QStringLiteral("conectar"))->text(), QStringLiteral("Connect"));
        QCOMPARE(p.principal().L_Fichero()->text(), QStringLiteral("users.db"));

        p.principal().DBGrid1()->show();
        p.principal().conecta_APLICACION(false);
        QVERIFY(!p.m_ctx.estado->aplicacion_conectada());
        QCOMPARE(TFormPrincipal::imageIndex(p.accion(QStringLiteral("ToolPWD_APP"))), 28);
        QVERIFY(p.habilitado(QStringLiteral("ToolPWD_APP")));
        for (const QString &n :
             DEL_DESBLOQUEO + SIEMPRE_DESHABILITADOS_SIN_PLACA + QStringList{"ToolConectar", "conectar"})
            QVERIFY2(!p.habilitado(n), qPrintable(n));
        QVERIFY(p.principal().DBGrid1()->isHidden());
        QCOMPARE(p.principal().L_Fichero()->text(), QString());
    }

    void lookFollowsTheConnection()
    {
        ArranquePrueba p;
        p.arranca();
        p.principal().showConnectedLook();
        QCOMPARE(TFormPrincipal::imageIndex(p.accion(QStringLiteral("ToolConectar"))), 32);
        QCOMPARE(p.hijo<QPushButton>(QStringLiteral("conectar"))->text(), QStringLiteral("Disconnect"));
        QCOMPARE(p.hijo<QPushButton>(QStringLiteral("conectar"))->property("PictureFrom").toString(),
                 QStringLiteral("LED_ON"));
        QCOMPARE(p.hijo<QLabel>(QStringLiteral("I_LED"))->property("PictureFrom").toString(),
                 QStringLiteral("I_YES"));

        // Locking shows the not-connected look but does not end the connection.
        p.m_ctx.estado->setPlaca_conectada(true);
        p.principal().conecta_APLICACION(false);
        QVERIFY(p.m_ctx.estado->placa_conectada());
        QCOMPARE(TFormPrincipal::imageIndex(p.accion(QStringLiteral("ToolConectar"))), 31);
        QCOMPARE(p.hijo<QLabel>(QStringLiteral("I_LED"))->property("PictureFrom").toString(),
                 QStringLiteral("I_NO"));
    }

    void boardNumberKeys_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("after");
        QTest::newRow("digits") << false << ""
                                << "12" << 0 << "12";
        QTest::newRow("at most two") << false << ""
                                     << "123" << 0 << "12";
        QTest::newRow("letter refused") << false << ""
                                        << "7a" << 0 << "7";
        QTest::newRow("sign refused") << false << ""
                                      << "-3" << 0 << "3";
        QTest::newRow("backspace") << false << "12"
                                   << "" << int(Qt::Key_Backspace) << "1";
        QTest::newRow("connected digit") << true << "5"
                                         << "3" << 0 << "5";
        QTest::newRow("connected backspace") << true << "05"
                                             << "" << int(Qt::Key_Backspace) << "05";
        QTest::newRow("connected delete") << true << "05"
                                          << "" << int(Qt::Key_Delete) << "05";
    }

    void boardNumberKeys()
    {
        QFETCH(bool, connected);
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QString, after);
        ArranquePrueba p;
        p.arranca();
        QLineEdit *edit = p.principal().num_placa();
        QCOMPARE(edit->objectName(), QStringLiteral("num_placa"));
        QCOMPARE(edit->text(), QStringLiteral("01"));
        QCOMPARE(edit->maxLength(), 2);
        edit->setText(before);
        edit->setCursorPosition(key == Qt::Key_Delete ? 0 : int(before.size()));
        p.m_ctx.estado->setPlaca_conectada(connected);
        if (!typed.isEmpty())
            QTest::keyClicks(edit, typed);
        if (key != 0)
            QTest::keyClick(edit, Qt::Key(key));
        QCOMPARE(edit->text(), after);
    }

    void treeClickChoosesTheBoard()
    {
        ArranquePrueba p({3, 17});
        p.arranca();
        p.principal().show();
        QTreeWidget *arbol = p.principal().Arbol();
        QCOMPARE(p.nodos(), QStringList({"03", "17"}));
        QVERIFY(!arbol->topLevelItem(0)->icon(0).isNull());
        QCOMPARE(arbol->editTriggers(), QAbstractItemView::NoEditTriggers);
        auto clic = [arbol](int fila) {
            const QRect r = arbol->visualItemRect(arbol->topLevelItem(fila));
            QTest::mouseClick(arbol->viewport(), Qt::LeftButton, {}, r.center());
        };
        clic(1);
        QCOMPARE(p.principal().num_placa()->text(), QStringLiteral("17"));
        p.m_ctx.estado->setPlaca_conectada(true);
        clic(0);
        QCOMPARE(p.principal().num_placa()->text(), QStringLiteral("17"));
        // The link addresses the board in num_placa.
        QCOMPARE(p.m_link.placaActual(), 17);
    }

    void namedComponents()
    {
        ArranquePrueba p;
        p.arranca();
        for (const char *nombre : {"Panel5",
                                   "Label6",
                                   "Label10",
                                   "LED_OFF",
                                   "LED_ON",
                                   "I_NO",
                                   "I_YES",
                                   "Panel10",
                                   "Image1",
                                   "L_Usuario_Proceso",
                                   "I_NO_ANT",
                                   "I_YES_ANT",
                                   "I_LED_ant",
                                   "Image2",
                                   "Image3",
                                   "Panel3",
                                   "Panel13",
                                   "B_Refresh",
                                   "Arbol",
                                   "Panel8",
                                   "conectar",
                                   "Recibir",
                                   "Enviar",
                                   "Recibir_ANT",
                                   "Enviar_ATN",
                                   "Panel2",
                                   "Panel7",
                                   "Label8",
                                   "num_placa",
                                   "I_LED",
                                   "L_DESC_F",
                                   "L_Fichero",
                                   "I_LED_ANT2",
                                   "DBGrid1",
                                   "Lista_solo_EXCEL",
                                   "edtCode",
                                   "Panel6",
                                   "ToolBar1",
                                   "Panel4",
                                   "Panel1",
                                   "MainMenu1",
                                   "PopupMenu1",
                                   "Refresh1",
                                   "N3",
                                   "Cancel1",
                                   "Archivo1",
                                   "DirectoriodeTrabajo1",
                                   "N2",
                                   "N5",
                                   "Contrasea1",
                                   "Idioma1",
                                   "N4",
                                   "Salir1",
                                   "miComunication",
                                   "Conexin1",
                                   "N1",
                                   "RecibirdelSistema2",
                                   "EnviaralSistema1",
                                   "Herraminetas1",
                                   "TestdePlacas1",
                                   "miDebugWindow",
                                   "Configuracin1",
                                   "Parametros1",
                                   "TIEMPO_REINICIA_PLACA"})
            QVERIFY2(p.hijo(QString::fromLatin1(nombre)), nombre);
        for (const char *oculto : {"LED_OFF", "LED_ON", "I_NO", "I_YES", "L_Usuario_Proceso", "Recibir_ANT",
                                   "Enviar_ATN", "DBGrid1", "Lista_solo_EXCEL", "edtCode"})
            QVERIFY2(p.hijo<QWidget>(QString::fromLatin1(oculto))->isHidden(), oculto);
        QCOMPARE(p.hijo<QLabel>(QStringLiteral("L_Usuario_Proceso"))->text(), QStringLiteral("0"));
        QCOMPARE(p.hijo<QWidget>(QStringLiteral("Panel3"))->width(), 193);
    }

    void gridTitlesOutliveTheModel()
    {
        ArranquePrueba p;
        p.arranca();
        // Applied at start, before any data file gave the grid a model.
        QCOMPARE(p.principal().tituloColumna(0), QStringLiteral("¿?"));
        QCOMPARE(p.principal().tituloColumna(2), QString());
        QStandardItemModel modelo(0, 7);
        p.principal().DBGrid1()->setModel(&modelo);
        p.principal().aplicaTitulosColumnas();
        QCOMPARE(modelo.headerData(6, Qt::Horizontal).toString(), QStringLiteral("¿?"));
        p.principal().setTituloColumna(1, QStringLiteral("Call"));
        QCOMPARE(modelo.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Call"));
        p.principal().DBGrid1()->setModel(nullptr);
    }
};

QTEST_MAIN(tst_PrincipalEstado)
#include "tst_principal_estado.moc"
