#include "Contexto.h"
#include "ModalDriver.h"
#include "TF_ShowMessage.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

class tst_TF_ShowMessage : public QObject
{
    Q_OBJECT

private slots:
    void forma()
    {
        Contexto ctx;
        TF_ShowMessage box(ctx);
        QCOMPARE(box.objectName(), QStringLiteral("TF_ShowMessage"));
        QCOMPARE(box.size(), QSize(347, 98));
        QCOMPARE(box.windowTitle(), QStringLiteral("TZRUsers"));
        auto *ok = box.findChild<QPushButton *>(QStringLiteral("B_OK"));
        QVERIFY(ok);
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QVERIFY(ok->isFlat());
        QCOMPARE(ok->focusPolicy(), Qt::NoFocus);
        QVERIFY(!ok->isDefault());
        QVERIFY(!ok->autoDefault());
        const QColor rojo =
            box.findChild<QLabel *>(QStringLiteral("MiMensaje1"))->palette().color(QPalette::WindowText);
        QCOMPARE(rojo, QColor(Qt::red));
        QVERIFY(box.findChild<QLabel *>(QStringLiteral("MiMensaje2")));
    }

    // The box closes from the keyboard as the warning and code dialogs do; other keys leave it.
    void teclas_data()
    {
        QTest::addColumn<int>("tecla");
        QTest::addColumn<bool>("cierra");
        QTest::newRow("escape") << int(Qt::Key_Escape) << true;
        QTest::newRow("return") << int(Qt::Key_Return) << true;
        QTest::newRow("enter") << int(Qt::Key_Enter) << true;
        QTest::newRow("space") << int(Qt::Key_Space) << true;
        QTest::newRow("a letter") << int(Qt::Key_A) << false;
    }
    void teclas()
    {
        QFETCH(int, tecla);
        QFETCH(bool, cierra);
        Contexto ctx;
        TF_ShowMessage box(ctx);
        bool visibleTrasTecla = false;
        onNextModal([&](QWidget *modal) {
            QCOMPARE(modal, &box);
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : modal, Qt::Key(tecla));
            visibleTrasTecla = modal->isVisible();
            if (visibleTrasTecla)
                QTest::mouseClick(box.findChild<QPushButton *>(QStringLiteral("B_OK")), Qt::LeftButton);
        });
        box.showTwoLines(QStringLiteral("line one"), QStringLiteral("line two"));
        QCOMPARE(visibleTrasTecla, !cierra);
        QVERIFY(!box.isVisible());
        QCOMPARE(box.linea1(), QStringLiteral("line one"));
        QCOMPARE(box.linea2(), QStringLiteral("line two"));
    }

    void cajaDeCierre()
    {
        Contexto ctx;
        TF_ShowMessage box(ctx);
        onNextModal([](QWidget *modal) { modal->close(); });
        box.showTwoLines(QStringLiteral("x"), QString());
        QVERIFY(!box.isVisible());
    }

    void mensajeDeUnaLinea_usaLaCajaDelContexto()
    {
        Contexto ctx;
        TF_ShowMessage box(ctx);
        ctx.showMessage = &box;
        onNextModal([&](QWidget *) { box.B_OKClick(); });
        box.showTwoLines(QStringLiteral("old"), QStringLiteral("old"));
        QString vistos;
        onNextModal([&](QWidget *modal) {
            QCOMPARE(modal, &box);
            vistos = box.linea1() + u'|' + box.linea2();
            box.B_OKClick();
        });
        showMessage(ctx, QStringLiteral("only line"));
        QCOMPARE(vistos, QStringLiteral("only line|"));
    }

    void sinCajaEnElContexto()
    {
        Contexto ctx;
        QString visto;
        onNextModal([&](QWidget *modal) {
            auto *box = qobject_cast<TF_ShowMessage *>(modal);
            QVERIFY(box);
            visto = box->linea1();
            box->B_OKClick();
        });
        showMessage(ctx, QStringLiteral("passing"), QStringLiteral("box"));
        QCOMPARE(visto, QStringLiteral("passing"));
    }
};

QTEST_MAIN(tst_TF_ShowMessage)
#include "tst_TF_ShowMessage.moc"
