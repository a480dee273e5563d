#include "BoardMemory.h"
#include "ConexionPrueba.h"
#include "DataFileRef.h"
#include "EndDates.h"
#include "EstadoPrograma.h"
#include "FicheroActual.h"
#include "SyncImageStore.h"
#include "SystemImage.h"
#include "TF_Comparacion.h"
#include "TfrmDebug.h"
#include "UserRecord.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

namespace {

void aceptaAdvertencia()
{
    onNextModal([](QWidget *w) {
        QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("Aceptar")), Qt::LeftButton);
    });
}

// What a message box showed, answered with one of its buttons.
struct CajaVista
{
    QString nombre;
    QString texto;
    QString informativo;
};

void respondeCaja(CajaVista &vista, QMessageBox::StandardButton boton)
{
    onNextModal([&vista, boton](QWidget *w) {
        auto *caja = qobject_cast<QMessageBox *>(w);
        vista.nombre = w->objectName();
        if (!caja)
            return;
        vista.texto = caja->text();
        vista.informativo = caja->informativeText();
        QTest::mouseClick(caja->button(boton), Qt::LeftButton);
    });
}

// The code dialog: what its reason line said, then typed is entered.
void respondeCodigo(QString &motivo, const QString &tecleado)
{
    onNextModal([&motivo, tecleado](QWidget *w) {
        const auto *linea = w->findChild<QLabel *>(QStringLiteral("L_Motivo"));
        motivo = linea && linea->isVisible() ? linea->text() : QStringLiteral("(none)");
        QTest::keyClicks(w->findChild<QLineEdit *>(QStringLiteral("E_Contra")), tecleado);
        QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("Aceptar")), Qt::LeftButton);
    });
}

} // namespace

class TestSincroniaPrincipal : public QObject
{
    Q_OBJECT

private:
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
        p.principal().setPregunta([this](const QString &l1, const QString &) {
            m_preguntas << l1;
            return true;
        });
    }

    static void cambiaCodigo(ConexionPrueba &p, int fila, const QString &codigo)
    {
        Table &t = p.m_ctx.usuarios->Table1();
        QVERIFY(t.moveTo(fila));
        QVERIFY(t.edit());
        t.setValue(QStringLiteral("CODIGO"), codigo);
        QVERIFY(t.post());
    }

    QStringList m_preguntas;

