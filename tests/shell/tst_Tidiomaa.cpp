#include "ArranquePrueba.h"
#include "ModalDriver.h"

#include "Asigna_Lenguaje.h"
#include "Configuracion.h"
#include "Contexto.h"
#include "EstadoPrograma.h"
#include "FicheroActual.h"
#include "TAdvertencia.h"
#include "TFProgreso.h"
#include "TF_Advertencia3.h"
#include "TF_Contra_Aplicacion.h"
#include "TF_Contrasena.h"
#include "TF_Mensaje_Parametros.h"
#include "TF_Parametros.h"
#include "TF_Solicita_Contra.h"
#include "TF_Test.h"
#include "TextLookup.h"
#include "Tidiomaa.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace {

QString ficheroDatos()
{
    return qEnvironmentVariable("TZR_SOURCE_DIR") + QStringLiteral("/data/TZR_LANG.ini");
}

QByteArray iniCon(const QByteArray &idioma)
{
    // A port that is not there: no bus scan at start-up.
    return "[TZR]\r\nComPort=5\r\nIDIOMA=" + idioma + "\r\n";
}

QComboBox *lista(QWidget *v)
{
    return v->findChild<QComboBox *>(QStringLiteral("cbxIdioma"));
}

QString textoDe(QObject *o)
{
    if (auto *l = qobject_cast<QLabel *>(o))
        return l->text();
    if (auto *b = qobject_cast<QAbstractButton *>(o))
        return b->text();
    if (auto *m = qobject_cast<QMenu *>(o))
        return m->title();
    if (auto *a = qobject_cast<QAction *>(o))
        return a->text() + a->toolTip();
    if (auto *w = qobject_cast<QWidget *>(o); w && w->isWindow())
        return w->windowTitle();
    return {};
}

// Every text of a window and its components that shows a fall-back.
QStringList fallos(QWidget *ventana)
{
    QStringList r;
    QList<QObject *> todos = ventana->findChildren<QObject *>();
    todos.prepend(ventana);
    for (QObject *o : todos) {
        if (textoDe(o).contains(u'¿'))
            r << o->objectName();
    }
    return r;
}

QString texto(QWidget *v, const char *nombre)
{
    return textoDe(v->findChild<QObject *>(QString::fromLatin1(nombre)));
}

// The windows of the panel parameters, the panel password and the board test get their components
// with their own features; until then only what they already have is checked.
#define COMPARA_SI_EXISTE(ventana, nombre, esperado)                                                         \
    do {                                                                                                     \
        if ((ventana)->findChild<QObject *>(QStringLiteral(nombre)))                                         \
            QCOMPARE(texto((ventana), nombre), QStringLiteral(esperado));                                    \
    } while (false)

// Accepts the language form with the entry at index once it is shown.
void eligeAlAbrir(int index)
{
    onNextModal([index](QWidget *modal) {
        lista(modal)->setCurrentIndex(index);
        modal->findChild<QPushButton *>(QStringLiteral("Aceptar"))->click();
    });
}

} // namespace

