#include "DataFileCommands.h"
#include "DataFileCopy.h"
#include "FicheroActual.h"
#include "FixedTexts.h"
#include "TableCursor.h"
#include "TableFamily.h"
#include "TzrError.h"
#include "Unprivileged.h"
#include "UsersTable.h"
#include "UsersTableRules.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString carpetaPatron()
{
    return qEnvironmentVariable("TZR_BUILD_DIR") + QStringLiteral("/data");
}

QStringList rowsOf(const QString &folder, const QString &name)
{
    TableCursor cursor;
    cursor.open(folder, name);
    QStringList rows;
    for (cursor.first(); !cursor.eof(); cursor.next())
        rows << cursor.value(Campo::NOMBRE);
    return rows;
}

QMap<QString, QByteArray> contents(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile f(info.filePath());
        f.open(QIODevice::ReadOnly);
        files.insert(info.fileName(), f.readAll());
    }
    return files;
}

ino_t inode(const QString &path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class TestDataFileCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void emptyNameDoesNothing();
    void newCreatesAndOpensAnEmptyDataFile();
    void newOverAnExistingDataFileEmptiesIt();
    void failedNewChangesNothing_data();
    void failedNewChangesNothing();
    void newIntoAReadOnlyFolderChangesNothing();
    void openChangesTheWorkingDirectory();
    void openOfAMissingFileLeavesTheTableClosed();
    void openSettlesWhatACrashLeftAndSaysSoOnce_data();
    void openSettlesWhatACrashLeftAndSaysSoOnce();
    void saveAsToAnotherDirectory();
    void saveAsOverAnExistingDataFile();
    void saveAsToTheSameNameIsRefused();
    void saveAsToTheSameNameElsewhereReopensFromThere_data();
    void saveAsToTheSameNameElsewhereReopensFromThere();
    void saveAsStepsAroundALeftoverTemporaryFamily();
    void saveAsOntoTheTemporaryName();
    void failedSaveAsCopyChangesNothing_data();
    void failedSaveAsCopyChangesNothing();
    void failedSaveAsRenameChangesNothing();
    void saveAsNeedsAnOpenTable();
    void configurationErrorIsReportedAndTheFileStillOpens();

private:
    QString work(const QString &name = {}) const { return m_root->filePath(QStringLiteral("work/") + name); }
    QString other(const QString &name = {}) const
    {
        return m_root->filePath(QStringLiteral("other/") + name);
    }
    QString korvel() const { return m_root->filePath(QStringLiteral("korvel")); }
    void startWithUsers(const QStringList &names);

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<FicheroActual> m_fichero;
    std::unique_ptr<UsersTable> m_users;
    std::unique_ptr<FixedTexts> m_texts;
    std::unique_ptr<DataFileCommands> m_commands;
    QStringList m_saved;
    bool m_saveFails = false;
};

void TestDataFileCommands::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
    QVERIFY2(QFile::exists(carpetaPatron() + QStringLiteral("/Patron.db")),
             "the template is made by the build (target tzr_data) into $TZR_BUILD_DIR/data");
}

void TestDataFileCommands::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    for (const char *folder : {"work", "other", "korvel"})
        QVERIFY(QDir(m_root->path()).mkdir(QString::fromLatin1(folder)));
    for (const QString &ext : TableFamily::extensions())
        QVERIFY(QFile::copy(carpetaPatron() + QStringLiteral("/Patron") + ext,
                            korvel() + QStringLiteral("/Patron") + ext));
    m_fichero = std::make_unique<FicheroActual>();
    m_fichero->setDirectorio_Trabajo(QDir::homePath() + QStringLiteral("/KORVEL"));
    m_users = std::make_unique<UsersTable>(*m_fichero);
    m_texts = std::make_unique<FixedTexts>();
    m_saved.clear();
    m_saveFails = false;
    m_commands = std::make_unique<DataFileCommands>(*m_fichero, *m_users, *m_texts, korvel(), [this] {
        m_saved << m_fichero->Directorio_Trabajo();
        if (m_saveFails)
            throw TzrError(QStringLiteral("Unable to write to TZR_USR.ini"));
    });
}