private slots:
    void init() { m_preguntas.clear(); }

    void compareThenSendOnlyTheChange()
    {
        ConexionPrueba p;
        prepara(p, {{"ANA", "0001", "001", "123456"},
                    {"BOB", "0002", "002", "111111"},
                    {"CAT", "0003", "003", "222222"}});
        QAction *enviarCambios = p.principal().findChild<QAction *>(QStringLiteral("EnviarCambios1"));
        QVERIFY(enviarCambios && enviarCambios->isEnabled());

        // With nothing remembered the full send is offered instead.
        CierraShowMessage mensajes;
        aceptaAdvertencia();
        p.principal().EnviarCambiosClick();
        QCOMPARE(m_preguntas.size(), 1);
        QCOMPARE(p.placa().usersStored(), 3);

        cambiaCodigo(p, 1, QStringLiteral("654321"));
        p.olvidaTrafico();
        p.principal().CompararSistemaClick();
        TF_Comparacion *informe = p.principal().comparacion();
        QVERIFY(informe && informe->isVisible());
        QCOMPARE(informe->lista()->topLevelItemCount(), 1);
        QCOMPARE(informe->lista()->topLevelItem(0)->text(0), QStringLiteral("2"));
        QCOMPARE(informe->informe().entries.first().fields, QStringList{QStringLiteral("CODIGO")});
        QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 0);

        const QString csv = p.m_dir.filePath(QStringLiteral("report"));
        informe->setEligeFichero([csv] { return csv; });
        informe->GuardarCSVClick();
        QFile f(csv + QStringLiteral(".csv"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("2,different,BOB,BOB,CODIGO,,"));

        p.olvidaTrafico();
        CajaVista confirmacion;
        respondeCaja(confirmacion, QMessageBox::Ok);
        p.principal().EnviarCambiosClick();
        QCOMPARE(confirmacion.nombre, QStringLiteral("ConfirmaCambios"));
        const QList<BoardBus::Request> writes = p.m_bus.requests(BoardBus::CMD_WRITE);
        QCOMPARE(writes.size(), 45);
        QCOMPARE(writes.first().address, 32 + 45);
        QCOMPARE(p.placa().byte(32 + 45 + 20), quint8(0x36));
        QCOMPARE(mensajes.m_lineas.last().first(), QStringLiteral("Changes sent."));
        QVERIFY(p.m_ctx.debug->texto().contains(QStringLiteral("Envio_Cambios: Enviamos usuario 2")));
        QVERIFY(p.m_ctx.usuarios->Table1().isOpen());
        QVERIFY(enviarCambios->isEnabled());

        // Someone renames a user at the panel: the next send is refused and a compare offered.
        p.placa().setByte(32 + 45 * 2, 'Q');
        cambiaCodigo(p, 0, QStringLiteral("999999"));
        p.olvidaTrafico();
        respondeCaja(confirmacion, QMessageBox::Ok);
        p.principal().EnviarCambiosClick();
        QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 0);
        QCOMPARE(m_preguntas.size(), 2);
        QCOMPARE(informe->informe().entries.size(), 2);
        QCOMPARE(informe->informe().entries.last().fields, QStringList{QStringLiteral("NOMBRE")});
    }

    void sendOfChangesAsksWithItsOwnConfirmation_data()
    {
        QTest::addColumn<bool>("borra");
        QTest::addColumn<QMessageBox::StandardButton>("boton");
        QTest::addColumn<QString>("informativo");
        QTest::addColumn<int>("escrituras");
        const QString uno = QStringLiteral("Users to write: 1. Slots to empty: 0.\nThe rest of the board stays as it is.");
        const QString vacia = QStringLiteral("Users to write: 0. Slots to empty: 1.\nThe rest of the board stays as it is.");
        QTest::newRow("changed code, OK") << false << QMessageBox::Ok << uno << 45;
        QTest::newRow("changed code, Cancel") << false << QMessageBox::Cancel << uno << 0;
        QTest::newRow("deleted user, OK") << true << QMessageBox::Ok << vacia << 1;
        QTest::newRow("deleted user, Cancel") << true << QMessageBox::Cancel << vacia << 0;
    }

    void sendOfChangesAsksWithItsOwnConfirmation()
    {
        QFETCH(bool, borra);
        QFETCH(QMessageBox::StandardButton, boton);
        QFETCH(QString, informativo);
        QFETCH(int, escrituras);
        ConexionPrueba p;
        prepara(p, {{"ANA", "0001", "001", "123456"},
                    {"BOB", "0002", "002", "111111"},
                    {"CAT", "0003", "003", "222222"}});
        CierraShowMessage mensajes;
        aceptaAdvertencia();
        p.principal().EnviarCambiosClick();
        QCOMPARE(p.placa().usersStored(), 3);
        if (borra) {
            Table &t = p.m_ctx.usuarios->Table1();
            QVERIFY(t.moveTo(2));
            QVERIFY(t.deleteCurrent());
        } else {
            cambiaCodigo(p, 1, QStringLiteral("654321"));
        }
        const QByteArray antes = p.placa().memory();
        p.olvidaTrafico();
        CajaVista caja;
        respondeCaja(caja, boton);
        p.principal().EnviarCambiosClick();
        QCOMPARE(caja.nombre, QStringLiteral("ConfirmaCambios"));
        QCOMPARE(caja.texto, QStringLiteral("Send the changes of file %1 to board %2?")
                                 .arg(QStringLiteral("users.db"), p.principal().num_placa()->text()));
        QCOMPARE(caja.informativo, informativo);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), escrituras);
        if (escrituras == 0)
            QCOMPARE(p.placa().memory(), antes);
        else {
            QCOMPARE(mensajes.m_lineas.last().first(), QStringLiteral("Changes sent."));
            // A success is not drawn in the warnings' red.
            QVERIFY(!mensajes.m_rojas.last());
        }
    }

    void sendQuestionsSayHowManyAreLeftOut_data()
    {
        QTest::addColumn<bool>("sendOthers");
        QTest::addColumn<int>("stored");
        QTest::newRow("others sent") << true << 2;
        QTest::newRow("declined") << false << 0;
    }

    void sendQuestionsSayHowManyAreLeftOut()
    {
        QFETCH(bool, sendOthers);
        QFETCH(int, stored);
        ConexionPrueba p;
        prepara(p, {{"ANA", "0001", "001", "123456"},
                    {"BOB", "0002", "002", "111111"},
                    {"CAT", "0003", "003", "222222"}});
        const QString leftOut = QStringLiteral("1 user is left out: their end date has passed.");
        QStringList seconds;
        p.principal().setPregunta([&](const QString &l1, const QString &l2) {
            m_preguntas << l1;
            seconds << l2;
            return l1 != leftOut || sendOthers;
        });
        EndDates::set(p.m_ctx.usuarios->Table1(), QStringLiteral("BOB"), QStringLiteral("111111"),
                      QDate::currentDate().addDays(-1));
        // With nothing remembered the full send is offered; the warning is followed by the question.
        CierraShowMessage mensajes;
        aceptaAdvertencia();
        p.principal().EnviarCambiosClick();
        QCOMPARE(m_preguntas.size(), 2);
        QCOMPARE(m_preguntas.last(), leftOut);
        QCOMPARE(seconds.last(), QStringLiteral("Send the others?"));
        QCOMPARE(p.placa().usersStored(), stored);
        if (!sendOthers) {
            QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 0);
            return;
        }
        // The send of changes says it in its own confirmation.
        cambiaCodigo(p, 2, QStringLiteral("333333"));
        p.olvidaTrafico();
        CajaVista caja;
        respondeCaja(caja, QMessageBox::Cancel);
        p.principal().EnviarCambiosClick();
        QCOMPARE(caja.nombre, QStringLiteral("ConfirmaCambios"));
        QCOMPARE(caja.informativo, QStringLiteral("Users to write: 1. Slots to empty: 0.\nThe rest of the board "
                                                  "stays as it is.\n") +
                                       leftOut);
        QCOMPARE(m_preguntas.size(), 2);
    }

    void imageCommandsNameTheMasterCodeAndAnswerAWrongOne_data()
    {
        QTest::addColumn<bool>("restaura");
        QTest::addColumn<QString>("motivo");
        QTest::addColumn<QString>("nadaHecho");
        QTest::newRow("save") << false << QStringLiteral("The master code of board 01 is asked to save its image.")
                              << QStringLiteral("No image was saved.");
        QTest::newRow("restore") << true
                                 << QStringLiteral("The master code of board 01 is asked to restore it from the image.")
                                 << QStringLiteral("Nothing was written.");
    }

    void imageCommandsNameTheMasterCodeAndAnswerAWrongOne()
    {
        QFETCH(bool, restaura);
        QFETCH(QString, motivo);
        QFETCH(QString, nadaHecho);
        ConexionPrueba p;
        prepara(p, {{"ANA", "0001", "001", "123456"}});
        p.placa().seedUsers(5);
        p.placa().setMasterCode(QStringLiteral("12345"));
        const QString path = p.m_dir.filePath(QStringLiteral("board.tzrimg"));
        int dialogos = 0;
        p.principal().setEligeFichero([path, &dialogos](QFileDialog *) {
            ++dialogos;
            return path;
        });
        CierraShowMessage mensajes;
        if (restaura) {
            ConexionPrueba::alPedirContra(QStringLiteral("12345"));
            p.principal().GuardarImagenClick();
            QVERIFY(QFileInfo::exists(path));
        }
        for (const QString &tecleado : {QStringLiteral("73518"), QStringLiteral("11111")}) {
            mensajes.m_lineas.clear();
            QString visto;
            respondeCodigo(visto, tecleado);
            p.olvidaTrafico();
            if (restaura)
                p.principal().RestaurarImagenClick();
            else
                p.principal().GuardarImagenClick();
            QCOMPARE(visto, motivo);
            QCOMPARE(mensajes.m_lineas.size(), 1);
            QCOMPARE(mensajes.m_lineas.last(), (QStringList{QStringLiteral("Wrong master code."), nadaHecho}));
            QVERIFY(mensajes.m_rojas.last());
            QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 0);
        }
        QCOMPARE(dialogos, restaura ? 3 : 0);
        QCOMPARE(p.dialogo().findChild<QLabel *>(QStringLiteral("L_Motivo"))->text(), QString());

        // The connect prompt stays as it was: no reason line.
        QString visto;
        p.principal().CONECTARClick();
        respondeCodigo(visto, QStringLiteral("73518"));
        p.principal().CONECTARClick();
        QCOMPARE(visto, QStringLiteral("(none)"));
    }

    void imageSavedThenRestoredOntoAWipedBoard()
    {
        ConexionPrueba p;
        prepara(p, {{"ANA", "0001", "001", "123456"}});
        p.placa().seedUsers(20);
        p.placa().setMasterCode(QStringLiteral("12345"));
        const QByteArray original = p.placa().memory();
        const QString path = p.m_dir.filePath(QStringLiteral("board"));
        p.principal().setEligeFichero([path](QFileDialog *) { return path; });
        CierraShowMessage mensajes;
        ConexionPrueba::alPedirContra(QStringLiteral("12345"));
        p.principal().GuardarImagenClick();
        const QString file = path + QStringLiteral(".tzrimg");
        QCOMPARE(QFileInfo(file).permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(SystemImage::load(file).usuarios.users(), 20);

        for (int i = 0; i < 350; ++i)
            p.placa().clearRecord(i);
        p.placa().setByte(5, 50);
        p.principal().setEligeFichero([file](QFileDialog *) { return file; });
        ConexionPrueba::alPedirContra(QStringLiteral("12345"));
        p.principal().RestaurarImagenClick();
        QCOMPARE(m_preguntas.size(), 1);
        QVERIFY(p.principal().TIEMPO_REINICIA_PLACA()->isActive());
        const QByteArray restored = p.placa().memory();
        QCOMPARE(restored.mid(1, 21), original.mid(1, 21));
        for (int slot = 0; slot < 350; ++slot) {
            const int pos = 32 + 45 * slot;
            QCOMPARE(restored.mid(pos, 45), original.mid(pos, 45));
        }

        // A damaged image is refused before the board is asked anything.
        QFile damaged(file);
        QVERIFY(damaged.open(QIODevice::ReadWrite));
        damaged.seek(200);
        damaged.write("Z");
        damaged.close();
        p.principal().TIEMPO_REINICIA_PLACA()->stop();
        p.olvidaTrafico();
        p.principal().RestaurarImagenClick();
        QVERIFY(p.m_bus.requests().isEmpty());
        QCOMPARE(mensajes.m_lineas.last().first(),
                 QStringLiteral("The image cannot be used. Nothing was written."));
    }

    // Another board's image gives the connected board a number that never passed the code
    // check: the connection ends before num_placa shows it, the bus is scanned again, and the open
    // file forgets what it remembered of the board.
    void restoreThatRenumbersDisconnects()
    {
        ConexionPrueba p;
        prepara(p, {{"ANA", "0001", "001", "123456"}});
        p.placa().setMasterCode(QStringLiteral("12345"));
        const DataFileRef file{p.m_ctx.fichero->Directorio_Trabajo(), p.m_ctx.fichero->Nombre_Tabla()};
        const UserArea area;
        for (int board : {1, 5, 9})
            QVERIFY(BoardMemory::remember(file, board, &area).isEmpty());
        const QString path = p.m_dir.filePath(QStringLiteral("other.tzrimg"));
        p.principal().setEligeFichero([path](QFileDialog *) { return path; });
        CierraShowMessage mensajes;
        ConexionPrueba::alPedirContra(QStringLiteral("12345"));
        p.principal().GuardarImagenClick();
        SystemImage image = SystemImage::load(path);
        image.parametros[0] = 5;
        image.save(path);

        QVERIFY(p.m_ctx.estado->placa_conectada());
        ConexionPrueba::alPedirContra(QStringLiteral("12345"));
        p.principal().RestaurarImagenClick();
        // The restart that ends the restore gives the board its new number at once.
        QVERIFY(!p.m_bus.board(1));
        QVERIFY(p.m_bus.board(5));
        QCOMPARE(p.placa(5).memory().at(1), char(5));
        QVERIFY(!p.m_ctx.estado->placa_conectada());
        QCOMPARE(p.principal().num_placa()->text(), QStringLiteral("05"));
        QVERIFY(p.principal().TIEMPO_REINICIA_PLACA()->isActive());
        const SyncImageStore store(file.directory, file.table);
        QVERIFY(!store.load(1).has_value());
        QVERIFY(!store.load(5).has_value());
        QVERIFY(store.load(9).has_value());
    }
};

QTEST_MAIN(TestSincroniaPrincipal)
#include "tst_sincronia_principal.moc"
