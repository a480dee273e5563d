#include "Clock.h"
#include "Contexto.h"
#include "TfrmDebug.h"
#include "TzrError.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {
class FixedClock : public Clock
{
public:
    QDateTime now() const override { return m_now; }
    QDateTime m_now;
};

QByteArray contenido(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

class tst_Debug : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
        qputenv("XDG_DATA_HOME", m_dir->path().toUtf8());
        m_debug.reset(new TfrmDebug(m_ctx));
        m_debug->setClock(&m_clock);
        m_debug->setCarpetaLog(m_dir->path());
        m_clock.m_now = QDateTime(QDate(2026, 12, 7), QTime(1, 5, 9));
    }

    void window()
    {
        QCOMPARE(m_debug->windowTitle(), QStringLiteral("Debug"));
        QCOMPARE(m_debug->size(), QSize(675, 393));
        QCOMPARE(m_debug->findChild<QPushButton *>(QStringLiteral("btnClear"))->text(),
                 QStringLiteral("Limpiar"));
        QCOMPARE(m_debug->findChild<QPushButton *>(QStringLiteral("btnSave"))->text(),
                 QStringLiteral("Guardar"));
        QCOMPARE(m_debug->findChild<QPushButton *>(QStringLiteral("btnClose"))->text(),
                 QStringLiteral("Cerrar"));
        QVERIFY(m_debug->findChild<QPlainTextEdit *>(QStringLiteral("memDebug"))->isReadOnly());
        QCOMPARE(m_debug->texto(), QString());
    }

    void linesAndMarks()
    {
        const QString sello =
            Clock::shortDate(QDate(2026, 12, 7)) + QLatin1Char(' ') + Clock::longTime(QTime(1, 5, 9));
        m_debug->printDebug(QStringLiteral("Conexion_General: Inicio"));
        m_debug->appendMark(QStringLiteral("."));
        m_debug->appendMark(QStringLiteral("F1R"));
        m_debug->printDebug(QStringLiteral("fin"));
        QCOMPARE(m_debug->texto(),
                 QStringLiteral("\r\n[%1] Conexion_General: Inicio.F1R\r\n[%1] fin").arg(sello));
    }

    void midnightLeavesTheTimeOut()
    {
        m_clock.m_now = QDateTime(QDate(2026, 12, 7), QTime(0, 0));
        m_debug->printDebug(QStringLiteral("x"));
        QCOMPARE(m_debug->texto(), QStringLiteral("\r\n[%1] x").arg(Clock::shortDate(QDate(2026, 12, 7))));
        m_clock.m_now = QDateTime(QDate(2026, 12, 7), QTime(0, 0, 0, 1));
        QVERIFY(TfrmDebug::sello(m_clock.m_now).contains(QLatin1Char(' ')));
    }

    void fileName_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("name");
        QTest::newRow("short parts") << QDateTime(QDate(2026, 12, 7), QTime(1, 5, 9))
                                     << "Debug7122026_159.log";
        QTest::newRow("long parts") << QDateTime(QDate(2027, 10, 31), QTime(23, 59, 58))
                                    << "Debug31102027_235958.log";
        QTest::newRow("midnight") << QDateTime(QDate(2026, 1, 1), QTime(0, 0)) << "Debug112026_000.log";
    }

    void fileName()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, name);
        QCOMPARE(TfrmDebug::nombreFichero(when), name);
    }

    void emptyLogSavesOneLineBreak()
    {
        const QString path = m_debug->btnSaveClick();
        QCOMPARE(path, QDir(m_dir->path()).filePath(QStringLiteral("Debug7122026_159.log")));
        QCOMPARE(contenido(path), QByteArray("\r\n"));
    }

    void saveReplacesTheFileOfTheSameSecond()
    {
        m_debug->printDebug(QStringLiteral("primero"));
        const QString path = m_debug->btnSaveClick();
        m_debug->btnClearClick();
        m_debug->appendMark(QStringLiteral("X"));
        QCOMPARE(m_debug->btnSaveClick(), path);
        QCOMPARE(contenido(path), QByteArray("X\r\n"));
    }

    void saveFailureRaisesAndKeepsTheLog()
    {
        m_debug->setCarpetaLog(m_dir->filePath(QStringLiteral("missing")));
        m_debug->printDebug(QStringLiteral("kept"));
        QVERIFY_THROWS_EXCEPTION(IoError, m_debug->btnSaveClick());
        QVERIFY(m_debug->texto().endsWith(QStringLiteral("] kept")));
    }

    void defaultFolderIsTheExecutables()
    {
        m_debug->setCarpetaLog(QString());
        QCOMPARE(m_debug->carpetaLog(), QCoreApplication::applicationDirPath());
    }

    void viewCatchesUpWhenShown()
    {
        auto *memo = m_debug->findChild<QPlainTextEdit *>(QStringLiteral("memDebug"));
        m_debug->printDebug(QStringLiteral("antes"));
        for (int i = 0; i < 20000; ++i)
            m_debug->appendMark(QStringLiteral("."));
        QCOMPARE(memo->toPlainText(), QString());
        m_debug->show();
        QVERIFY(memo->toPlainText().endsWith(QStringLiteral("] antes") + QString(20000, QLatin1Char('.'))));
        QVERIFY(memo->toPlainText().startsWith(QLatin1Char('\n')));
        m_debug->printDebug(QStringLiteral("despues"));
        QTRY_VERIFY(memo->toPlainText().endsWith(QStringLiteral("] despues")));
        m_debug->findChild<QPushButton *>(QStringLiteral("btnClear"))->click();
        QCOMPARE(memo->toPlainText(), QString());
        QCOMPARE(m_debug->texto(), QString());
        m_debug->findChild<QPushButton *>(QStringLiteral("btnClose"))->click();
        QVERIFY(!m_debug->isVisible());
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    Contexto m_ctx;
    FixedClock m_clock;
    std::unique_ptr<TfrmDebug> m_debug;
};

QTEST_MAIN(tst_Debug)
#include "tst_debug.moc"
