#include "Table.h"
#include "TableCursor.h"
#include "TableFamily.h"
#include "TzrError.h"
#include "Unprivileged.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>
#include <unistd.h>

namespace {

TableDescription people()
{
    return TableDescription({{QStringLiteral("NAME"), 8}, {QStringLiteral("CODE"), 4}},
                            QStringLiteral("I_NAME"), QStringLiteral("NAME"));
}

// Every file of a folder with its bytes and modification time, to prove nothing was written.
QMap<QString, QPair<QByteArray, QDateTime>> snapshot(const QString &folder)
{
    QMap<QString, QPair<QByteArray, QDateTime>> files;
    const QDir dir(folder);
    for (const QFileInfo &info : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        QFile f(info.filePath());
        f.open(QIODevice::ReadOnly);
        files.insert(info.fileName(), {f.readAll(), info.lastModified()});
    }
    return files;
}

QStringList fileNames(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

void addRow(const QString &base, const QString &name)
{
    TableCursor cursor;
    cursor.open(QFileInfo(base).path(), QFileInfo(base).fileName() + QStringLiteral(".db"));
    cursor.insert();
    cursor.setValue(QStringLiteral("NAME"), name);
    cursor.post();
}

QStringList names(const QString &path)
{
    Table table;
    table.setDirectory(QFileInfo(path).path());
    table.setTableName(QFileInfo(path).fileName());
    table.open();
    QStringList list;
    for (int r = 0; r < table.rowCount(); ++r)
        list << table.value(r, QStringLiteral("NAME"));
    return list;
}

void openFails(const QString &path, const QString &expectedMember, const QString &expectedText)
{
    Table table;
    table.setDirectory(QFileInfo(path).path() + QLatin1Char('/'));
    table.setTableName(QFileInfo(path).fileName());
    try {
        table.open();
        QFAIL("the family opened");
    } catch (const TzrError &e) {
        QVERIFY2(e.message().contains(expectedMember), qPrintable(e.message()));
        QVERIFY2(e.message().contains(expectedText), qPrintable(e.message()));
    }
    QVERIFY(!table.isOpen());
}

} // namespace

class TestTableFamily : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void createWritesFiveMembersWithOneIdentity();
    void createRefusesAnExistingFamily();
    void byteCopyOpensWithTheSameRows();
    void openRefusesAMissingMember_data();
    void openRefusesAMissingMember();
    void openRefusesAMemberOfAnotherFamily_data();
    void openRefusesAMemberOfAnotherFamily();
    void openRefusesADamagedMember_data();
    void openRefusesADamagedMember();
    void openRefusesAnUnreadableMember();
    void closedFamilyIsExactlyFiveFiles();
    void renameMovesTheWholeFamily();
    void renameRefusesWithoutMovingAnything_data();
    void renameRefusesWithoutMovingAnything();
    void copyReplacesAnExistingFamily();
    void failedCopyChangesNothing_data();
    void failedCopyChangesNothing();
    void copyIntoReadOnlyFolderChangesNothing();
    void foreignObjectsAreRefusedUntouched_data();
    void foreignObjectsAreRefusedUntouched();
    void recoverySettlesACutShortSetOnce_data();
    void recoverySettlesACutShortSetOnce();

private:
    QTemporaryDir m_home;
};

void TestTableFamily::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
}

void TestTableFamily::createWritesFiveMembersWithOneIdentity()
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("people"));
    TableFamily::create(base, people());
    QCOMPARE(fileNames(dir.path()),
             QStringList({"people.XG0", "people.YG0", "people.db", "people.px", "people.val"}));
    QStringList ids;
    for (const QString &ext : TableFamily::extensions().mid(1)) {
        QFile f(base + ext);
        QVERIFY(f.open(QIODevice::ReadOnly));
        for (const QByteArray &line : f.readAll().split('\n')) {
            if (line.startsWith("family\t"))
                ids << QString::fromLatin1(line.mid(7));
        }
    }
    QCOMPARE(ids.size(), 4);
    QCOMPARE(ids.count(ids.first()), 4);
    QCOMPARE(ids.first().size(), 32);
    const TableDescription read = TableFamily::readDescription(base, ids.first());
    QCOMPARE(read.familyId(), ids.first());
    // A database with another identity is outvoted by the four members, which agree.
    QVERIFY_THROWS_EXCEPTION(TzrError, TableFamily::readDescription(base, QStringLiteral("other")));
    TableDescription expected = people();
    expected.setFamilyId(read.familyId());
    QVERIFY(read == expected);
}

void TestTableFamily::createRefusesAnExistingFamily()
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("people"));
    TableFamily::create(base, people());
    addRow(base, QStringLiteral("ANA"));
    const auto before = snapshot(dir.path());
    QVERIFY_THROWS_EXCEPTION(TzrError, TableFamily::create(base, people()));
    QCOMPARE(snapshot(dir.path()), before);
}

