#include "Configuracion.h"
#include "FicheroActual.h"
#include "TzrError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_Configuracion : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
        qputenv("XDG_DATA_HOME", m_dir->path().toUtf8());
        qputenv("HOME", m_dir->filePath(QStringLiteral("home")).toUtf8());
        m_korvel = m_dir->filePath(QStringLiteral("Korvel"));
        QVERIFY(QDir().mkpath(m_korvel));
    }

    void carpetaEspecialFollowsXdg()
    {
        QCOMPARE(Configuracion::Carpeta_Especial(Configuracion::CSIDL_LOCAL_APPDATA), m_dir->path());
    }

    void missingFileGivesDefaults()
    {
        FicheroActual fichero;
        Configuracion cfg(fichero, m_korvel);
        cfg.Lee_Configuracion();
        QCOMPARE(cfg.ComPort(), QStringLiteral("1"));
        QCOMPARE(fichero.Directorio_Trabajo(), m_dir->filePath(QStringLiteral("home/KORVEL")));
        QCOMPARE(cfg.PWD(), QStringLiteral("TRUBO"));
        QCOMPARE(cfg.IDIOMA(), QStringLiteral("ENGLISH"));
        QVERIFY(!QFile::exists(cfg.fichero()));
    }

    void emptyValueIsNotMissing()
    {
        escribe("[tzr]\ncomport=\nTZR_Senda=/data/users\nPWD=\n");
        FicheroActual fichero;
        Configuracion cfg(fichero, m_korvel);
        cfg.Lee_Configuracion();
        QCOMPARE(cfg.ComPort(), QString());
        QCOMPARE(fichero.Directorio_Trabajo(), QStringLiteral("/data/users"));
        QCOMPARE(cfg.PWD(), QString());
        QCOMPARE(cfg.IDIOMA(), QStringLiteral("ENGLISH"));
    }

    void writesAllKeysInOrderKeepingTheRest()
    {
        escribe("[Other]\nx=1\n");
        FicheroActual fichero;
        fichero.setDirectorio_Trabajo(QStringLiteral("/data/users/"));
        Configuracion cfg(fichero, m_korvel);
        cfg.setComPort(QStringLiteral("12"));
        cfg.setPWD(QStringLiteral("secret"));
        cfg.setIDIOMA(QString());
        cfg.Guarda_Configuracion();

        QCOMPARE(cfg.IDIOMA(), QStringLiteral("ENGLISH"));
        const QString texto = lee();
        QVERIFY2(texto.startsWith(QStringLiteral("[Other]\nx=1\n")), qPrintable(texto));
        const qsizetype a = texto.indexOf(QStringLiteral("ComPort=12"));
        const qsizetype b = texto.indexOf(QStringLiteral("TZR_Senda=/data/users/"));
        const qsizetype c = texto.indexOf(QStringLiteral("PWD=secret"));
        const qsizetype d = texto.indexOf(QStringLiteral("IDIOMA=ENGLISH"));
        QVERIFY2(a > 0 && a < b && b < c && c < d, qPrintable(texto));

        FicheroActual otro;
        Configuracion releida(otro, m_korvel);
        releida.Lee_Configuracion();
        QCOMPARE(releida.ComPort(), QStringLiteral("12"));
        QCOMPARE(otro.Directorio_Trabajo(), QStringLiteral("/data/users/"));
        QCOMPARE(releida.PWD(), QStringLiteral("secret"));
    }

    void missingFolderRaisesUnableToWrite()
    {
        FicheroActual fichero;
        const QString ausente = m_dir->filePath(QStringLiteral("nowhere/Korvel"));
        Configuracion cfg(fichero, ausente);
        cfg.Lee_Configuracion();
        try {
            cfg.Guarda_Configuracion();
            QFAIL("no error raised");
        } catch (const TzrError &e) {
            QCOMPARE(e.message(),
                     QStringLiteral("Unable to write to %1").arg(ausente + QStringLiteral("/TZR_USR.ini")));
        }
        QVERIFY(!QDir(ausente).exists());
    }

private:
    void escribe(const QByteArray &contenido)
    {
        QFile f(m_korvel + QStringLiteral("/TZR_USR.ini"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contenido);
    }
    QString lee() const
    {
        QFile f(m_korvel + QStringLiteral("/TZR_USR.ini"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(f.readAll()).remove(QLatin1Char('\r'));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_korvel;
};

QTEST_GUILESS_MAIN(tst_Configuracion)
#include "tst_configuracion.moc"
