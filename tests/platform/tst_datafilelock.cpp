#include "DataFileLock.h"
#include "TableFamily.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestDataFileLock : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void secondHolderIsRefusedAndToldWho();
    void lockFollowsTheFamilyThroughARename();
    void replacedFileIsNotHeld();
    void missingFileIsAnError();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_base;
};

void TestDataFileLock::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_base = m_dir->filePath(QStringLiteral("residentes"));
    TableFamily::create(m_base, TableDescription({{QStringLiteral("N"), 4}}, QStringLiteral("I"), QStringLiteral("N")));
}

void TestDataFileLock::secondHolderIsRefusedAndToldWho()
{
    DataFileLock first;
    QVERIFY(!DataFileLock::holderOf(m_base).has_value());
    first.lock(m_base + QStringLiteral(".db"));
    QVERIFY(first.holds(m_base));

    DataFileLock second;
    try {
        second.lock(m_base);
        QFAIL("a second holder took the lock");
    } catch (const DataFileBusy &busy) {
        QCOMPARE(busy.file(), QStringLiteral("residentes.db"));
        QCOMPARE(busy.holder().pid, QCoreApplication::applicationPid());
        QVERIFY(!busy.holder().program.isEmpty());
        QVERIFY2(busy.message().contains(QString::number(QCoreApplication::applicationPid())),
                 qPrintable(busy.message()));
    }
    QVERIFY(!second.holds(m_base));
    QCOMPARE(DataFileLock::holderOf(m_base).value_or(DataFileLock::Holder{}).pid,
             QCoreApplication::applicationPid());

    first.unlock();
    QVERIFY(!DataFileLock::holderOf(m_base).has_value());
    second.lock(m_base);
    QVERIFY(second.holds(m_base));
}

void TestDataFileLock::lockFollowsTheFamilyThroughARename()
{
    DataFileLock lock;
    lock.lock(m_base);
    const QString moved = m_dir->filePath(QStringLiteral("otro.db"));
    TableFamily::rename(m_base + QStringLiteral(".db"), moved);
    QVERIFY(lock.holds(moved));
    DataFileLock other;
    QVERIFY_THROWS_EXCEPTION(DataFileBusy, other.lock(moved));
}

void TestDataFileLock::replacedFileIsNotHeld()
{
    DataFileLock lock;
    lock.lock(m_base);
    const QString copy = m_dir->filePath(QStringLiteral("copia"));
    TableFamily::create(copy, TableDescription({{QStringLiteral("N"), 4}}, QStringLiteral("I"), QStringLiteral("N")));
    TableFamily::remove(m_base);
    TableFamily::copy(copy, m_base);
    QVERIFY(!lock.holds(m_base));
}

void TestDataFileLock::missingFileIsAnError()
{
    DataFileLock lock;
    QVERIFY_THROWS_EXCEPTION(IoError, lock.lock(m_dir->filePath(QStringLiteral("nadie.db"))));
    QVERIFY(!lock.holds(m_dir->filePath(QStringLiteral("nadie.db"))));
}

QTEST_GUILESS_MAIN(TestDataFileLock)
#include "tst_datafilelock.moc"