void TestTableFamily::byteCopyOpensWithTheSameRows()
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("people"));
    TableFamily::create(base, people());
    addRow(base, QStringLiteral("ANA"));
    for (const QString &ext : TableFamily::extensions())
        QVERIFY(QFile::copy(base + ext, dir.filePath(QStringLiteral("copy")) + ext));
    QCOMPARE(names(dir.filePath(QStringLiteral("copy.db"))), QStringList{QStringLiteral("ANA")});
}

void TestTableFamily::openRefusesAMissingMember_data()
{
    QTest::addColumn<QString>("extension");
    for (const QString &ext : TableFamily::extensions())
        QTest::newRow(qPrintable(ext)) << ext;
}

void TestTableFamily::openRefusesAMissingMember()
{
    QFETCH(QString, extension);
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("people"));
    TableFamily::create(base, people());
    addRow(base, QStringLiteral("ANA"));
    QVERIFY(QFile::remove(base + extension));
    const auto before = snapshot(dir.path());
    openFails(base + QStringLiteral(".db"), base + extension, QStringLiteral("missing"));
    QCOMPARE(snapshot(dir.path()), before);
}

void TestTableFamily::openRefusesAMemberOfAnotherFamily_data()
{
    openRefusesAMissingMember_data();
}

void TestTableFamily::openRefusesAMemberOfAnotherFamily()
{
    QFETCH(QString, extension);
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("people"));
    const QString other = dir.filePath(QStringLiteral("other"));
    TableFamily::create(base, people());
    TableFamily::create(other, people());
    addRow(base, QStringLiteral("ANA"));
    QVERIFY(QFile::remove(base + extension));
    QVERIFY(QFile::copy(other + extension, base + extension));
    const auto before = snapshot(dir.path());
    openFails(base + QStringLiteral(".db"), base + extension, QStringLiteral("another data file"));
    QCOMPARE(snapshot(dir.path()), before);
}

void TestTableFamily::openRefusesADamagedMember_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("damage");
    for (const QString &ext : TableFamily::extensions()) {
        QTest::newRow(qPrintable(ext + QStringLiteral(" flipped byte"))) << ext << "flip";
        QTest::newRow(qPrintable(ext + QStringLiteral(" truncated"))) << ext << "truncate";
        QTest::newRow(qPrintable(ext + QStringLiteral(" empty"))) << ext << "empty";
    }
}

void TestTableFamily::openRefusesADamagedMember()
{
    QFETCH(QString, extension);
    QFETCH(QString, damage);
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("people"));
    TableFamily::create(base, people());
    addRow(base, QStringLiteral("ANA"));
    QFile file(base + extension);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    if (damage == QLatin1String("flip")) {
        // In the database, the header's magic text; elsewhere a byte of the description.
        const qsizetype at = extension == QLatin1String(".db") ? 3 : bytes.size() / 3;
        bytes[at] = static_cast<char>(bytes.at(at) ^ 0x20);
    } else if (damage == QLatin1String("truncate")) {
        bytes.truncate(extension == QLatin1String(".db") ? 1024 : bytes.size() - 10);
    } else {
        bytes.clear();
    }
    file.resize(0);
    file.seek(0);
    file.write(bytes);
    file.close();
    const auto before = snapshot(dir.path());
    openFails(base + QStringLiteral(".db"), base + extension, QStringLiteral("damaged"));
    QCOMPARE(snapshot(dir.path()), before);
}

void TestTableFamily::openRefusesAnUnreadableMember()
{
    // Permissions do not bind the superuser: as root (CI) the body runs as user nobody.
    const bool passed = asUnprivilegedUser(QStringList{}, [&] {
        QTemporaryDir dir;
        const QString base = dir.filePath(QStringLiteral("people"));
        TableFamily::create(base, people());
        QVERIFY(QFile::setPermissions(base + QStringLiteral(".val"), QFileDevice::WriteOwner));
        openFails(base + QStringLiteral(".db"), base + QStringLiteral(".val"), QStringLiteral("cannot be read"));
    });
    QVERIFY2(passed, "failed as an unprivileged user (see above)");
}

void TestTableFamily::closedFamilyIsExactlyFiveFiles()
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("people"));
    TableFamily::create(base, people());
    {
        Table table;
        table.setDirectory(dir.path());
        table.setTableName(QStringLiteral("people.db"));
        table.open();
        for (int i = 0; i < 5; ++i) {
            QVERIFY(table.append());
            table.setValue(QStringLiteral("NAME"), QStringLiteral("N%1").arg(i));
            QVERIFY(table.post());
        }
        QVERIFY(table.deleteCurrent());
        // Between changes the family is five files too: nothing is pending.
        QCOMPARE(fileNames(dir.path()).size(), 5);
    }
    QCOMPARE(fileNames(dir.path()),
             QStringList({"people.XG0", "people.YG0", "people.db", "people.px", "people.val"}));
}

