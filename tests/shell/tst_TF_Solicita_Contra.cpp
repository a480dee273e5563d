#include "ConexionPrueba.h"

#include "TzrError.h"

#include <QLabel>

class tst_TF_Solicita_Contra : public QObject
{
    Q_OBJECT

private slots:
    void componentsAndCaptions()
    {
        ConexionPrueba p;
        QFile lenguaje(p.korvel() + QStringLiteral("/TZR_LANG.ini"));
        QVERIFY(lenguaje.open(QIODevice::WriteOnly));
        lenguaje.write("[ENGLISH]\r\n"
                       "F_Solicita_Contra_Caption=System password\r\n"
                       "F_Solicita_Contra_label1_Caption=Type the system password to\r\n"
                       "F_Solicita_Contra_L_a_que_caption=get in :\r\n"
                       "F_Solicita_Contra_label2_caption=At most 5 digits\r\n"
                       "F_Solicita_Contra_Aceptar_Caption=OK\r\n");
        lenguaje.close();
        p.arranca();
        TF_Solicita_Contra &d = p.dialogo();

        QCOMPARE(d.objectName(), QStringLiteral("TF_Solicita_Contra"));
        QCOMPARE(d.windowTitle(), QStringLiteral("System password"));
        QVERIFY(d.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        auto texto = [&d](const char *nombre) {
            const QString n = QString::fromLatin1(nombre);
            if (auto *l = d.findChild<QLabel *>(n))
                return l->text();
            auto *b = d.findChild<QPushButton *>(n);
            return b ? b->text() : QStringLiteral("<missing>");
        };
        QCOMPARE(texto("Label1"), QStringLiteral("Type the system password to"));
        QCOMPARE(texto("L_a_que"), QStringLiteral("get in :"));
        QCOMPARE(texto("Label2"), QStringLiteral("At most 5 digits"));
        QCOMPARE(texto("Aceptar"), QStringLiteral("OK"));
        // A key missing from the file shows the general fall-back, not the design text.
        QCOMPARE(texto("Cancelar"), QStringLiteral("¿¿??"));
        QVERIFY(d.findChild<QLabel *>(QStringLiteral("L_QUIEN_SOLICITA"))->isHidden());

        QLineEdit *e = d.E_Contra();
        QCOMPARE(e->objectName(), QStringLiteral("E_Contra"));
        QCOMPARE(e->maxLength(), 5);
        QCOMPARE(e->echoMode(), QLineEdit::Password);
    }

    void typingTurnsLettersIntoCapitals()
    {
        ConexionPrueba p;
        p.arranca();
        QLineEdit *e = p.dialogo().E_Contra();
        QTest::keyClicks(e, QStringLiteral("ab12c9"));
        QCOMPARE(e->text(), QStringLiteral("AB12C"));
    }

    void showingEmptiesTheCode()
    {
        ConexionPrueba p;
        p.arranca();
        TF_Solicita_Contra &d = p.dialogo();
        d.E_Contra()->setText(QStringLiteral("123"));
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(d.E_Contra()->text(), QString());
        QCOMPARE(d.focusWidget(), d.E_Contra());
        d.CancelarClick();
    }

    void enterAccepts()
    {
        ConexionPrueba p;
        p.arrancaDesbloqueado();
        QVERIFY(p.placa().setProgrammingCode(QStringLiteral("9AB01")));
        TF_Solicita_Contra &d = p.dialogo();
        d.reiniciaContraPlaca();
        QCOMPARE(d.contra_placa(), QStringLiteral("     "));
        d.setQuienSolicita(QLatin1Char('P'));
        d.show();
        QTest::keyClicks(d.E_Contra(), QStringLiteral("9ab0"));
        QTest::keyClick(d.E_Contra(), Qt::Key_Return);

        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.contra_placa(), QStringLiteral("9AB01"));
        QVERIFY(d.codigoLeido().completo);
        QCOMPARE(d.contra_tecleada(), QStringLiteral("9AB0"));
        // One read per position: Enter is not answered a second time by a default button.
        QCOMPARE(p.lecturas(), QList<int>({11, 12, 13, 14, 15}));
    }

    void emptyBoardNumberKeepsTheDialogOpen()
    {
        ConexionPrueba p;
        p.arrancaDesbloqueado();
        p.principal().num_placa()->clear();
        TF_Solicita_Contra &d = p.dialogo();
        d.reiniciaContraPlaca();
        d.setQuienSolicita(QLatin1Char('M'));
        d.show();
        QTest::keyClicks(d.E_Contra(), QStringLiteral("40962"));
        const CierraMensajes errores;
        QTest::mouseClick(d.findChild<QPushButton *>(QStringLiteral("Aceptar")), Qt::LeftButton);

        QString conversion;
        try {
            p.m_link.placaActual();
        } catch (const ConversionError &e) {
            conversion = e.message();
        }
        QVERIFY(!conversion.isEmpty());
        QCOMPARE(errores.m_textos, QStringList{conversion});
        QVERIFY(d.isVisible());
        QCOMPARE(d.contra_placa(), QStringLiteral("     "));
        QCOMPARE(d.contra_tecleada(), QString());
        QCOMPARE(d.E_Contra()->text(), QStringLiteral("40962"));
        QVERIFY(p.m_bus.requests().isEmpty());
        d.CancelarClick();
    }

    void everyCloseClearsConfirmado_data()
    {
        QTest::addColumn<QString>("como");
        QTest::newRow("Aceptar") << "Aceptar";
        QTest::newRow("Cancelar") << "Cancelar";
        QTest::newRow("close box") << "close";
        QTest::newRow("Escape") << "Escape";
    }

    void everyCloseClearsConfirmado()
    {
        QFETCH(QString, como);
        ConexionPrueba p;
        p.arrancaDesbloqueado();
        TF_Solicita_Contra &d = p.dialogo();
        d.setQuienSolicita(QLatin1Char('P'));
        d.show();
        p.m_ctx.estado->setConfirmado(true);
        if (como == QLatin1String("close"))
            d.close();
        else if (como == QLatin1String("Escape"))
            QTest::keyClick(d.E_Contra(), Qt::Key_Escape);
        else
            QTest::mouseClick(d.findChild<QPushButton *>(como), Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QVERIFY(!p.m_ctx.estado->confirmado());
    }

    // However the dialog closes the marker is read and the verdict given; a cancelled dialog has
    // read no code, so a stored code never matches.
    void cancelStillReadsTheMarker_data()
    {
        QTest::addColumn<bool>("codigoGuardado");
        QTest::addColumn<bool>("valida");
        QTest::newRow("code stored") << true << false;
        QTest::newRow("fresh board, fixed code typed") << false << true;
    }

    void cancelStillReadsTheMarker()
    {
        QFETCH(bool, codigoGuardado);
        QFETCH(bool, valida);
        ConexionPrueba p;
        p.arrancaDesbloqueado();
        if (codigoGuardado)
            QVERIFY(p.placa().setProgrammingCode(QStringLiteral("73518")));
        onNextModal([](QWidget *w) {
            auto *d = qobject_cast<TF_Solicita_Contra *>(w);
            QTest::keyClicks(d->E_Contra(), QStringLiteral("73518"));
            d->CancelarClick();
        });
        QCOMPARE(p.principal().Valida_Contra_Sistema(QLatin1Char('P')), valida);
        QCOMPARE(p.lecturas(), QList<int>{10});
    }
};

QTEST_MAIN(tst_TF_Solicita_Contra)
#include "tst_TF_Solicita_Contra.moc"