void TestDataFileCommands::cleanup()
{
    m_commands.reset();
    m_users.reset();
    m_root.reset();
}

void TestDataFileCommands::startWithUsers(const QStringList &names)
{
    QCOMPARE(m_commands->ToolNuevoClick(work(QStringLiteral("users.db"))).outcome,
             FileCommandResult::Outcome::Done);
    Table &t = m_users->Table1();
    for (const QString &n : names) {
        QVERIFY(t.append());
        t.setValue(Campo::NOMBRE, n);
        t.setValue(Campo::CALL, QStringLiteral("1"));
        t.setValue(Campo::TZR, QStringLiteral("2"));
        QVERIFY(t.post());
    }
    m_saved.clear();
}

void TestDataFileCommands::emptyNameDoesNothing()
{
    startWithUsers({"ANA"});
    const QString dir = m_fichero->Directorio_Trabajo();
    QCOMPARE(m_commands->DirectoriodeTrabajo1Click(QString()).outcome, FileCommandResult::Outcome::Nothing);
    QCOMPARE(m_commands->ToolNuevoClick(QString()).outcome, FileCommandResult::Outcome::Nothing);
    QCOMPARE(m_commands->ToolSalvarClick(QString()).outcome, FileCommandResult::Outcome::Nothing);
    QCOMPARE(m_fichero->Directorio_Trabajo(), dir);
    QVERIFY(m_saved.isEmpty());
    QVERIFY(m_users->Table1().isOpen());
}

void TestDataFileCommands::newCreatesAndOpensAnEmptyDataFile()
{
    const FileCommandResult r = m_commands->ToolNuevoClick(work(QStringLiteral("users.db")));
    QCOMPARE(r.outcome, FileCommandResult::Outcome::Done);
    QCOMPARE(r.L_Fichero, QStringLiteral("users"));
    QVERIFY(r.gridVisible);
    QVERIFY(r.error.isEmpty());
    QCOMPARE(m_fichero->Directorio_Trabajo(), work());
    QCOMPARE(m_fichero->Nombre_Tabla(), QStringLiteral("users.db"));
    QCOMPARE(m_saved, QStringList{work()});
    QVERIFY(m_users->Table1().isOpen());
    QCOMPARE(m_users->Table1().recordCount(), 0);
    QCOMPARE(m_users->Table1().filePath(), work(QStringLiteral("users.db")));
    QCOMPARE(contents(work()).size(), 5);
    QCOMPARE(m_commands->L_Fichero(), QStringLiteral("users"));
}

void TestDataFileCommands::newOverAnExistingDataFileEmptiesIt()
{
    startWithUsers({"ANA", "EVA"});
    const FileCommandResult r = m_commands->ToolNuevoClick(work(QStringLiteral("users.db")));
    QCOMPARE(r.outcome, FileCommandResult::Outcome::Done);
    QCOMPARE(m_users->Table1().recordCount(), 0);
    QVERIFY(rowsOf(work(), QStringLiteral("users.db")).isEmpty());
    const auto files = contents(work());
    const auto patron = contents(korvel());
    QCOMPARE(files.size(), 5);
    for (const QString &ext : TableFamily::extensions())
        QCOMPARE(files.value(QStringLiteral("users") + ext), patron.value(QStringLiteral("Patron") + ext));
}

void TestDataFileCommands::failedNewChangesNothing_data()
{
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message");
    QTest::newRow("template member missing") << "template"
                                             << "work/fresh.db"
                                             << "No such file or directory";
    QTest::newRow("template member missing, existing file kept") << "template"
                                                                 << "work/users.db"
                                                                 << "No such file or directory";
    QTest::newRow("destination folder missing") << ""
                                                << "missing/fresh.db"
                                                << "No such file or directory";
    QTest::newRow("regular file used as folder") << ""
                                                 << "work/users.px/fresh.db"
                                                 << "Not a directory";
}

