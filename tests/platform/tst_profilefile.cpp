#include "ProfileFile.h"
#include "TzrError.h"
#include "Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

ino_t inodeOf(const QString &path)
{
    struct stat status = {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_ino;
}

const QByteArray Configuration = "[TZR]\r\nComPort=3\r\nTZR_Senda=/home/ana/KORVEL\r\nPWD=TRUBO\r\n"
                                 "IDIOMA=ESPA\xD1OL\r\n";

} // namespace

class TestProfileFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void readString_data();
    void readString();
    void readsDefaultWithoutFile();
    void returnsAtMost2047Characters();
    void seesChangesOnDisk();
    void listsSectionsAndKeys();

    void writeString_data();
    void writeString();
    void roundTripsValues_data();
    void roundTripsValues();
    void leavesAnUnchangedFileAlone();
    void readsItsOwnWrites();
    void refusesWhatCannotBeStored_data();
    void refusesWhatCannotBeStored();
    void reportsAMissingFolder();
    void reportsAnUnwritableFolder();
    void keepsTheOldFileWhenTheWriteFails();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("TZR_USR.ini")); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestProfileFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

// clang-format off
void TestProfileFile::readString_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QString none = QStringLiteral("<default>");
    QTest::newRow("plain") << Configuration << "TZR" << "ComPort" << "3";
    QTest::newRow("section and key in other case") << Configuration << "tzr" << "comport" << "3";
    QTest::newRow("file in other case") << QByteArray("[tzr]\nCOMPORT=3\n") << "TZR" << "ComPort" << "3";
    QTest::newRow("Windows-1252 value") << Configuration << "TZR" << "IDIOMA" << "ESPAÑOL";
    QTest::newRow("section with Ñ, asked in lower case")
        << QByteArray("[ESPA\xD1OL]\r\nK=s\r\n") << "español" << "K" << "s";
    QTest::newRow("section with ç, asked in upper case")
        << QByteArray("[fran\xE7" "ais]\r\nK=f\r\n") << "FRANÇAIS" << "K" << "f";
    QTest::newRow("inverted question marks")
        << QByteArray("[ENGLISH]\r\nK=\xBF\xBF??\r\n") << "ENGLISH" << "K" << "¿¿??";
    QTest::newRow("euro sign is 0x80, not a Latin-1 control")
        << QByteArray("[A]\r\nK=\x80\r\n") << "A" << "K" << "€";
    QTest::newRow("undefined byte kept as its C1 control")
        << QByteArray("[A]\r\nK=a\x81z\r\n") << "A" << "K" << QStringLiteral("a\u0081z");
    QTest::newRow("empty value is not the default")
        << QByteArray("[TZR]\r\nPWD=\r\n") << "TZR" << "PWD" << "";
    QTest::newRow("empty quotes") << QByteArray("[TZR]\r\nPWD=\"\"\r\n") << "TZR" << "PWD" << "";
    QTest::newRow("missing key") << Configuration << "TZR" << "Other" << none;
    QTest::newRow("missing section") << Configuration << "ENGLISH" << "ComPort" << none;
    QTest::newRow("key of another section")
        << QByteArray("[A]\r\nK=1\r\n[B]\r\nL=2\r\n") << "B" << "K" << none;
    QTest::newRow("key before any section") << QByteArray("K=1\r\n[A]\r\n") << "A" << "K" << none;
    QTest::newRow("blanks around name and value")
        << QByteArray("  [ TZR ]  \r\n\t ComPort \t=  7 \t\r\n") << "TZR" << "ComPort" << "7";
    QTest::newRow("asked with blanks") << Configuration << " TZR " << " ComPort " << "3";
    QTest::newRow("double quotes keep inner blanks")
        << QByteArray("[A]\r\nK=\"  x y  \"\r\n") << "A" << "K" << "  x y  ";
    QTest::newRow("single quotes") << QByteArray("[A]\r\nK='x'\r\n") << "A" << "K" << "x";
    QTest::newRow("unmatched quotes stay") << QByteArray("[A]\r\nK=\"x'\r\n") << "A" << "K" << "\"x'";
    QTest::newRow("a lone quote stays") << QByteArray("[A]\r\nK=\"\r\n") << "A" << "K" << "\"";
    QTest::newRow("only one pair of quotes goes")
        << QByteArray("[A]\r\nK=\"\"x\"\"\r\n") << "A" << "K" << "\"x\"";
    QTest::newRow("equals sign inside the value") << QByteArray("[A]\r\nK=a=b\r\n") << "A" << "K" << "a=b";
    QTest::newRow("semicolon inside the value") << QByteArray("[A]\r\nK=a;b\r\n") << "A" << "K" << "a;b";
    QTest::newRow("commented key") << QByteArray("[A]\r\n;K=1\r\n") << "A" << "K" << none;
    QTest::newRow("commented key before the real one")
        << QByteArray("[A]\r\n  ;K=1\r\nK=2\r\n") << "A" << "K" << "2";
    QTest::newRow("first of two keys") << QByteArray("[A]\r\nK=1\r\nk=2\r\n") << "A" << "K" << "1";
    QTest::newRow("first of two sections")
        << QByteArray("[A]\r\nK=1\r\n[a]\r\nK=2\r\nL=3\r\n") << "A" << "L" << none;
    QTest::newRow("line feeds only") << QByteArray("[A]\nK=1\nL=2\n") << "A" << "L" << "2";
    QTest::newRow("no line break at the end") << QByteArray("[A]\r\nK=last") << "A" << "K" << "last";
    QTest::newRow("header without closing bracket")
        << QByteArray("[A]\r\n[B\r\nK=1\r\n") << "A" << "K" << "1";
    QTest::newRow("line without equals sign") << QByteArray("[A]\r\nK\r\n") << "A" << "K" << none;
}
// clang-format on

