#include "SyncImageStore.h"
#include "Table.h"
#include "TableFamily.h"
#include "TzrError.h"
#include "UsersTable.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

SyncImage sampleImage(int placa, int users)
{
    SyncImage image;
    image.placa = placa;
    image.momento = QDateTime(QDate(2026, 12, 8), QTime(10, 40, 1, 250), Qt::UTC);
    for (int i = 0; i < users; ++i) {
        RegistroPlaca r{};
        for (int k = 0; k < TAM_REGISTRO; ++k)
            r[k] = (i * 7 + k) & 0xFF;
        r[OFS_CODIGO] = 0x30 + i % 10;
        image.area.setRecord(i * 2, r);
    }
    return image;
}

} // namespace

// The images live inside the data file's database member: they must travel with the family and
// never stop it from opening.
class TestSyncImageStore : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_base = m_dir.filePath(QStringLiteral("f%1").arg(++m_n));
        TableFamily::create(m_base, UsersTable::descripcion());
    }

    // A file made from the template holds no image; forgetting a board it holds none of changes
    // nothing, also for the board it does hold one of; and the list of boards follows.
    void aNewFileHasNone()
    {
        SyncImageStore store(m_dir.path(), fileName());
        for (int board = 0; board < 32; ++board)
            QVERIFY(!store.load(board));
        QVERIFY(store.boards().isEmpty());
        store.save(sampleImage(2, 3));
        store.forget(1);
        QVERIFY(!store.load(1));
        QVERIFY(store.load(2));
        QCOMPARE(store.load(2)->area, sampleImage(2, 3).area);
        QCOMPARE(store.boards(), QList<int>{2});
        store.forget(2);
        QVERIFY(!store.load(2));
        QVERIFY(store.boards().isEmpty());
    }

    void imagesAreKeptPerBoardAndReplaced()
    {
        {
            SyncImageStore store(m_dir.path(), fileName());
            store.save(sampleImage(1, 3));
            store.save(sampleImage(4, 0));
            store.save(sampleImage(1, 5));
        }
        SyncImageStore store(m_dir.path(), fileName());
        const std::optional<SyncImage> one = store.load(1);
        QVERIFY(one);
        QCOMPARE(one->area, sampleImage(1, 5).area);
        QCOMPARE(one->momento, sampleImage(1, 5).momento);
        QVERIFY(store.load(4));
        QCOMPARE(store.load(4)->area.users(), 0);
        QVERIFY(!store.load(2));
        store.forget(1);
        QVERIFY(!store.load(1));
        QVERIFY(store.load(4));
    }

    void theFamilyStillOpensAndTravelsWithCopiesAndRenames()
    {
        {
            Table t;
            t.setDirectory(m_dir.path() + QLatin1Char('/'));
            t.setTableName(fileName());
            t.open();
            QVERIFY(t.append());
            t.setValue(QStringLiteral("NOMBRE"), QStringLiteral("ANA"));
            t.setValue(QStringLiteral("CALL"), QStringLiteral("0001"));
            t.setValue(QStringLiteral("TZR"), QStringLiteral("001"));
            QVERIFY(t.post());
        }
        SyncImageStore(m_dir.path(), fileName()).save(sampleImage(3, 2));
        // Every member is still checked and accepted, rows included.
        Table t;
        t.setDirectory(m_dir.path() + QLatin1Char('/'));
        t.setTableName(fileName());
        t.open();
        QCOMPARE(t.recordCount(), 1);
        t.close();

        const QString copy = m_dir.filePath(QStringLiteral("copy"));
        TableFamily::copy(m_base, copy);
        QCOMPARE(SyncImageStore(m_dir.path(), QStringLiteral("copy.db")).load(3)->area,
                 sampleImage(3, 2).area);
        const QString moved = m_dir.filePath(QStringLiteral("moved.db"));
        TableFamily::rename(copy + QStringLiteral(".db"), moved);
        QCOMPARE(SyncImageStore(m_dir.path(), QStringLiteral("moved.db")).load(3)->area,
                 sampleImage(3, 2).area);
    }

    void aDamagedRecordCountsAsNone_data()
    {
        QTest::addColumn<int>("cut");
        QTest::newRow("header only") << 20;
        QTest::newRow("one byte short") << -1;
    }

    void aDamagedRecordCountsAsNone()
    {
        QFETCH(int, cut);
        QByteArray bytes = sampleImage(1, 2).toBytes();
        bytes = cut > 0 ? bytes.left(cut) : bytes.chopped(1);
        QVERIFY(!SyncImage::fromBytes(bytes));
    }

private:
    QString fileName() const { return QStringLiteral("f%1.db").arg(m_n); }

    QTemporaryDir m_dir;
    QString m_base;
    int m_n = 0;
};

QTEST_GUILESS_MAIN(TestSyncImageStore)
#include "tst_syncimagestore.moc"
