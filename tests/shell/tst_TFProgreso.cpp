#include "Contexto.h"
#include "Lenguaje.h"
#include "ModalDriver.h"
#include "TFProgreso.h"
#include "TF_ShowMessage.h"

#include <QLabel>
#include <QProgressBar>
#include <QtTest>

class tst_TFProgreso : public QObject
{
    Q_OBJECT

private slots:
    void forma()
    {
        Contexto ctx;
        TFProgreso p(ctx);
        QCOMPARE(p.objectName(), QStringLiteral("TFProgreso"));
        QCOMPARE(p.size(), QSize(277, 38));
        QVERIFY(p.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(p.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!p.isModal());
        auto *barra = p.findChild<QProgressBar *>(QStringLiteral("Barra_Progreso"));
        QCOMPARE(barra->minimum(), 0);
        QCOMPARE(barra->maximum(), 350);
        auto *lblUsers = p.findChild<QLabel *>(QStringLiteral("lblUsers"));
        QCOMPARE(lblUsers->text(), QString());
        QVERIFY(lblUsers->alignment() & Qt::AlignRight);
        QVERIFY(p.findChild<QLabel *>(QStringLiteral("Image1")));
        // No language file: the design text never shows.
        QCOMPARE(p.mensaje(), QStringLiteral("¿¿??"));
    }

    void mensajeInicialDelFichero()
    {
        Contexto ctx;
        Lenguaje lenguaje(qEnvironmentVariable("TZR_SOURCE_DIR") + QStringLiteral("/data/TZR_LANG.ini"),
                          [] { return QStringLiteral("ESPAÑOL"); });
        ctx.lenguaje = &lenguaje;
        TFProgreso p(ctx);
        QCOMPARE(p.mensaje(), QStringLiteral("Transferencia :"));
    }

    void vistaDeProgreso()
    {
        Contexto ctx;
        TFProgreso p(ctx);
        ProgressView &vista = p;
        vista.mostrar();
        QVERIFY(p.isVisible());
        vista.setMensaje(QStringLiteral("Sending to system :"));
        vista.setMaximo(31);
        vista.setPosicion(0);
        vista.setContador(QStringLiteral("0/31"));
        vista.setPosicion(vista.posicion() + 1);
        vista.setUsuarioProceso(QStringLiteral("7"));
        QCOMPARE(p.mensaje(), QStringLiteral("Sending to system :"));
        QCOMPARE(p.maximo(), 31);
        QCOMPARE(vista.posicion(), 1);
        QCOMPARE(p.contador(), QStringLiteral("0/31"));
        vista.setPosicion(40);
        QCOMPARE(vista.posicion(), 31);
        vista.cerrar();
        QVERIFY(!p.isVisible());
    }

    // Shown from inside a modal dialog's handler it neither takes the modality nor blocks.
    void noRobaLaModalidad()
    {
        Contexto ctx;
        TFProgreso p(ctx);
        TF_ShowMessage box(ctx);
        QWidget *modalDurante = nullptr;
        bool bloqueado = true;
        onNextModal([&](QWidget *) {
            p.mostrar();
            modalDurante = QApplication::activeModalWidget();
            bloqueado = false;
            box.B_OKClick();
        });
        box.mostrarMensaje(QStringLiteral("x"), QString());
        QVERIFY(!bloqueado);
        QCOMPARE(modalDurante, &box);
        QVERIFY(p.isVisible());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }
};

QTEST_MAIN(tst_TFProgreso)
#include "tst_TFProgreso.moc"
