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
        vista.display();
        QVERIFY(p.isVisible());
        vista.setMessage(QStringLiteral("Sending to system :"));
        vista.setMaximum(31);
        vista.setPosition(0);
        vista.setCounter(QStringLiteral("0/31"));
        vista.setPosition(vista.position() + 1);
        vista.setUserInHand(QStringLiteral("7"));
        QCOMPARE(p.mensaje(), QStringLiteral("Sending to system :"));
        QCOMPARE(p.maximo(), 31);
        QCOMPARE(vista.position(), 1);
        QCOMPARE(p.contador(), QStringLiteral("0/31"));
        vista.setPosition(40);
        QCOMPARE(vista.position(), 31);
        vista.dismiss();
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
            p.display();
            modalDurante = QApplication::activeModalWidget();
            bloqueado = false;
            box.B_OKClick();
        });
        box.showTwoLines(QStringLiteral("x"), QString());
        QVERIFY(!bloqueado);
        QCOMPARE(modalDurante, &box);
        QVERIFY(p.isVisible());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }
};

QTEST_MAIN(tst_TFProgreso)
#include "tst_TFProgreso.moc"