void TestProfileFile::readString()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    writeBytes(path(), contents);
    const ProfileFile file(path());
    QCOMPARE(file.readString(section, key, QStringLiteral("<default>")), expected);
}

void TestProfileFile::readsDefaultWithoutFile()
{
    const ProfileFile file(path());
    QCOMPARE(file.readString(QStringLiteral("TZR"), QStringLiteral("PWD"), QStringLiteral("TRUBO")),
             QStringLiteral("TRUBO"));
    QVERIFY(file.sections().isEmpty());
    QVERIFY(!QFileInfo::exists(path()));
}

void TestProfileFile::returnsAtMost2047Characters()
{
    const QByteArray exact(2047, 'x');
    writeBytes(path(), "[A]\r\nExact=" + exact + "\r\nLong=\"" + QByteArray(2040, 'y') + QByteArray(20, 'z') +
                           "\"\r\n");
    const ProfileFile file(path());
    QCOMPARE(file.readString(QStringLiteral("A"), QStringLiteral("Exact"), {}), QString::fromLatin1(exact));
    const QString cut = file.readString(QStringLiteral("A"), QStringLiteral("Long"), {});
    QCOMPARE(cut.size(), ProfileFile::MaxValueLength);
    QCOMPARE(cut, QString(2040, QLatin1Char('y')) + QString(7, QLatin1Char('z')));
}

void TestProfileFile::seesChangesOnDisk()
{
    writeBytes(path(), "[A]\r\nK=1\r\n");
    const ProfileFile file(path());
    QCOMPARE(file.readString(QStringLiteral("A"), QStringLiteral("K"), {}), QStringLiteral("1"));

    writeBytes(path(), "[A]\r\nK=22\r\n");
    QCOMPARE(file.readString(QStringLiteral("A"), QStringLiteral("K"), {}), QStringLiteral("22"));

    // Same size, written in place: only the modification time tells.
    writeBytes(path(), "[A]\r\nK=33\r\n");
    QFile touched(path());
    QVERIFY(touched.open(QIODevice::ReadWrite));
    QVERIFY(touched.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    touched.close();
    QCOMPARE(file.readString(QStringLiteral("A"), QStringLiteral("K"), {}), QStringLiteral("33"));

    const QString other = m_dir->filePath(QStringLiteral("other.ini"));
    writeBytes(other, "[A]\r\nK=44\r\n");
    QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path()).constData()) == 0);
    QCOMPARE(file.readString(QStringLiteral("A"), QStringLiteral("K"), {}), QStringLiteral("44"));

    QVERIFY(QFile::remove(path()));
    QCOMPARE(file.readString(QStringLiteral("A"), QStringLiteral("K"), QStringLiteral("gone")),
             QStringLiteral("gone"));
}

