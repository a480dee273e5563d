#include "ArranquePrueba.h"

#include "Configuracion.h"
#include "Contexto.h"
#include "Contrasenas.h"
#include "EstadoPrograma.h"
#include "FicheroActual.h"
#include "Lenguaje.h"
#include "ModalDriver.h"
#include "TF_Contra_Aplicacion.h"
#include "TF_Contrasena.h"
#include "TF_ShowMessage.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QLineEdit *campo(QWidget *v, const char *nombre)
{
    return v->findChild<QLineEdit *>(QString::fromLatin1(nombre));
}

// Types text key by key, letters outside ASCII included.
void teclea(QWidget *w, const QString &texto)
{
    for (const QChar c : texto)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

QPushButton *boton(QWidget *v, const char *nombre)
{
    return v->findChild<QPushButton *>(QString::fromLatin1(nombre));
}

} // namespace

class tst_Contrasenas : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_xdg.isValid());
        qputenv("XDG_DATA_HOME", m_xdg.path().toLocal8Bit());
    }

    void init()
    {
        m_korvel = std::make_unique<QTemporaryDir>();
        m_fichero = FicheroActual();
        m_estado = EstadoPrograma();
        m_cfg = std::make_unique<Configuracion>(m_fichero, m_korvel->path());
        m_cfg->Lee_Configuracion();
        m_lenguaje = std::make_unique<Lenguaje>(qEnvironmentVariable("TZR_SOURCE_DIR") +
                                                    QStringLiteral("/data/TZR_LANG.ini"),
                                                [this] { return m_cfg->IDIOMA(); });
        m_ctx = Contexto();
        m_ctx.configuracion = m_cfg.get();
        m_ctx.estado = &m_estado;
        m_ctx.fichero = &m_fichero;
        m_ctx.lenguaje = m_lenguaje.get();
        m_box = std::make_unique<TF_ShowMessage>(m_ctx);
        m_ctx.showMessage = m_box.get();
        m_prompt = std::make_unique<TF_Contra_Aplicacion>(m_ctx);
        m_ctx.contraAplicacion = m_prompt.get();
        m_cambio = std::make_unique<TF_Contrasena>(m_ctx);
        m_ctx.contrasena = m_cambio.get();
    }

    void regla_data()
    {
        QTest::addColumn<QString>("tecleada");
        QTest::addColumn<QString>("guardada");
        QTest::addColumn<bool>("igual");
        QTest::newRow("same") << "TRUBO"
                              << "TRUBO" << true;
        QTest::newRow("lower typed") << "trubo"
                                     << "TRUBO" << true;
        QTest::newRow("lower stored") << "CLAVE"
                                      << "clave" << true;
        QTest::newRow("mixed") << "cLaVe9"
                               << "ClAvE9" << true;
        QTest::newRow("different") << "TRUBO"
                                   << "TURBO" << false;
        QTest::newRow("longer") << "TRUBO1"
                                << "TRUBO" << false;
        QTest::newRow("n tilde not folded") << "Ñ"
                                            << "ñ" << false;
        QTest::newRow("n tilde as stored") << "ñ"
                                           << "ñ" << true;
        QTest::newRow("accent not folded") << "É"
                                           << "é" << false;
        QTest::newRow("both empty") << ""
                                    << "" << true;
    }
    void regla()
    {
        QFETCH(QString, tecleada);
        QFETCH(QString, guardada);
        QFETCH(bool, igual);
        QCOMPARE(passwordsMatch(tecleada, guardada), igual);
    }

    void prompt_forma()
    {
        QCOMPARE(m_prompt->objectName(), QStringLiteral("TF_Contra_Aplicacion"));
        QCOMPARE(m_prompt->size(), QSize(284, 116));
        QLineEdit *e = campo(m_prompt.get(), "E_Contra");
        QCOMPARE(e->echoMode(), QLineEdit::Password);
        QCOMPARE(e->maxLength(), 50);
        QCOMPARE(m_prompt->windowTitle(), QStringLiteral("Data Access Password"));
    }

    void prompt_mayusculasAlTeclear_data()
    {
        QTest::addColumn<QString>("tecleado");
        QTest::addColumn<QString>("guardado");
        QTest::newRow("ascii") << "trubo"
                               << "TRUBO";
        QTest::newRow("n tilde") << "año"
                                 << "AÑO";
        QTest::newRow("digits") << "ab12"
                                << "AB12";
    }
    void prompt_mayusculasAlTeclear()
    {
        QFETCH(QString, tecleado);
        QFETCH(QString, guardado);
        QLineEdit *e = campo(m_prompt.get(), "E_Contra");
        teclea(e, tecleado);
        QCOMPARE(e->text(), guardado);
    }

    // A fresh configuration holds "TRUBO"; typed in lower case it unlocks.
    void prompt_minusculasDesbloquean()
    {
        bool abierto = false;
        onNextModal([&](QWidget *modal) {
            abierto = modal == m_prompt.get();
            teclea(campo(modal, "E_Contra"), QStringLiteral("trubo"));
            QTest::keyClick(campo(modal, "E_Contra"), Qt::Key_Return);
        });
        QVERIFY(Pide_Contra_Aplicacion(m_ctx));
        QVERIFY(abierto);
        QVERIFY(!m_estado.confirmado());
    }

    void prompt_erroneaAvisaYSigue()
    {
        QStringList mensajes;
        bool siguioAbierto = false;
        bool vaciadoConFoco = false;
        onNextModal([&](QWidget *modal) {
            teclea(campo(modal, "E_Contra"), QStringLiteral("turbo"));
            onNextModal(
                [&](QWidget *box) {
                    mensajes << m_box->linea1() << m_box->linea2();
                    qobject_cast<TF_ShowMessage *>(box)->B_OKClick();
                },
                modal);
            boton(modal, "Aceptar")->click();
            siguioAbierto = modal->isVisible();
            // The prompt is active again once the box closes: emptied, the focus in E_Contra.
            vaciadoConFoco = QTest::qWaitFor([&] {
                return campo(modal, "E_Contra")->text().isEmpty() &&
                       modal->focusWidget() == campo(modal, "E_Contra");
            });
            teclea(campo(modal, "E_Contra"), QStringLiteral("TRUBO"));
            boton(modal, "Aceptar")->click();
        });
        QVERIFY(Pide_Contra_Aplicacion(m_ctx));
        QCOMPARE(mensajes, (QStringList{QStringLiteral("Wrong password."), QString()}));
        QVERIFY(siguioAbierto);
        QVERIFY(vaciadoConFoco);
    }

    void prompt_cierreRechaza_data()
    {
        QTest::addColumn<bool>("cajaDeCierre");
        QTest::newRow("cancel") << false;
        QTest::newRow("close box") << true;
    }
    void prompt_cierreRechaza()
    {
        QFETCH(bool, cajaDeCierre);
        m_estado.setConfirmado(true);
        onNextModal([&](QWidget *modal) {
            teclea(campo(modal, "E_Contra"), QStringLiteral("TRUBO"));
            if (cajaDeCierre)
                modal->close();
            else
                boton(modal, "Cancelar")->click();
        });
        QVERIFY(!Pide_Contra_Aplicacion(m_ctx));
    }

    void prompt_vaciaAlMostrar()
    {
        campo(m_prompt.get(), "E_Contra")->setText(QStringLiteral("LEFT"));
        QString alAbrir = QStringLiteral("?");
        onNextModal([&](QWidget *modal) {
            alAbrir = campo(modal, "E_Contra")->text();
            modal->close();
        });
        Pide_Contra_Aplicacion(m_ctx);
        QCOMPARE(alAbrir, QString());
    }

    // The prompt turns ñ into Ñ, which the comparison does not fold back; the change form keeps it.
    void enieGuardada()
    {
        m_cfg->setPWD(QStringLiteral("año"));
        bool avisado = false;
        onNextModal([&](QWidget *modal) {
            teclea(campo(modal, "E_Contra"), QStringLiteral("año"));
            onNextModal(
                [&](QWidget *box) {
                    avisado = true;
                    qobject_cast<TF_ShowMessage *>(box)->B_OKClick();
                },
                modal);
            QTest::keyClick(campo(modal, "E_Contra"), Qt::Key_Return);
            modal->close();
        });
        QVERIFY(!Pide_Contra_Aplicacion(m_ctx));
        QVERIFY(avisado);

        m_cambio->show();
        teclea(campo(m_cambio.get(), "Ant_Contra"), QStringLiteral("AÑO"));
        m_cambio->ValidarClick();
        QVERIFY(!campo(m_cambio.get(), "NContra")->isEnabled());
        campo(m_cambio.get(), "Ant_Contra")->clear();
        teclea(campo(m_cambio.get(), "Ant_Contra"), QStringLiteral("AñO"));
        m_cambio->ValidarClick();
        QVERIFY(campo(m_cambio.get(), "NContra")->isEnabled());
        m_cambio->hide();
    }

    void ToolPWD_APP_data()
    {
        QTest::addColumn<bool>("desbloqueada");
        QTest::addColumn<QString>("tecleada");
        QTest::addColumn<QList<bool>>("llamadas");
        QTest::newRow("locks when unlocked") << true << QString() << QList<bool>{false};
        QTest::newRow("unlocks with the password") << false << "trubo" << QList<bool>{true};
        QTest::newRow("stays locked when refused") << false << QString() << QList<bool>{};
    }
    void ToolPWD_APP()
    {
        QFETCH(bool, desbloqueada);
        QFETCH(QString, tecleada);
        QFETCH(QList<bool>, llamadas);
        m_estado.setAplicacion_conectada(desbloqueada);
        bool preguntado = false;
        if (!desbloqueada) {
            onNextModal([&](QWidget *modal) {
                preguntado = true;
                if (tecleada.isEmpty()) {
                    modal->close();
                    return;
                }
                teclea(campo(modal, "E_Contra"), tecleada);
                boton(modal, "Aceptar")->click();
            });
        }
        QList<bool> vistas;
        ToolPWD_APPClick(m_ctx, [&](bool on) { vistas << on; });
        QCOMPARE(vistas, llamadas);
        QCOMPARE(preguntado, !desbloqueada);
    }

    void cambio_forma()
    {
        QCOMPARE(m_cambio->objectName(), QStringLiteral("TF_Contrasena"));
        QCOMPARE(m_cambio->size(), QSize(225, 250));
        for (const char *n : {"Ant_Contra", "NContra", "NContra_Valida"}) {
            QCOMPARE(campo(m_cambio.get(), n)->echoMode(), QLineEdit::Password);
            QCOMPARE(campo(m_cambio.get(), n)->maxLength(), 30);
        }
        QCOMPARE(m_cambio->findChild<QLabel *>(QStringLiteral("L2"))->text(),
                 QStringLiteral("New password :"));
    }

    void cambio_alMostrar()
    {
        campo(m_cambio.get(), "Ant_Contra")->setText(QStringLiteral("x"));
        QStringList deshabilitados;
        QString vacios;
        onNextModal([&](QWidget *modal) {
            for (const char *n : {"L2", "L3", "NContra", "NContra_Valida", "Aceptar1"}) {
                if (!modal->findChild<QWidget *>(QString::fromLatin1(n))->isEnabled())
                    deshabilitados << QString::fromLatin1(n);
            }
            for (const char *n : {"Ant_Contra", "NContra", "NContra_Valida"})
                vacios += campo(modal, n)->text();
            QCOMPARE(modal->focusWidget(), campo(modal, "Ant_Contra"));
            modal->close();
        });
        Contrasea1Click(m_ctx);
        QCOMPARE(deshabilitados.size(), 5);
        QCOMPARE(vacios, QString());
    }

    void cambio_actualErroneaEnSilencio()
    {
        m_cambio->show();
        teclea(campo(m_cambio.get(), "Ant_Contra"), QStringLiteral("turbo"));
        QTest::keyClick(campo(m_cambio.get(), "Ant_Contra"), Qt::Key_Return);
        QVERIFY(!campo(m_cambio.get(), "NContra")->isEnabled());
        QVERIFY(!boton(m_cambio.get(), "Aceptar1")->isEnabled());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        m_cambio->hide();
    }

    void cambio_guarda()
    {
        bool cerrado = false;
        onNextModal([&](QWidget *modal) {
            teclea(campo(modal, "Ant_Contra"), QStringLiteral("trubo"));
            QTest::keyClick(campo(modal, "Ant_Contra"), Qt::Key_Return);
            QCOMPARE(modal->focusWidget(), campo(modal, "NContra"));
            teclea(campo(modal, "NContra"), QStringLiteral("Nueva1"));
            QTest::keyClick(campo(modal, "NContra"), Qt::Key_Return);
            QCOMPARE(modal->focusWidget(), campo(modal, "NContra_Valida"));
            teclea(campo(modal, "NContra_Valida"), QStringLiteral("Nueva1"));
            QTest::keyClick(campo(modal, "NContra_Valida"), Qt::Key_Return);
            cerrado = !modal->isVisible();
        });
        Contrasea1Click(m_ctx);
        QVERIFY(cerrado);
        QCOMPARE(m_cfg->PWD(), QStringLiteral("Nueva1"));
        FicheroActual otro;
        Configuracion leida(otro, m_korvel->path());
        leida.Lee_Configuracion();
        QCOMPARE(leida.PWD(), QStringLiteral("Nueva1"));
    }

    void cambio_rechazos_data()
    {
        QTest::addColumn<QString>("nueva");
        QTest::addColumn<QString>("validada");
        QTest::addColumn<QStringList>("mensaje");
        const QStringList distintas{QStringLiteral("The new password and its confirmation"),
                                    QStringLiteral("do not match.")};
        QTest::newRow("empty beeps") << QString() << QString() << QStringList();
        QTest::newRow("empty new, confirmation given") << QString() << "abc" << QStringList();
        QTest::newRow("differ only in case") << "clave"
                                             << "CLAVE" << distintas;
        QTest::newRow("differ") << "clave"
                                << "clava" << distintas;
    }
    void cambio_rechazos()
    {
        QFETCH(QString, nueva);
        QFETCH(QString, validada);
        QFETCH(QStringList, mensaje);
        m_cambio->show();
        teclea(campo(m_cambio.get(), "Ant_Contra"), QStringLiteral("TRUBO"));
        m_cambio->ValidarClick();
        teclea(campo(m_cambio.get(), "NContra"), nueva);
        teclea(campo(m_cambio.get(), "NContra_Valida"), validada);
        QStringList visto;
        if (!mensaje.isEmpty()) {
            onNextModal([&](QWidget *box) {
                visto << m_box->linea1() << m_box->linea2();
                qobject_cast<TF_ShowMessage *>(box)->B_OKClick();
            });
        }
        boton(m_cambio.get(), "Aceptar1")->click();
        QCOMPARE(visto, mensaje);
        QVERIFY(m_cambio->isVisible());
        if (!mensaje.isEmpty()) {
            // Active again after the box: the three edits emptied, the focus in Ant_Contra.
            for (const char *nombre : {"Ant_Contra", "NContra", "NContra_Valida"})
                QTRY_COMPARE(campo(m_cambio.get(), nombre)->text(), QString());
            QCOMPARE(m_cambio->focusWidget(), campo(m_cambio.get(), "Ant_Contra"));
        }
        QCOMPARE(m_cfg->PWD(), QStringLiteral("TRUBO"));
        m_cambio->hide();
    }

    void cambio_cancelar()
    {
        onNextModal([&](QWidget *modal) {
            teclea(campo(modal, "Ant_Contra"), QStringLiteral("TRUBO"));
            qobject_cast<TF_Contrasena *>(modal)->ValidarClick();
            teclea(campo(modal, "NContra"), QStringLiteral("x"));
            teclea(campo(modal, "NContra_Valida"), QStringLiteral("x"));
            boton(modal, "Cancelar1")->click();
        });
        Contrasea1Click(m_ctx);
        QCOMPARE(m_cfg->PWD(), QStringLiteral("TRUBO"));
    }

    // The write fails when the Korvel folder is gone: the error is shown, the new password holds for
    // this run, and the form stays open.
    void cambio_escrituraFallida()
    {
        QVERIFY(QDir(m_korvel->path()).removeRecursively());
        m_cambio->show();
        teclea(campo(m_cambio.get(), "Ant_Contra"), QStringLiteral("TRUBO"));
        m_cambio->ValidarClick();
        teclea(campo(m_cambio.get(), "NContra"), QStringLiteral("otra"));
        teclea(campo(m_cambio.get(), "NContra_Valida"), QStringLiteral("otra"));
        QString error;
        onNextModal([&](QWidget *modal) {
            auto *caja = qobject_cast<QMessageBox *>(modal);
            QVERIFY(caja);
            error = caja->text();
            caja->accept();
        });
        m_cambio->Aceptar1Click();
        QVERIFY(error.startsWith(QStringLiteral("Unable to write to ")));
        QVERIFY(m_cambio->isVisible());
        QCOMPARE(m_cfg->PWD(), QStringLiteral("otra"));
        m_cambio->hide();
    }

    // A first run: "trubo" typed at the prompt unlocks the window, the lock button locks it again.
    void primerArranque_desbloqueaYBloquea()
    {
        ArranquePrueba p;
        p.escribeIni("[TZR]\r\nComPort=5\r\n");
        p.arranca();
        QVERIFY(!p.habilitado(QStringLiteral("Archivo1")));
        onNextModal([](QWidget *modal) {
            teclea(campo(modal, "E_Contra"), QStringLiteral("trubo"));
            QTest::keyClick(campo(modal, "E_Contra"), Qt::Key_Return);
        });
        p.accion(QStringLiteral("ToolPWD_APP"))->trigger();
        QVERIFY(p.m_ctx.estado->aplicacion_conectada());
        QVERIFY(p.habilitado(QStringLiteral("Archivo1")));
        QVERIFY(p.habilitado(QStringLiteral("ToolFicheros")));
        QVERIFY(!p.m_ctx.estado->confirmado());

        p.accion(QStringLiteral("ToolPWD_APP"))->trigger();
        QVERIFY(!p.m_ctx.estado->aplicacion_conectada());
        QVERIFY(!p.habilitado(QStringLiteral("Archivo1")));
    }

private:
    QTemporaryDir m_xdg;
    std::unique_ptr<QTemporaryDir> m_korvel;
    FicheroActual m_fichero;
    EstadoPrograma m_estado;
    std::unique_ptr<Configuracion> m_cfg;
    std::unique_ptr<Lenguaje> m_lenguaje;
    Contexto m_ctx;
    std::unique_ptr<TF_ShowMessage> m_box;
    std::unique_ptr<TF_Contra_Aplicacion> m_prompt;
    std::unique_ptr<TF_Contrasena> m_cambio;
};

QTEST_MAIN(tst_Contrasenas)
#include "tst_Contrasenas.moc"
