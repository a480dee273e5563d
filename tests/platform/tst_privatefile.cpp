#include "FileData.h"
#include "PrivateFile.h"
#include "ProfileFile.h"
#include "TableFamily.h"
#include "TzrError.h"
#include "XlsWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <sys/stat.h>

namespace {

mode_t modeOf(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 07777;
    return st.st_mode & 07777;
}

// Runs write with the widest umask, so only the code's own choice of mode counts.
void withOpenUmask(const std::function<void()> &write)
{
    const mode_t mask = ::umask(0);
    try {
        write();
    } catch (...) {
        ::umask(mask);
        throw;
    }
    ::umask(mask);
}

TableDescription people()
{
    return TableDescription({{QStringLiteral("NAME"), 8}, {QStringLiteral("CODE"), 4}},
                            QStringLiteral("I_NAME"), QStringLiteral("NAME"));
}

using Writer = std::function<void(const QString &path)>;

} // namespace

Q_DECLARE_METATYPE(Writer)

class TestPrivateFile : public QObject
{
    Q_OBJECT

private slots:
    void newFilesAreOwnerOnly_data();
    void newFilesAreOwnerOnly();
    void existingFileKeepsItsMode_data();
    void existingFileKeepsItsMode();
    void boardImageModeIsForced();
    void dataFileMembersAreOwnerOnly();
    void replacedDataFileKeepsItsMode();
    void foldersMadeAreOwnerOnly();
    void readsAreCapped_data();
    void readsAreCapped();
};

void TestPrivateFile::newFilesAreOwnerOnly_data()
{
    QTest::addColumn<Writer>("writer");
    QTest::newRow("file data (csv export, report)")
        << Writer([](const QString &p) { FileData::write(p, "a,b\n"); });
    QTest::newRow("workbook export")
        << Writer([](const QString &p) { XlsWriter::write(p, {{QStringLiteral("A"), QStringLiteral("1")}}); });
    QTest::newRow("profile file")
        << Writer([](const QString &p) { ProfileFile(p).writeString(QStringLiteral("TZR"), QStringLiteral("PWD"), QStringLiteral("x")); });
    QTest::newRow("private write")
        << Writer([](const QString &p) { PrivateFile::write(p, "x", PrivateFile::Existing::KeepMode); });
}

void TestPrivateFile::newFilesAreOwnerOnly()
{
    QFETCH(Writer, writer);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.file"));
    withOpenUmask([&] { writer(path); });
    QVERIFY(QFileInfo(path).size() > 0);
    QCOMPARE(modeOf(path), mode_t(0600));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("out.file")});
}

void TestPrivateFile::existingFileKeepsItsMode_data()
{
    newFilesAreOwnerOnly_data();
}

void TestPrivateFile::existingFileKeepsItsMode()
{
    QFETCH(Writer, writer);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.file"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old\n");
    old.close();
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
    withOpenUmask([&] { writer(path); });
    QCOMPARE(modeOf(path), mode_t(0640));
    QFile now(path);
    QVERIFY(now.open(QIODevice::ReadOnly));
    QVERIFY(now.readAll() != "old\n");
}

void TestPrivateFile::boardImageModeIsForced()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("board.tzrimg"));
    PrivateFile::write(path, "old");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
    withOpenUmask([&] { PrivateFile::write(path, "new"); });
    QCOMPARE(modeOf(path), mode_t(0600));
}

void TestPrivateFile::dataFileMembersAreOwnerOnly()
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("Patron"));
    const QString copy = dir.filePath(QStringLiteral("users"));
    withOpenUmask([&] {
        TableFamily::create(base, people());
        TableFamily::copy(base, copy);
    });
    for (const QString &member : TableFamily::members(base) + TableFamily::members(copy))
        QCOMPARE(modeOf(member), mode_t(0600));
}

void TestPrivateFile::replacedDataFileKeepsItsMode()
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("Patron"));
    const QString copy = dir.filePath(QStringLiteral("users"));
    TableFamily::create(base, people());
    TableFamily::copy(base, copy);
    for (const QString &member : TableFamily::members(copy))
        QVERIFY(::chmod(QFile::encodeName(member).constData(), 0640) == 0);
    withOpenUmask([&] { TableFamily::copy(base, copy); });
    for (const QString &member : TableFamily::members(copy))
        QCOMPARE(modeOf(member), mode_t(0640));
}

void TestPrivateFile::foldersMadeAreOwnerOnly()
{
    QTemporaryDir dir;
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    const QString folder = dir.filePath(QStringLiteral("a/b"));
    withOpenUmask([&] { PrivateFile::makeFolder(folder); });
    QCOMPARE(modeOf(dir.filePath(QStringLiteral("a"))), mode_t(0700));
    QCOMPARE(modeOf(folder), mode_t(0700));
    // One that was there is left as it was.
    QCOMPARE(modeOf(dir.path()), mode_t(0755));
}

void TestPrivateFile::readsAreCapped_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("tooLarge");
    QTest::newRow("endless device") << QStringLiteral("/dev/zero") << true;
    QTest::newRow("large file") << QStringLiteral("large") << true;
    QTest::newRow("file at the cap") << QStringLiteral("small") << false;
}

void TestPrivateFile::readsAreCapped()
{
    QFETCH(QString, path);
    QFETCH(bool, tooLarge);
    constexpr qint64 cap = 64 * 1024;
    QTemporaryDir dir;
    if (!path.startsWith(QLatin1Char('/'))) {
        path = dir.filePath(path);
        PrivateFile::write(path, QByteArray(path.endsWith(QLatin1String("large")) ? cap + 1 : cap, 'x'));
    }
    if (tooLarge) {
        try {
            FileData::read(path, cap);
            QFAIL("a file over the cap was read");
        } catch (const FileTooLarge &e) {
            QCOMPARE(e.path(), path);
            QCOMPARE(e.limit(), cap);
        }
        QVERIFY_THROWS_EXCEPTION(IoError, PrivateFile::read(path, cap));
    } else {
        QCOMPARE(FileData::read(path, cap).size(), cap);
        QCOMPARE(PrivateFile::read(path, cap).size(), cap);
    }
}

QTEST_GUILESS_MAIN(TestPrivateFile)
#include "tst_privatefile.moc"