void TestDataFileCommands::failedNewChangesNothing()
{
    QFETCH(QString, problem);
    QFETCH(QString, target);
    QFETCH(QString, message);
    startWithUsers({"ANA", "EVA"});
    if (problem == QLatin1String("template"))
        QVERIFY(QFile::remove(korvel() + QStringLiteral("/Patron.YG0")));
    const auto before = contents(work());
    const FileCommandResult r = m_commands->ToolNuevoClick(m_root->filePath(target));
    QCOMPARE(r.outcome, FileCommandResult::Outcome::Failed);
    QVERIFY2(r.error.contains(message), qPrintable(r.error));
    QCOMPARE(r.L_Fichero, QStringLiteral("users"));
    QVERIFY(r.gridVisible);
    QCOMPARE(contents(work()), before);
    QCOMPARE(m_fichero->Directorio_Trabajo(), work());
    QCOMPARE(m_fichero->Nombre_Tabla(), QStringLiteral("users.db"));
    QVERIFY(m_saved.isEmpty());
    QCOMPARE(m_users->Table1().recordCount(), 2);
}

void TestDataFileCommands::newIntoAReadOnlyFolderChangesNothing()
{
    // Permissions do not bind the superuser: as root (CI) the body runs as user nobody.
    const bool passed = asUnprivilegedUser(QStringList{m_root->path(), m_home.path()}, [&] {
        startWithUsers({"ANA"});
        QVERIFY(QFile::setPermissions(other(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const FileCommandResult r = m_commands->ToolNuevoClick(other(QStringLiteral("fresh.db")));
        QFile::setPermissions(other(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(r.outcome, FileCommandResult::Outcome::Failed);
        QVERIFY2(r.error.contains(QLatin1String("Permission denied")), qPrintable(r.error));
        QVERIFY(contents(other()).isEmpty());
        QCOMPARE(m_fichero->Directorio_Trabajo(), work());
    });
    QVERIFY2(passed, "failed as an unprivileged user (see above)");
}

void TestDataFileCommands::openChangesTheWorkingDirectory()
{
    Copia_Patron(other(QStringLiteral("b.db")), korvel());
    {
        TableCursor c;
        c.open(other(), QStringLiteral("b.db"));
        c.insert();
        c.setValue(Campo::NOMBRE, QStringLiteral("BEA"));
        c.post();
    }
    const FileCommandResult r = m_commands->DirectoriodeTrabajo1Click(other(QStringLiteral("b.db")));
    QCOMPARE(r.outcome, FileCommandResult::Outcome::Done);
    QCOMPARE(r.L_Fichero, QStringLiteral("b"));
    QCOMPARE(m_fichero->Directorio_Trabajo(), other());
    QCOMPARE(m_saved, QStringList{other()});
    QCOMPARE(m_users->Table1().value(Campo::NOMBRE), QStringLiteral("BEA"));
}

void TestDataFileCommands::openSettlesWhatACrashLeftAndSaysSoOnce_data()
{
    QTest::addColumn<bool>("noted");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("name");
    QTest::newRow("working copy never finished") << false << "was removed" << "OLD";
    QTest::newRow("publish cut short") << true << "the save was finished" << "NEW";
}

void TestDataFileCommands::openSettlesWhatACrashLeftAndSaysSoOnce()
{
    QFETCH(bool, noted);
    QFETCH(QString, said);
    QFETCH(QString, name);
    const auto oneUser = [&](const QString &file, const QString &nombre) {
        Copia_Patron(other(file), korvel());
        TableCursor c;
        c.open(other(), file);
        c.insert();
        c.setValue(Campo::NOMBRE, nombre);
        c.post();
    };
    oneUser(QStringLiteral("b.db"), QStringLiteral("OLD"));
    oneUser(QStringLiteral("n.db"), QStringLiteral("NEW"));
    const QString working = TableFamily::copyToWorking(TableFamily::baseOf(other(QStringLiteral("n.db"))),
                                                       TableFamily::baseOf(other(QStringLiteral("b.db"))));
    if (noted) {
        QFile note(other(QStringLiteral(".b.tzr-publish")));
        QVERIFY(note.open(QIODevice::WriteOnly));
        note.write(working.section(QStringLiteral(".tzr-new-"), -1).toLatin1() + '\n');
    }
    FileCommandResult r = m_commands->DirectoriodeTrabajo1Click(other(QStringLiteral("b.db")));
    QCOMPARE(r.outcome, FileCommandResult::Outcome::Done);
    QVERIFY2(r.mensaje1.startsWith(QLatin1String("b.db")) && r.mensaje1.contains(said), qPrintable(r.mensaje1));
    QCOMPARE(m_users->Table1().value(Campo::NOMBRE), name);
    QCOMPARE(contents(other()).size(), 10);
    r = m_commands->DirectoriodeTrabajo1Click(other(QStringLiteral("b.db")));
    QVERIFY(r.mensaje1.isEmpty());
}

void TestDataFileCommands::openOfAMissingFileLeavesTheTableClosed()
{
    startWithUsers({"ANA"});
    const FileCommandResult r = m_commands->DirectoriodeTrabajo1Click(other(QStringLiteral("nobody.db")));
    QCOMPARE(r.outcome, FileCommandResult::Outcome::Failed);
    QVERIFY2(r.error.contains(other(QStringLiteral("nobody.db"))), qPrintable(r.error));
    QVERIFY(!r.gridVisible);
    QVERIFY(!m_users->Table1().isOpen());
    QCOMPARE(m_fichero->Directorio_Trabajo(), other());
    QVERIFY(contents(other()).isEmpty());
}

void TestDataFileCommands::saveAsToAnotherDirectory()
{
    startWithUsers({"ANA", "EVA", "PAU"});
    const ino_t own = inode(work(QStringLiteral("users.db")));
    const FileCommandResult r = m_commands->ToolSalvarClick(other(QStringLiteral("copy.db")));
    QCOMPARE(r.outcome, FileCommandResult::Outcome::Done);
    QVERIFY(r.error.isEmpty());
    QCOMPARE(r.L_Fichero, QStringLiteral("copy"));
    QVERIFY(r.gridVisible);
    QCOMPARE(m_fichero->Directorio_Trabajo(), other());
    QCOMPARE(m_fichero->Nombre_Tabla(), QStringLiteral("copy.db"));
    QCOMPARE(m_saved, QStringList{other()});
    QCOMPARE(m_users->Table1().filePath(), other(QStringLiteral("copy.db")));
    QCOMPARE(m_users->Table1().recordCount(), 3);
    // The open table's own files moved to the new name; the old name holds the copy.
    QCOMPARE(inode(other(QStringLiteral("copy.db"))), own);
    QCOMPARE(rowsOf(work(), QStringLiteral("users.db")), QStringList({"ANA", "EVA", "PAU"}));
    QCOMPARE(rowsOf(other(), QStringLiteral("copy.db")), QStringList({"ANA", "EVA", "PAU"}));
    QCOMPARE(contents(work()).keys(),
             QStringList({"users.XG0", "users.YG0", "users.db", "users.px", "users.val"}));
    QCOMPARE(contents(other()).size(), 5);
}

void TestDataFileCommands::saveAsOverAnExistingDataFile()
{
    Copia_Patron(other(QStringLiteral("copy.db")), korvel());
    {
        TableCursor c;
        c.open(other(), QStringLiteral("copy.db"));
        c.insert();
        c.setValue(Campo::NOMBRE, QStringLiteral("OLD"));
        c.post();
    }
    startWithUsers({"ANA"});
    QCOMPARE(m_commands->ToolSalvarClick(other(QStringLiteral("copy.db"))).outcome,
             FileCommandResult::Outcome::Done);
    QCOMPARE(rowsOf(other(), QStringLiteral("copy.db")), QStringList{QStringLiteral("ANA")});
    QCOMPARE(contents(other()).size(), 5);
}

void TestDataFileCommands::saveAsToTheSameNameIsRefused()
{
    startWithUsers({"ANA"});
    m_texts->set(QStringLiteral("SHOW_M9"), QStringLiteral("mismos datos"));
    const auto before = contents(work());
    const FileCommandResult r = m_commands->ToolSalvarClick(work(QStringLiteral("users.db")));
    QCOMPARE(r.outcome, FileCommandResult::Outcome::Refused);
    QCOMPARE(r.mensaje1, QStringLiteral("Cant make that operation"));
    QCOMPARE(r.mensaje2, QStringLiteral("mismos datos"));
    QVERIFY(r.error.isEmpty());
    QVERIFY(r.gridVisible);
    QVERIFY(m_saved.isEmpty());
    QCOMPARE(contents(work()), before);
    QCOMPARE(m_users->Table1().recordCount(), 1);
}

void TestDataFileCommands::saveAsToTheSameNameElsewhereReopensFromThere_data()
{
    QTest::addColumn<bool>("tableThere");
    QTest::newRow("a table of that name there") << true;
    QTest::newRow("no table there") << false;
}

void TestDataFileCommands::saveAsToTheSameNameElsewhereReopensFromThere()
{
    QFETCH(bool, tableThere);
    if (tableThere)
        Copia_Patron(other(QStringLiteral("users.db")), korvel());
    startWithUsers({"ANA"});
    const auto before = contents(other());
    const FileCommandResult r = m_commands->ToolSalvarClick(other(QStringLiteral("users.db")));
    QCOMPARE(r.outcome, FileCommandResult::Outcome::Refused);
    QCOMPARE(r.mensaje2, QStringLiteral("same data"));
    QCOMPARE(m_fichero->Directorio_Trabajo(), other());
    QVERIFY(m_saved.isEmpty());
    QCOMPARE(contents(other()), before);
    QCOMPARE(r.error.isEmpty(), tableThere);
    QCOMPARE(m_users->Table1().isOpen(), tableThere);
    QCOMPARE(r.gridVisible, tableThere);
    if (tableThere) {
        QCOMPARE(m_users->Table1().filePath(), other(QStringLiteral("users.db")));
        QCOMPARE(m_users->Table1().recordCount(), 0);
    }
    QCOMPARE(rowsOf(work(), QStringLiteral("users.db")), QStringList{QStringLiteral("ANA")});
}

void TestDataFileCommands::saveAsStepsAroundALeftoverTemporaryFamily()
{
    Copia_Patron(work(QStringLiteral("tempusers.db")), korvel());
    startWithUsers({"ANA"});
    const QByteArray leftover = contents(work()).value(QStringLiteral("tempusers.db"));
    const FileCommandResult r = m_commands->ToolSalvarClick(work(QStringLiteral("new.db")));
    QCOMPARE(r.outcome, FileCommandResult::Outcome::Done);
    QCOMPARE(contents(work()).value(QStringLiteral("tempusers.db")), leftover);
    QCOMPARE(contents(work()).size(), 15);
    QCOMPARE(rowsOf(work(), QStringLiteral("new.db")), QStringList{QStringLiteral("ANA")});
    QCOMPARE(rowsOf(work(), QStringLiteral("users.db")), QStringList{QStringLiteral("ANA")});
}

void TestDataFileCommands::saveAsOntoTheTemporaryName()
{
    startWithUsers({"ANA"});
    const FileCommandResult r = m_commands->ToolSalvarClick(work(QStringLiteral("tempusers.db")));
    QCOMPARE(r.outcome, FileCommandResult::Outcome::Done);
    QCOMPARE(m_users->Table1().filePath(), work(QStringLiteral("tempusers.db")));
    QCOMPARE(contents(work()).size(), 10);
    QCOMPARE(rowsOf(work(), QStringLiteral("users.db")), QStringList{QStringLiteral("ANA")});
}

void TestDataFileCommands::failedSaveAsCopyChangesNothing_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message");
    QTest::newRow("destination folder missing") << "missing/copy.db"
                                                << "No such file or directory";
    QTest::newRow("regular file used as folder") << "work/users.db/copy.db"
                                                 << "Not a directory";
}

void TestDataFileCommands::failedSaveAsCopyChangesNothing()
{
    QFETCH(QString, target);
    QFETCH(QString, message);
    startWithUsers({"ANA"});
    const auto before = contents(work());
    const FileCommandResult r = m_commands->ToolSalvarClick(m_root->filePath(target));
    QCOMPARE(r.outcome, FileCommandResult::Outcome::Failed);
    QVERIFY2(r.error.contains(message), qPrintable(r.error));
    QCOMPARE(r.L_Fichero, QStringLiteral("users"));
    QCOMPARE(contents(work()), before);
    QCOMPARE(m_fichero->Directorio_Trabajo(), work());
    QCOMPARE(m_fichero->Nombre_Tabla(), QStringLiteral("users.db"));
    QVERIFY(m_saved.isEmpty());
    QVERIFY(m_users->Table1().isOpen());
    QCOMPARE(m_users->Table1().filePath(), work(QStringLiteral("users.db")));
}

void TestDataFileCommands::failedSaveAsRenameChangesNothing()
{
    // Permissions do not bind the superuser: as root (CI) the body runs as user nobody.
    const bool passed = asUnprivilegedUser(QStringList{m_root->path(), m_home.path()}, [&] {
        startWithUsers({"ANA"});
        // The copy into the other folder works; moving the open table's files aside does not.
        QVERIFY(QFile::setPermissions(work(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const FileCommandResult r = m_commands->ToolSalvarClick(other(QStringLiteral("copy.db")));
        QFile::setPermissions(work(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(r.outcome, FileCommandResult::Outcome::Failed);
        QCOMPARE(contents(work()).size(), 5);
        QCOMPARE(m_fichero->Directorio_Trabajo(), work());
        QVERIFY(m_saved.isEmpty());
        QCOMPARE(m_users->Table1().filePath(), work(QStringLiteral("users.db")));
        QCOMPARE(m_users->Table1().recordCount(), 1);
    });
    QVERIFY2(passed, "failed as an unprivileged user (see above)");
}

void TestDataFileCommands::saveAsNeedsAnOpenTable()
{
    QVERIFY(!m_commands->ToolSalvarDisponible());
    QCOMPARE(m_commands->ToolSalvarClick(other(QStringLiteral("copy.db"))).outcome,
             FileCommandResult::Outcome::Nothing);
    QVERIFY(contents(other()).isEmpty());
    startWithUsers({});
    QVERIFY(m_commands->ToolSalvarDisponible());
}

void TestDataFileCommands::configurationErrorIsReportedAndTheFileStillOpens()
{
    m_saveFails = true;
    const FileCommandResult r = m_commands->ToolNuevoClick(work(QStringLiteral("users.db")));
    QCOMPARE(r.outcome, FileCommandResult::Outcome::Failed);
    QCOMPARE(r.error, QStringLiteral("Unable to write to TZR_USR.ini"));
    QVERIFY(r.gridVisible);
    QVERIFY(m_users->Table1().isOpen());
    QCOMPARE(m_fichero->Nombre_Tabla(), QStringLiteral("users.db"));
}

QTEST_GUILESS_MAIN(TestDataFileCommands)
#include "tst_datafilecommands.moc"