void TestProfileFile::listsSectionsAndKeys()
{
    writeBytes(
        path(),
        "; header\r\n[ENGLISH]\r\nb=1\r\nA=2\r\n;c=3\r\nb=4\r\n[ESPA\xD1OL]\r\n\r\n[english]\r\nd=5\r\n");
    const ProfileFile file(path());
    QCOMPARE(file.sections(), (QStringList{QStringLiteral("ENGLISH"), QStringLiteral("ESPAÑOL")}));
    QCOMPARE(file.keys(QStringLiteral("English")), (QStringList{QStringLiteral("b"), QStringLiteral("A")}));
    QVERIFY(file.keys(QStringLiteral("español")).isEmpty());
    QVERIFY(file.keys(QStringLiteral("FRANÇAIS")).isEmpty());
}

// clang-format off
void TestProfileFile::writeString_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file")
        << QByteArray() << false << "TZR" << "ComPort" << "1" << QByteArray("[TZR]\r\nComPort=1\r\n");
    QTest::newRow("empty file")
        << QByteArray() << true << "TZR" << "ComPort" << "1" << QByteArray("[TZR]\r\nComPort=1\r\n");
    QTest::newRow("value replaced in place")
        << Configuration << true << "TZR" << "ComPort" << "12"
        << QByteArray(Configuration).replace("ComPort=3", "ComPort=12");
    QTest::newRow("names matched in other case, their spelling kept")
        << QByteArray("[tzr]\r\ncomport = 1 \r\nX=y\r\n") << true << "TZR" << "ComPort" << "3"
        << QByteArray("[tzr]\r\ncomport = 3\r\nX=y\r\n");
    QTest::newRow("Ñ section matched against ñ")
        << QByteArray("[espa\xF1ol]\r\nK=1\r\n") << true << "ESPAÑOL" << "K" << "2"
        << QByteArray("[espa\xF1ol]\r\nK=2\r\n");
    QTest::newRow("key added at the end of its section")
        << QByteArray("[TZR]\r\nA=1\r\n\r\n[X]\r\nB=2\r\n") << true << "TZR" << "C" << "3"
        << QByteArray("[TZR]\r\nA=1\r\nC=3\r\n\r\n[X]\r\nB=2\r\n");
    QTest::newRow("key added to a section without keys")
        << QByteArray("[TZR]\r\n[X]\r\n") << true << "TZR" << "C" << "3"
        << QByteArray("[TZR]\r\nC=3\r\n[X]\r\n");
    QTest::newRow("key added after the section's comments")
        << QByteArray("[TZR]\r\n;A=1\r\n") << true << "TZR" << "A" << "2"
        << QByteArray("[TZR]\r\n;A=1\r\nA=2\r\n");
    QTest::newRow("key added to a last line without line break")
        << QByteArray("[TZR]\r\nA=1") << true << "TZR" << "C" << "3" << QByteArray("[TZR]\r\nA=1\r\nC=3\r\n");
    QTest::newRow("section added at the end")
        << QByteArray("[X]\r\nB=2\r\n") << true << "TZR" << "C" << "3"
        << QByteArray("[X]\r\nB=2\r\n[TZR]\r\nC=3\r\n");
    QTest::newRow("section added after a last line without line break")
        << QByteArray("[X]\r\nB=2") << true << "TZR" << "C" << "3"
        << QByteArray("[X]\r\nB=2\r\n[TZR]\r\nC=3\r\n");
    QTest::newRow("line feed file gets line feeds")
        << QByteArray("[TZR]\nA=1\n") << true << "TZR" << "C" << "3" << QByteArray("[TZR]\nA=1\nC=3\n");
    QTest::newRow("value replaced on a line feed line")
        << QByteArray("[TZR]\r\nA=1\nB=2\r\n") << true << "TZR" << "A" << "9"
        << QByteArray("[TZR]\r\nA=9\nB=2\r\n");
    QTest::newRow("everything else kept byte for byte")
        << QByteArray("; \xE9t\xE9 \r\n\r\n[Other]\r\n  odd line \xFF\r\nK = v\t\r\n"
                      "[TZR]\r\nPWD=old\r\n;tail\r\n\r\n")
        << true << "TZR" << "PWD" << "new"
        << QByteArray("; \xE9t\xE9 \r\n\r\n[Other]\r\n  odd line \xFF\r\nK = v\t\r\n"
                      "[TZR]\r\nPWD=new\r\n;tail\r\n\r\n");
    QTest::newRow("Ç written as 0xC7")
        << Configuration << true << "TZR" << "IDIOMA" << "FRANÇAIS"
        << QByteArray(Configuration).replace("ESPA\xD1OL", "FRAN\xC7" "AIS");
    QTest::newRow("¿ and € written in Windows-1252")
        << QByteArray() << false << "ESPAÑOL" << "Q" << "¿€?"
        << QByteArray("[ESPA\xD1OL]\r\nQ=\xBF\x80?\r\n");
    QTest::newRow("empty value")
        << QByteArray("[TZR]\r\nPWD=x\r\n") << true << "TZR" << "PWD" << ""
        << QByteArray("[TZR]\r\nPWD=\r\n");
    QTest::newRow("blanks at the ends kept inside quotes")
        << QByteArray() << false << "TZR" << "TZR_Senda" << " /home/ana/my dir "
        << QByteArray("[TZR]\r\nTZR_Senda=\" /home/ana/my dir \"\r\n");
    QTest::newRow("quoted value kept inside quotes")
        << QByteArray() << false << "TZR" << "PWD" << "'x'" << QByteArray("[TZR]\r\nPWD=\"'x'\"\r\n");
}
// clang-format on