void TestTableFamily::renameMovesTheWholeFamily()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("elsewhere")));
    const QString base = dir.filePath(QStringLiteral("people"));
    TableFamily::create(base, people());
    addRow(base, QStringLiteral("ANA"));
    const QString target = dir.filePath(QStringLiteral("elsewhere/renamed.db"));
    TableFamily::rename(base + QStringLiteral(".db"), target);
    QVERIFY(!TableFamily::exists(base));
    QCOMPARE(fileNames(dir.filePath(QStringLiteral("elsewhere"))).size(), 5);
    QCOMPARE(names(target), QStringList{QStringLiteral("ANA")});
}

void TestTableFamily::renameRefusesWithoutMovingAnything_data()
{
    QTest::addColumn<QString>("problem");
    QTest::newRow("source member missing") << "missing";
    QTest::newRow("destination member exists") << "occupied";
    QTest::newRow("destination folder missing") << "nofolder";
    QTest::newRow("destination folder is a file") << "file";
}

void TestTableFamily::renameRefusesWithoutMovingAnything()
{
    QFETCH(QString, problem);
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("people"));
    TableFamily::create(base, people());
    QString target = dir.filePath(QStringLiteral("renamed.db"));
    if (problem == QLatin1String("missing")) {
        QVERIFY(QFile::remove(base + QStringLiteral(".YG0")));
    } else if (problem == QLatin1String("occupied")) {
        QFile stray(dir.filePath(QStringLiteral("renamed.YG0")));
        QVERIFY(stray.open(QIODevice::WriteOnly));
    } else if (problem == QLatin1String("nofolder")) {
        target = dir.filePath(QStringLiteral("missing/renamed.db"));
    } else {
        QFile plain(dir.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        target = dir.filePath(QStringLiteral("plain/renamed.db"));
    }
    const auto before = snapshot(dir.path());
    QVERIFY_THROWS_EXCEPTION(IoError, TableFamily::rename(base + QStringLiteral(".db"), target));
    QCOMPARE(snapshot(dir.path()).keys(), before.keys());
}

void TestTableFamily::copyReplacesAnExistingFamily()
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("people"));
    const QString target = dir.filePath(QStringLiteral("target"));
    TableFamily::create(base, people());
    TableFamily::create(target, people());
    addRow(base, QStringLiteral("ANA"));
    addRow(target, QStringLiteral("OLD"));
    TableFamily::copy(base, target);
    for (const QString &ext : TableFamily::extensions()) {
        QFile a(base + ext);
        QFile b(target + ext);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(b.readAll(), a.readAll());
    }
    QCOMPARE(fileNames(dir.path()).size(), 10);
    QCOMPARE(names(target + QStringLiteral(".db")), QStringList{QStringLiteral("ANA")});
}

void TestTableFamily::failedCopyChangesNothing_data()
{
    QTest::addColumn<QString>("problem");
    QTest::newRow("last source member missing") << "missing";
    QTest::newRow("destination folder missing") << "nofolder";
    QTest::newRow("destination folder is a file") << "file";
}

void TestTableFamily::failedCopyChangesNothing()
{
    QFETCH(QString, problem);
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("people"));
    QString target = dir.filePath(QStringLiteral("target"));
    TableFamily::create(base, people());
    TableFamily::create(target, people());
    addRow(target, QStringLiteral("OLD"));
    if (problem == QLatin1String("missing")) {
        QVERIFY(QFile::remove(base + QStringLiteral(".YG0")));
    } else if (problem == QLatin1String("nofolder")) {
        target = dir.filePath(QStringLiteral("missing/target"));
    } else {
        QFile plain(dir.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        target = dir.filePath(QStringLiteral("plain/target"));
    }
    const auto before = snapshot(dir.path());
    try {
        TableFamily::copy(base, target);
        QFAIL("the copy succeeded");
    } catch (const IoError &e) {
        // The system's own words for the failure.
        QVERIFY2(e.message().contains(QLatin1String("No such file")) ||
                     e.message().contains(QLatin1String("Not a directory")),
                 qPrintable(e.message()));
    }
    QCOMPARE(snapshot(dir.path()), before);
}

