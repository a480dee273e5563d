#include "ConexionPrueba.h"
#include "TfrmDebug.h"

#include <QDirIterator>
#include <QPushButton>
#include <QtTest>

#include <grp.h>
#include <memory>
#include <unistd.h>

namespace {

QStringList logsIn(const QString &folder)
{
    QStringList r;
    for (QDirIterator it(folder, {QStringLiteral("Debug*.log")}, QDir::Files); it.hasNext();)
        r << it.next();
    return r;
}

QByteArray contenido(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// Where a transfer's debug log goes: beside the executable in a build tree, in the user's state
// folder for an installed program, whose folder the user cannot write.
class TestDebugLogFolder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Root writes through a folder's mode bits, so as root the test runs as nobody instead,
        // with its own copy of the template: the build tree may lie in a folder nobody cannot read.
        if (::geteuid() != 0)
            return;
        m_plantilla = std::make_unique<QTemporaryDir>();
        const QString datos = m_plantilla->filePath(QStringLiteral("data"));
        QVERIFY(QDir().mkpath(datos));
        const QDir origen(qEnvironmentVariable("TZR_BUILD_DIR") + QStringLiteral("/data"));
        const QStringList familia = origen.entryList({QStringLiteral("Patron.*")}, QDir::Files);
        QVERIFY(!familia.isEmpty());
        QStringList rutas{m_plantilla->path(), datos};
        for (const QString &f : familia) {
            QVERIFY(QFile::copy(origen.filePath(f), datos + QLatin1Char('/') + f));
            rutas << datos + QLatin1Char('/') + f;
        }
        for (const QString &r : rutas)
            QVERIFY(::chown(QFile::encodeName(r).constData(), NOBODY, NOBODY) == 0);
        qputenv("TZR_BUILD_DIR", QFile::encodeName(m_plantilla->path()));
        QVERIFY(::setgroups(0, nullptr) == 0 && ::setgid(NOBODY) == 0 && ::setuid(NOBODY) == 0);
    }

    void receiveSavesItsLog_data()
    {
        QTest::addColumn<bool>("programWritable");
        QTest::newRow("build tree") << true;
        QTest::newRow("installed, read-only program folder") << false;
    }

    void receiveSavesItsLog()
    {
        QFETCH(bool, programWritable);
        ConexionPrueba p;
        const QString programa = p.m_dir.filePath(QStringLiteral("programa"));
        const QString estado = p.m_dir.filePath(QStringLiteral("state"));
        QVERIFY(QDir().mkpath(programa));
        if (!programWritable)
            QVERIFY(QFile::setPermissions(programa, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                        QFile::ExeGroup | QFile::ReadOther |
                                                        QFile::ExeOther));
        qputenv("XDG_STATE_HOME", estado.toUtf8());

        p.arrancaDesbloqueado();
        p.m_ctx.debug->setCarpetaPrograma(programa);
        p.abreFichero();
        p.placa().seedUsers(2);
        QVERIFY(p.conecta(QStringLiteral("73518")));
        onNextModal([](QWidget *w) {
            QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("Aceptar")), Qt::LeftButton);
        });
        p.principal().Recibir_ANTClick();
        QCOMPARE(p.m_ctx.usuarios->Table1().recordCount(), 2);

        const QString korvelEstado = estado + QStringLiteral("/Korvel");
        const QStringList esperados = logsIn(programWritable ? programa : korvelEstado);
        QCOMPARE(esperados.size(), 1);
        QVERIFY(contenido(esperados.first()).contains("Conexion_General: Inicio"));
        QVERIFY(logsIn(programWritable ? korvelEstado : programa).isEmpty());
        QCOMPARE(QFileInfo::exists(korvelEstado), !programWritable);
        qunsetenv("XDG_STATE_HOME");
    }

private:
    static constexpr uid_t NOBODY = 65534;
    std::unique_ptr<QTemporaryDir> m_plantilla;
};

QTEST_MAIN(TestDebugLogFolder)
#include "tst_debuglogfolder.moc"
