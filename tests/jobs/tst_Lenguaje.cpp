#include "Configuracion.h"
#include "FicheroActual.h"
#include "Lenguaje.h"
#include "ProfileFile.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString ficheroDatos()
{
    return qEnvironmentVariable("TZR_SOURCE_DIR") + QStringLiteral("/data/TZR_LANG.ini");
}

void escribe(const QString &ruta, const QByteArray &bytes)
{
    QFile f(ruta);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QSet<QString> enMinusculas(const QStringList &claves)
{
    QSet<QString> r;
    for (const QString &c : claves)
        r.insert(c.toLower());
    return r;
}

} // namespace

class tst_Lenguaje : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_ruta = m_dir.filePath(QStringLiteral("TZR_LANG.ini"));
        escribe(m_ruta, QByteArray("[ENGLISH]\r\nF_Test_label1_Caption=General test\r\n"
                                   "f_test_LABEL2_caption=Panel under test\r\nVacia=\r\n"
                                   "[espa\xF1ol]\r\nF_TEST_LABEL1_CAPTION=Test general\r\n"
                                   "[DEUTSCH]\r\nF_Test_label1_Caption=Allgemeiner Test\r\n"));
    }

    void texto_data()
    {
        QTest::addColumn<QString>("idioma");
        QTest::addColumn<QString>("clave");
        QTest::addColumn<QString>("esperado");
        const QString fb = QStringLiteral("fb");
        QTest::newRow("key as written") << "ENGLISH"
                                        << "F_Test_label1_Caption"
                                        << "General test";
        QTest::newRow("key in other case") << "ENGLISH"
                                           << "F_test_label2_caption"
                                           << "Panel under test";
        QTest::newRow("section in other case") << "ESPAÑOL"
                                               << "F_Test_label1_Caption"
                                               << "Test general";
        QTest::newRow("lower-case idioma") << "english"
                                           << "F_Test_label1_Caption"
                                           << "General test";
        QTest::newRow("language the form does not offer") << "DEUTSCH"
                                                          << "F_Test_label1_Caption"
                                                          << "Allgemeiner Test";
        QTest::newRow("missing key") << "ENGLISH"
                                     << "F_Test_Caption" << fb;
        QTest::newRow("missing section") << "FRANÇAIS"
                                         << "F_Test_label1_Caption" << fb;
        QTest::newRow("empty value") << "ENGLISH"
                                     << "Vacia"
                                     << "";
        QTest::newRow("empty idioma") << ""
                                      << "F_Test_label1_Caption" << fb;
    }
    void texto()
    {
        QFETCH(QString, idioma);
        QFETCH(QString, clave);
        QFETCH(QString, esperado);
        const Lenguaje lenguaje(m_ruta, [&] { return idioma; });
        const QString obtenido = lenguaje.texto(clave, QStringLiteral("fb"));
        QCOMPARE(obtenido, esperado);
        QCOMPARE(obtenido.isNull(), false);
        QCOMPARE(lenguaje.seccion(), idioma);
    }

    void sinFichero()
    {
        const Lenguaje lenguaje(m_dir.filePath(QStringLiteral("no.ini")),
                                [] { return QStringLiteral("ENGLISH"); });
        QCOMPARE(lenguaje.texto(QStringLiteral("HINT_01"), QStringLiteral("PWD")), QStringLiteral("PWD"));
    }

    void idiomaLeidoEnCadaConsulta()
    {
        QString idioma = QStringLiteral("ENGLISH");
        const Lenguaje lenguaje(m_ruta, [&] { return idioma; });
        const QString clave = QStringLiteral("F_Test_label1_Caption");
        QCOMPARE(lenguaje.texto(clave, {}), QStringLiteral("General test"));
        idioma = QStringLiteral("ESPAÑOL");
        QCOMPARE(lenguaje.texto(clave, {}), QStringLiteral("Test general"));
    }

    // An empty IDIOMA shows fall-backs until the next configuration write makes it English.
    void idiomaVacioHastaGuardar()
    {
        QTemporaryDir korvel;
        escribe(korvel.filePath(QStringLiteral("TZR_USR.ini")), "[TZR]\r\nIDIOMA=\r\n");
        FicheroActual fichero;
        Configuracion cfg(fichero, korvel.path());
        cfg.Lee_Configuracion();
        QCOMPARE(cfg.IDIOMA(), QString());
        const Lenguaje lenguaje(m_ruta, [&] { return cfg.IDIOMA(); });
        const QString clave = QStringLiteral("F_Test_label1_Caption");
        QCOMPARE(lenguaje.texto(clave, QStringLiteral("fb")), QStringLiteral("fb"));
        cfg.Guarda_Configuracion();
        QCOMPARE(lenguaje.texto(clave, QStringLiteral("fb")), QStringLiteral("General test"));
    }

    void ficheroDeDatos_seccionesEnWindows1252()
    {
        QFile f(ficheroDatos());
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(ficheroDatos()));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.contains("[ESPA\xD1OL]\r\n"));
        QVERIFY(bytes.contains("[FRAN\xC7"
                               "AIS]\r\n"));
        QVERIFY(bytes.contains("[ENGLISH]\r\n"));
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        const ProfileFile ini(ficheroDatos());
        QCOMPARE(ini.sections(), (QStringList{QStringLiteral("ESPAÑOL"), QStringLiteral("FRANÇAIS"),
                                              QStringLiteral("ENGLISH")}));
    }

    void ficheroDeDatos_mismasClaves()
    {
        const ProfileFile ini(ficheroDatos());
        const QSet<QString> espanol = enMinusculas(ini.keys(QStringLiteral("ESPAÑOL")));
        QVERIFY(!espanol.isEmpty());
        QCOMPARE(enMinusculas(ini.keys(QStringLiteral("FRANÇAIS"))), espanol);
        QCOMPARE(enMinusculas(ini.keys(QStringLiteral("ENGLISH"))), espanol);
    }

    void ficheroDeDatos_ningunaClaveCaeAlFallo()
    {
        const ProfileFile ini(ficheroDatos());
        const QString centinela = QStringLiteral("\x01missing");
        for (const QString &seccion : ini.sections()) {
            const Lenguaje lenguaje(ficheroDatos(), [seccion] { return seccion; });
            for (const QString &clave : ini.keys(seccion)) {
                const QString valor = lenguaje.texto(clave, centinela);
                QVERIFY2(valor != centinela && !valor.isEmpty(), qPrintable(seccion + u' ' + clave));
                QVERIFY2(!valor.contains(u'¿'), qPrintable(seccion + u' ' + clave));
            }
        }
    }

    void ficheroDeDatos_separadoresYMarcadores()
    {
        for (const QString &idioma :
             {QStringLiteral("ESPAÑOL"), QStringLiteral("FRANÇAIS"), QStringLiteral("ENGLISH")}) {
            const Lenguaje lenguaje(ficheroDatos(), [idioma] { return idioma; });
            QCOMPARE(
                lenguaje.texto(QStringLiteral("FormPrincipal_MainMenu1_Items_Items_0_items_2_caption"), {}),
                QStringLiteral("-"));
            QCOMPARE(
                lenguaje.texto(QStringLiteral("FormPrincipal_MainMenu1_Items_Items_0_items_5_caption"), {}),
                QStringLiteral("-"));
            for (const char *clave : {"F_SHOW_M15", "F_SHOW_M17", "F_SHOW_M19"})
                QVERIFY2(lenguaje.texto(QString::fromLatin1(clave), {}).contains(QStringLiteral("%1")),
                         clave);
            QVERIFY(lenguaje.texto(QStringLiteral("FormPrincipal_MainMenu1_Items_Items_0_caption"), {})
                        .startsWith(u'&'));
        }
        const Lenguaje espanol(ficheroDatos(), [] { return QStringLiteral("ESPAÑOL"); });
        QCOMPARE(espanol.texto(QStringLiteral("FormPrincipal_MainMenu1_Items_Items_0_items_3_caption"), {}),
                 QStringLiteral("Cambio de Contraseña"));
    }

private:
    QTemporaryDir m_dir;
    QString m_ruta;
};

QTEST_GUILESS_MAIN(tst_Lenguaje)
#include "tst_Lenguaje.moc"