void TestTableFamily::copyIntoReadOnlyFolderChangesNothing()
{
    // Permissions do not bind the superuser: as root (CI) the body runs as user nobody.
    const bool passed = asUnprivilegedUser(QStringList{}, [&] {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("locked")));
        const QString base = dir.filePath(QStringLiteral("people"));
        const QString target = dir.filePath(QStringLiteral("locked/target"));
        TableFamily::create(base, people());
        TableFamily::create(target, people());
        QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("locked")),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const auto before = snapshot(dir.filePath(QStringLiteral("locked")));
        QVERIFY_THROWS_EXCEPTION(IoError, TableFamily::copy(base, target));
        QCOMPARE(snapshot(dir.filePath(QStringLiteral("locked"))), before);
        QFile::setPermissions(dir.filePath(QStringLiteral("locked")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    });
    QVERIFY2(passed, "failed as an unprivileged user (see above)");
}

void TestTableFamily::foreignObjectsAreRefusedUntouched_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("found");
    QTest::newRow("trigger planting a row")
        << "CREATE TRIGGER plant AFTER DELETE ON registros BEGIN INSERT INTO registros (NAME, CODE) "
           "VALUES ('EVE', '9999'); END"
        << "trigger \"plant\"";
    QTest::newRow("view") << "CREATE VIEW everyone AS SELECT * FROM registros" << "view \"everyone\"";
    QTest::newRow("other table") << "CREATE TABLE extra (a)" << "table \"extra\"";
    QTest::newRow("other index") << "CREATE INDEX by_code ON registros (CODE)" << "index \"by_code\"";
    QTest::newRow("our side records") << "CREATE TABLE tzr_anexos (clase TEXT NOT NULL, clave TEXT NOT NULL, "
                                         "valor BLOB NOT NULL, PRIMARY KEY (clase, clave))"
                                      << "";
}

void TestTableFamily::foreignObjectsAreRefusedUntouched()
{
    QFETCH(QString, sql);
    QFETCH(QString, found);
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("people"));
    TableFamily::create(base, people());
    addRow(base, QStringLiteral("ANA"));
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(base + QStringLiteral(".db")).constData(), &db), SQLITE_OK);
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QCOMPARE(rc, SQLITE_OK);
    const auto before = snapshot(dir.path());
    if (found.isEmpty()) {
        QCOMPARE(names(base + QStringLiteral(".db")), QStringList{QStringLiteral("ANA")});
        return;
    }
    try {
        names(base + QStringLiteral(".db"));
        QFAIL("a file with foreign objects was opened");
    } catch (const ForeignSchema &e) {
        QCOMPARE(e.found(), QStringList{found});
        QVERIFY2(e.message().contains(found), qPrintable(e.message()));
    }
    QCOMPARE(snapshot(dir.path()), before);
}

void TestTableFamily::recoverySettlesACutShortSetOnce_data()
{
    QTest::addColumn<int>("placed");
    QTest::addColumn<bool>("noted");
    QTest::addColumn<int>("expected");
    QTest::newRow("working family, no note") << 0 << false << int(TableFamily::Recovery::Removed);
    QTest::newRow("noted, nothing moved") << 0 << true << int(TableFamily::Recovery::Finished);
    QTest::newRow("noted, two members moved") << 2 << true << int(TableFamily::Recovery::Finished);
    QTest::newRow("noted, all moved") << 5 << true << int(TableFamily::Recovery::Finished);
}

void TestTableFamily::recoverySettlesACutShortSetOnce()
{
    QFETCH(int, placed);
    QFETCH(bool, noted);
    QFETCH(int, expected);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source"));
    const QString base = dir.filePath(QStringLiteral("people"));
    TableFamily::create(source, people());
    addRow(source, QStringLiteral("NEW"));
    TableFamily::create(base, people());
    addRow(base, QStringLiteral("OLD"));
    const QString working = TableFamily::copyToWorking(source, base);
    const QString tag = working.section(QStringLiteral(".tzr-new-"), -1);
    if (noted) {
        QFile note(dir.filePath(QStringLiteral(".people.tzr-publish")));
        QVERIFY(note.open(QIODevice::WriteOnly));
        note.write(tag.toLatin1() + '\n');
    }
    for (int i = 0; i < placed; ++i) {
        QFile::remove(TableFamily::members(base).at(i));
        QVERIFY(QFile::rename(TableFamily::members(working).at(i), TableFamily::members(base).at(i)));
    }
    QCOMPARE(int(TableFamily::recover(base)), expected);
    QCOMPARE(names(base + QStringLiteral(".db")),
             QStringList{expected == int(TableFamily::Recovery::Finished) ? QStringLiteral("NEW") : QStringLiteral("OLD")});
    QCOMPARE(fileNames(dir.path()).size(), 10);
    QCOMPARE(TableFamily::recover(base), TableFamily::Recovery::Nothing);
}

QTEST_GUILESS_MAIN(TestTableFamily)
#include "tst_tablefamily.moc"