class tst_Tidiomaa : public QObject
{
    Q_OBJECT

private slots:
    void forma()
    {
        Contexto ctx;
        Tidiomaa v(ctx);
        QCOMPARE(v.objectName(), QStringLiteral("Tidiomaa"));
        QVERIFY(v.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(v.minimumSize(), v.maximumSize());
        QComboBox *cbx = lista(&v);
        QVERIFY(!cbx->isEditable());
        QStringList items;
        for (int i = 0; i < cbx->count(); ++i)
            items << cbx->itemText(i);
        QCOMPARE(items, (QStringList{QStringLiteral("ESPAÑOL"), QStringLiteral("FRANÇAIS"),
                                     QStringLiteral("ENGLISH")}));
    }

    void seleccionAlAbrir_data()
    {
        QTest::addColumn<QString>("idioma");
        QTest::addColumn<int>("indice");
        QTest::newRow("spanish") << "ESPAÑOL" << 0;
        QTest::newRow("french") << "FRANÇAIS" << 1;
        QTest::newRow("english") << "ENGLISH" << 2;
        QTest::newRow("not offered") << "DEUTSCH" << 2;
        QTest::newRow("case counts") << "español" << 2;
        QTest::newRow("empty") << "" << 2;
    }
    void seleccionAlAbrir()
    {
        QFETCH(QString, idioma);
        QFETCH(int, indice);
        QTemporaryDir korvel;
        FicheroActual fichero;
        Configuracion cfg(fichero, korvel.path());
        Contexto ctx;
        ctx.configuracion = &cfg;
        Tidiomaa v(ctx);
        ctx.idiomaa = &v;
        lista(&v)->setCurrentIndex(indice == 0 ? 1 : 0);
        cfg.setIDIOMA(idioma);
        int visto = -1;
        onNextModal([&](QWidget *modal) {
            visto = lista(modal)->currentIndex();
            lista(modal)->setCurrentIndex(0);
            modal->close();
        });
        Idioma1Click(ctx);
        QCOMPARE(visto, indice);
        // Closing the form other than by Aceptar changes nothing.
        QCOMPARE(cfg.IDIOMA(), idioma);
    }

    void cadaIdiomaSinFallos_data()
    {
        QTest::addColumn<QByteArray>("idioma");
        QTest::addColumn<QString>("titulo");
        QTest::newRow("es") << QByteArray("ESPA\xD1OL") << "Gestión de Usuarios";
        QTest::newRow("fr") << QByteArray("FRAN\xC7"
                                          "AIS")
                            << "Gestion des utilisateurs";
        QTest::newRow("en") << QByteArray("ENGLISH") << "User Management";
    }
    void cadaIdiomaSinFallos()
    {
        QFETCH(QByteArray, idioma);
        QFETCH(QString, titulo);
        ArranquePrueba p;
        QVERIFY(QFile::copy(ficheroDatos(), p.korvel() + QStringLiteral("/TZR_LANG.ini")));
        p.escribeIni(iniCon(idioma));
        p.arranca();
        const Contexto &c = p.m_ctx;
        QCOMPARE(c.principal->windowTitle(), titulo);
        for (QWidget *v : std::initializer_list<QWidget *>{
                 c.principal, c.contrasena, c.idiomaa, c.test, c.progreso, c.advertencia, c.solicitaContra,
                 c.contraAplicacion, c.advertencia3, c.parametros, c.mensajeParametros})
            QVERIFY2(fallos(v).isEmpty(), qPrintable(v->objectName() + u' ' + fallos(v).join(u',')));
        QVERIFY(p.accion(QStringLiteral("N5"))->isSeparator());
        QVERIFY(p.accion(QStringLiteral("N4"))->isSeparator());
        // The fixed-size dialogs grow rather than cut a caption off.
        for (QWidget *v : std::initializer_list<QWidget *>{c.contrasena, c.idiomaa, c.advertencia,
                                                           c.contraAplicacion, c.advertencia3}) {
            v->show();
            QStringList cortadas;
            for (QWidget *w : v->findChildren<QWidget *>()) {
                if ((qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w)) &&
                    w->width() < w->sizeHint().width())
                    cortadas << w->objectName();
            }
            v->hide();
            QVERIFY2(cortadas.isEmpty(), qPrintable(v->objectName() + u' ' + cortadas.join(u',')));
        }
    }

