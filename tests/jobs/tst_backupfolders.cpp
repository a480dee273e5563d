#include "BackupFolders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The dated run folders of a backup over several boards: where a run saves, and which runs stay.
class TestBackupFolders : public QObject
{
    Q_OBJECT

private slots:
    void makeNamesTheRunFolder_data()
    {
        QTest::addColumn<int>("keep");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no keep: the root itself") << 0 << QString();
        QTest::newRow("keep: a dated folder inside") << 3 << QStringLiteral("2026-12-10T03-04-05");
    }
    void makeNamesTheRunFolder()
    {
        QFETCH(int, keep);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString root = dir.filePath(QStringLiteral("backups"));
        const BackupFolders::RunFolder folder =
            BackupFolders::make(root, QDateTime(QDate(2026, 12, 10), QTime(3, 4, 5)), keep);
        QVERIFY(folder.made);
        QCOMPARE(folder.path, expected.isEmpty() ? root : QDir(root).filePath(expected));
        QVERIFY(QFileInfo(folder.path).isDir());
        // The images in it hold the boards' codes in clear.
        QCOMPARE(QFileInfo(folder.path).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther),
                 QFile::Permissions());
    }

    void makeFailsWhereNoFolderCanBe()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!BackupFolders::make(blocker.fileName(), QDateTime::currentDateTime(), 0).made);
    }

    // Runs are named by their time, so the oldest sort first; other folders are never touched.
    void rotateKeepsTheLastRuns_data()
    {
        QTest::addColumn<int>("keep");
        QTest::addColumn<int>("saved");
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<QStringList>("left");
        const QStringList all{"2026-01-01T00-00-00", "2026-01-02T00-00-00", "2026-01-03T00-00-00", "notes",
                              "this-run"};
        QTest::newRow("two kept") << 2 << 1 << QStringList{"2026-01-01T00-00-00"}
                                  << QStringList{"2026-01-02T00-00-00", "2026-01-03T00-00-00", "notes", "this-run"};
        QTest::newRow("one kept") << 1 << 4 << QStringList{"2026-01-01T00-00-00", "2026-01-02T00-00-00"}
                                  << QStringList{"2026-01-03T00-00-00", "notes", "this-run"};
        QTest::newRow("fewer runs than keep") << 5 << 1 << QStringList() << all;
        QTest::newRow("no keep: nothing goes") << 0 << 0 << QStringList() << all;
        // A night of dead boards keeps the last good backups and leaves no empty run among them.
        QTest::newRow("nothing saved") << 1 << 0 << QStringList()
                                       << QStringList{"2026-01-01T00-00-00", "2026-01-02T00-00-00",
                                                      "2026-01-03T00-00-00", "notes"};
    }
    void rotateKeepsTheLastRuns()
    {
        QFETCH(int, keep);
        QFETCH(int, saved);
        QFETCH(QStringList, removed);
        QFETCH(QStringList, left);
        QTemporaryDir dir;
        QDir root(dir.path());
        for (const char *name : {"2026-01-02T00-00-00", "2026-01-01T00-00-00", "2026-01-03T00-00-00", "notes",
                                    "this-run"})
            QVERIFY(root.mkdir(QString::fromLatin1(name)));
        QFile image(root.filePath(QStringLiteral("2026-01-01T00-00-00/board-1.img")));
        QVERIFY(image.open(QIODevice::WriteOnly));
        image.close();

        const QList<BackupFolders::Removal> removals =
            BackupFolders::rotate(root.path(), root.filePath(QStringLiteral("this-run")), keep, saved);
        QStringList tried;
        for (const BackupFolders::Removal &r : removals) {
            QVERIFY(r.removed);
            tried << QFileInfo(r.path).fileName();
        }
        QCOMPARE(tried, removed);
        QCOMPARE(root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name), left);
    }
};

QTEST_GUILESS_MAIN(TestBackupFolders)
#include "tst_backupfolders.moc"
