#include "BoardMemory.h"
#include "ConexionPrueba.h"
#include "DataFileRef.h"
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
        QCOMPARE(informe->informe().entries.first().campos, QStringList{QStringLiteral("CODIGO")});
        QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 0);

        const QString csv = p.m_dir.filePath(QStringLiteral("report"));
        informe->setEligeFichero([csv] { return csv; });
        informe->GuardarCSVClick();
        QFile f(csv + QStringLiteral(".csv"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("2,different,BOB,BOB,CODIGO,,"));

        p.olvidaTrafico();
        aceptaAdvertencia();
        p.principal().EnviarCambiosClick();
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
        aceptaAdvertencia();
        p.principal().EnviarCambiosClick();
        QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 0);
        QCOMPARE(m_preguntas.size(), 2);
        QCOMPARE(informe->informe().entries.size(), 2);
        QCOMPARE(informe->informe().entries.last().campos, QStringList{QStringLiteral("NOMBRE")});
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
        QCOMPARE(p.placa().memory().at(1), char(5));
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