    void sinFicheroDeIdioma()
    {
        ArranquePrueba p;
        p.escribeIni(iniCon("ENGLISH"));
        p.arranca();
        const Contexto &c = p.m_ctx;
        QCOMPARE(c.principal->windowTitle(), QStringLiteral("¿?"));
        QCOMPARE(p.hijo<QMenu>(QStringLiteral("Archivo1"))->title(), QStringLiteral("¿?"));
        QCOMPARE(p.accion(QStringLiteral("ToolPWD_APP"))->toolTip(), QStringLiteral("PWD"));
        QCOMPARE(p.accion(QStringLiteral("ToolSistema"))->toolTip(), QStringLiteral("Panel Parameters"));
        QCOMPARE(p.hijo<QLabel>(QStringLiteral("L_DESC_F"))->text(), QStringLiteral("Data file"));
        QCOMPARE(c.principal->tituloColumna(0), QStringLiteral("¿?"));
        QCOMPARE(c.advertencia->windowTitle(), QStringLiteral("¿¿??"));
        QCOMPARE(c.test->windowTitle(), QStringLiteral("¿¿??"));
        QCOMPARE(c.solicitaContra->windowTitle(), QStringLiteral("¿¿??"));
        COMPARA_SI_EXISTE(c.test, "Label1", "¿¿??");
        COMPARA_SI_EXISTE(c.parametros, "Label15", "¿¿??");
        COMPARA_SI_EXISTE(c.solicitaContra, "L_a_que", "¿¿??");
        COMPARA_SI_EXISTE(c.mensajeParametros, "L1", "¿¿??");
    }

    // Accepting a language re-captions every window at once, the port menu's parameters entry
    // included, and the next start finds it in the configuration file.
    void aceptarReCaptionaTodoYGuarda()
    {
        ArranquePrueba p;
        QVERIFY(QFile::copy(ficheroDatos(), p.korvel() + QStringLiteral("/TZR_LANG.ini")));
        p.escribeIni(iniCon("ESPA\xD1OL"));
        p.arranca();
        const Contexto &c = p.m_ctx;
        QMenu *config = p.principal().Configuracin1();
        QCOMPARE(config->actions().last()->text(), QStringLiteral("Parámetros del Sistema"));
        QCOMPARE(texto(c.advertencia, "Label1"), QStringLiteral("ATENCIÓN :"));

        eligeAlAbrir(1);
        p.principal().Idioma1Click();

        QCOMPARE(c.configuracion->IDIOMA(), QStringLiteral("FRANÇAIS"));
        QVERIFY2(p.leeIni().contains(QStringLiteral("IDIOMA=FRANÇAIS")), qPrintable(p.leeIni()));
        QCOMPARE(c.principal->windowTitle(), QStringLiteral("Gestion des utilisateurs"));
        QCOMPARE(p.hijo<QMenu>(QStringLiteral("Archivo1"))->title(), QStringLiteral("&Fichier"));
        QCOMPARE(p.accion(QStringLiteral("ToolSalvar"))->toolTip(), QStringLiteral("Enregistrer sous"));
        QCOMPARE(c.principal->tituloColumna(1), QStringLiteral("Appel"));
        QCOMPARE(config->actions().last()->text(), QStringLiteral("Paramètres du système"));
        QCOMPARE(c.estado->Caption_Parametros(), QStringLiteral("Paramètres du système"));
        QCOMPARE(texto(c.advertencia, "Label1"), QStringLiteral("ATTENTION :"));
        QCOMPARE(texto(c.advertencia3, "Label3"), QStringLiteral("dans le système.    Fichier :"));
        QCOMPARE(c.contrasena->windowTitle(), QStringLiteral("Changer le mot de passe"));
        QCOMPARE(c.contraAplicacion->windowTitle(), QStringLiteral("Mot de passe d'accès aux données"));
        COMPARA_SI_EXISTE(c.mensajeParametros, "L1", "Aucune modification effectuée");
        COMPARA_SI_EXISTE(c.parametros, "Label15", "Paramètres du système");
        QCOMPARE(texto(c.idiomaa, "Label1"), QStringLiteral("Choisissez la langue :"));
        QCOMPARE(c.progreso->mensaje(), QStringLiteral("Transfert :"));
        QCOMPARE(c.solicitaContra->windowTitle(), QStringLiteral("Mot de passe du système"));
        COMPARA_SI_EXISTE(c.test, "Iniciar", "Démarrer");
        QCOMPARE(c.test->windowTitle(), QStringLiteral("Test des platines"));
        // Messages are read when shown, so the next one is French too.
        QCOMPARE(textosDe(c).texto(QStringLiteral("F_SHOW_M13"), QString()),
                 QStringLiteral("Mot de passe incorrect."));

        p.termina();
        p.m_ctx = Contexto();
        p.m_ctx.puerto = &p.m_port;
        p.m_ctx.puertos = &p.m_puertos;
        p.m_ctx.link = &p.m_link;
        p.arranca();
        QCOMPARE(p.m_ctx.principal->windowTitle(), QStringLiteral("Gestion des utilisateurs"));
    }