void TestProfileFile::writeString()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, exists);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);

    if (exists)
        writeBytes(path(), before);
    ProfileFile file(path());
    file.writeString(section, key, value);
    QCOMPARE(readBytes(path()), after);
    QCOMPARE(file.readString(section, key, QStringLiteral("<default>")), value);
    QCOMPARE(
        QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
        QStringList{QStringLiteral("TZR_USR.ini")});
}

// clang-format off
void TestProfileFile::roundTripsValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "C:\\KORVEL";
    QTest::newRow("inner blanks") << "/home/ana/mis datos";
    QTest::newRow("leading blank") << " x";
    QTest::newRow("trailing tab") << "x\t";
    QTest::newRow("double quoted") << "\"x\"";
    QTest::newRow("lone quote") << "\"";
    QTest::newRow("opening quote only") << "\"x";
    QTest::newRow("equals and semicolon") << "a=b;c";
    QTest::newRow("all Windows-1252 letters") << "ÑñÇçÁÉÍÓÚÜáéíóúüŠšŽžŒœŸ€";
}
// clang-format on

void TestProfileFile::roundTripsValues()
{
    QFETCH(QString, value);
    writeBytes(path(), Configuration);
    ProfileFile writer(path());
    writer.writeString(QStringLiteral("TZR"), QStringLiteral("TZR_Senda"), value);
    const ProfileFile reader(path());
    QCOMPARE(reader.readString(QStringLiteral("TZR"), QStringLiteral("TZR_Senda"), {}), value);
    QCOMPARE(reader.readString(QStringLiteral("TZR"), QStringLiteral("PWD"), {}), QStringLiteral("TRUBO"));
}

void TestProfileFile::leavesAnUnchangedFileAlone()
{
    writeBytes(path(), Configuration);
    const ino_t before = inodeOf(path());
    ProfileFile file(path());
    file.writeString(QStringLiteral("tzr"), QStringLiteral("COMPORT"), QStringLiteral("3"));
    QCOMPARE(inodeOf(path()), before);
    file.writeString(QStringLiteral("TZR"), QStringLiteral("ComPort"), QStringLiteral("4"));
    QVERIFY(inodeOf(path()) != before);
}