    // A language the form does not offer: texts from its section where the file has one (here
    // none), the form shows English and accepting stores English.
    void idiomaNoOfrecido()
    {
        ArranquePrueba p;
        QVERIFY(QFile::copy(ficheroDatos(), p.korvel() + QStringLiteral("/TZR_LANG.ini")));
        p.escribeIni(iniCon("DEUTSCH"));
        p.arranca();
        QCOMPARE(p.m_ctx.principal->windowTitle(), QStringLiteral("¿?"));
        int visto = -1;
        onNextModal([&](QWidget *modal) {
            visto = lista(modal)->currentIndex();
            modal->findChild<QPushButton *>(QStringLiteral("Aceptar"))->click();
        });
        p.principal().Idioma1Click();
        QCOMPARE(visto, 2);
        QCOMPARE(p.m_ctx.configuracion->IDIOMA(), QStringLiteral("ENGLISH"));
        QVERIFY(p.leeIni().contains(QStringLiteral("IDIOMA=ENGLISH")));
        QCOMPARE(p.m_ctx.principal->windowTitle(), QStringLiteral("User Management"));
    }

    void idiomaVacio()
    {
        ArranquePrueba p;
        QVERIFY(QFile::copy(ficheroDatos(), p.korvel() + QStringLiteral("/TZR_LANG.ini")));
        p.escribeIni(iniCon(""));
        p.arranca();
        QCOMPARE(p.m_ctx.principal->windowTitle(), QStringLiteral("¿?"));
        QCOMPARE(texto(p.m_ctx.advertencia, "Label1"), QStringLiteral("¿¿??"));
        // The next write makes it English, and the texts read after it follow.
        p.m_ctx.configuracion->Guarda_Configuracion();
        QCOMPARE(textosDe(p.m_ctx).texto(QStringLiteral("SHOW_M3"), QString()), QStringLiteral("Connect"));
    }

    // The Korvel folder is gone: the error is shown, the form stays open and nothing is re-captioned.
    void escrituraFallida()
    {
        ArranquePrueba p;
        QVERIFY(QFile::copy(ficheroDatos(), p.korvel() + QStringLiteral("/TZR_LANG.ini")));
        p.escribeIni(iniCon("ENGLISH"));
        p.arranca();
        QVERIFY(QFile::rename(p.korvel(), p.korvel() + QStringLiteral(".gone")));
        QString error;
        bool abiertoTrasError = false;
        onNextModal([&](QWidget *modal) {
            lista(modal)->setCurrentIndex(0);
            onNextModal(
                [&](QWidget *caja) {
                    error = qobject_cast<QMessageBox *>(caja)->text();
                    qobject_cast<QMessageBox *>(caja)->accept();
                },
                modal);
            modal->findChild<QPushButton *>(QStringLiteral("Aceptar"))->click();
            abiertoTrasError = modal->isVisible();
            modal->close();
        });
        p.principal().Idioma1Click();
        QVERIFY2(error.startsWith(QStringLiteral("Unable to write to ")), qPrintable(error));
        QVERIFY(abiertoTrasError);
        QCOMPARE(p.m_ctx.principal->windowTitle(), QStringLiteral("User Management"));
    }
};

QTEST_MAIN(tst_Tidiomaa)
#include "tst_Tidiomaa.moc"