void TestProfileFile::readsItsOwnWrites()
{
    writeBytes(path(), Configuration);
    ProfileFile file(path());
    QCOMPARE(file.readString(QStringLiteral("TZR"), QStringLiteral("PWD"), {}), QStringLiteral("TRUBO"));
    file.writeString(QStringLiteral("TZR"), QStringLiteral("PWD"), QStringLiteral("1234"));
    QCOMPARE(file.readString(QStringLiteral("TZR"), QStringLiteral("PWD"), {}), QStringLiteral("1234"));
}

// clang-format off
void TestProfileFile::refusesWhatCannotBeStored_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("named");

    QTest::newRow("line feed in the value") << "TZR" << "TZR_Senda" << "/home/a\nPWD=x" << "TZR_Senda";
    QTest::newRow("carriage return in the value") << "TZR" << "TZR_Senda" << "/home/a\rb" << "/home/a\\rb";
    QTest::newRow("character outside Windows-1252") << "TZR" << "TZR_Senda" << "/home/Ωmega" << "/home/Ωmega";
    QTest::newRow("equals sign in the key") << "TZR" << "A=B" << "1" << "A=B";
    QTest::newRow("line feed in the key") << "TZR" << "A\nB" << "1" << "A\\nB";
    QTest::newRow("key that reads as a section") << "TZR" << "[X]" << "1" << "[X]";
    QTest::newRow("key that reads as a comment") << "TZR" << ";A" << "1" << ";A";
    QTest::newRow("empty key") << "TZR" << "" << "1" << "key";
    QTest::newRow("bracket in the section") << "T]ZR" << "A" << "1" << "T]ZR";
    QTest::newRow("line feed in the section") << "T\nZR" << "A" << "1" << "T\\nZR";
    QTest::newRow("empty section") << " " << "A" << "1" << "section";
}
// clang-format on

void TestProfileFile::refusesWhatCannotBeStored()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, named);

    writeBytes(path(), Configuration);
    ProfileFile file(path());
    try {
        file.writeString(section, key, value);
        QFAIL("the write was accepted");
    } catch (const TzrError &error) {
        QVERIFY2(error.message().contains(named), qPrintable(error.message()));
    }
    QCOMPARE(readBytes(path()), Configuration);
}

void TestProfileFile::reportsAMissingFolder()
{
    const QString missing = m_dir->filePath(QStringLiteral("Korvel/TZR_USR.ini"));
    ProfileFile file(missing);
    try {
        file.writeString(QStringLiteral("TZR"), QStringLiteral("ComPort"), QStringLiteral("1"));
        QFAIL("the write was accepted");
    } catch (const IoError &error) {
        QCOMPARE(error.message(), QStringLiteral("Unable to write to ") + missing);
    }
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("Korvel"))));
}

void TestProfileFile::reportsAnUnwritableFolder()
{
    // Permissions do not bind the superuser: as root (CI) the body runs as user nobody.
    const bool passed = asUnprivilegedUser(QStringList{m_dir->path()}, [&] {
        writeBytes(path(), Configuration);
        QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        ProfileFile file(path());
        bool refused = false;
        try {
            file.writeString(QStringLiteral("TZR"), QStringLiteral("ComPort"), QStringLiteral("9"));
        } catch (const IoError &error) {
            refused = error.message() == QStringLiteral("Unable to write to ") + path();
        }
        QFile::setPermissions(m_dir->path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(refused);
        QCOMPARE(readBytes(path()), Configuration);
    });
    QVERIFY2(passed, "failed as an unprivileged user (see above)");
}

void TestProfileFile::keepsTheOldFileWhenTheWriteFails()
{
    // A file size limit makes the new copy fail half-way, even for the superuser.
    writeBytes(path(), Configuration);
    rlimit saved{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);

    ProfileFile file(path());
    QString message;
    try {
        file.writeString(QStringLiteral("TZR"), QStringLiteral("TZR_Senda"), QString(200, QLatin1Char('d')));
    } catch (const IoError &error) {
        message = error.message();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(message, QStringLiteral("Unable to write to ") + path());
    QCOMPARE(readBytes(path()), Configuration);
    QCOMPARE(
        QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
        QStringList{QStringLiteral("TZR_USR.ini")});
    QCOMPARE(file.readString(QStringLiteral("TZR"), QStringLiteral("TZR_Senda"), {}),
             QStringLiteral("/home/ana/KORVEL"));
}

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
