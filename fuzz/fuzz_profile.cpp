// The profile-string reader and writer on any file a user may have edited (configuration and
// language files, Windows-1252). Every key the reader lists must be readable; a write must either
// be refused with an error, leaving the file as it was, or change exactly the one value asked for.

#include "ProfileFile.h"
#include "TzrError.h"

#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_profile: invariant broken: %s\n", what);
    std::abort();
}

#define CHECK(cond)                                                                                          \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            fail(#cond);                                                                                     \
    } while (false)

const QString kMissing = QStringLiteral("\x01missing\x01");

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail("cannot write the input file");
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

using Values = QHash<QString, QString>; // folded "section\nkey" -> value

QString slot(const QString &section, const QString &key)
{
    return section.trimmed().toCaseFolded() + QLatin1Char('\n') + key.trimmed().toCaseFolded();
}

// Everything the reader lists, each value read back by the names it lists.
Values everything(const ProfileFile &profile, QStringList *sectionNames = nullptr)
{
    Values values;
    const QStringList sections = profile.sections();
    if (sectionNames)
        *sectionNames = sections;
    for (const QString &section : sections) {
        for (const QString &key : profile.keys(section)) {
            const QString value = profile.readString(section, key, kMissing);
            CHECK(value != kMissing);
            CHECK(value.size() <= ProfileFile::MaxValueLength);
            values.insert(slot(section, key), value);
        }
    }
    return values;
}

// Writes one value on a copy of the file and checks what changed.
void checkWrite(const QString &path, const QByteArray &original, const Values &before,
                const QStringList &sections, const QString &section, const QString &key, const QString &value)
{
    writeFile(path, original);
    ProfileFile profile(path);
    try {
        profile.writeString(section, key, value);
    } catch (const TzrError &) {
        CHECK(readFile(path) == original);
        return;
    }
    QStringList sectionsAfter;
    Values after = everything(profile, &sectionsAfter);
    CHECK(profile.readString(section, key, kMissing) == value);
    const QString written = slot(section, key);
    CHECK(after.value(written, kMissing) == value);
    after.remove(written);
    Values expected = before;
    expected.remove(written);
    CHECK(after == expected);
    // Sections keep their order; a new one comes last.
    CHECK(sectionsAfter.mid(0, sections.size()) == sections);
    CHECK(sectionsAfter.size() <= sections.size() + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!folder().isValid())
        fail("no temporary folder");
    const QString path = folder().filePath(QStringLiteral("TZR_USR.ini"));
    const QByteArray original(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    writeFile(path, original);

    QStringList sections;
    Values before;
    {
        ProfileFile profile(path);
        before = everything(profile, &sections);
        // Lookups ignore letter case, as the language file's keys rely on.
        for (const QString &s : sections.mid(0, 4)) {
            for (const QString &k : profile.keys(s).mid(0, 16))
                CHECK(profile.readString(s.toLower(), k.toUpper(), kMissing) ==
                          profile.readString(s, k, kMissing) ||
                      s.toLower().toCaseFolded() != s.toCaseFolded() ||
                      k.toUpper().toCaseFolded() != k.toCaseFolded());
        }
        CHECK(profile.readString(QStringLiteral("TZR"), QStringLiteral("\x02none"), kMissing) == kMissing);
        CHECK(readFile(path) == original);
    }

    // A text with a Windows-1252 letter and blanks at its ends, as a working directory can have.
    const QString value = QStringLiteral(" C:\\Korvel\\Fichier é ");
    if (!sections.isEmpty()) {
        const QString &s = sections.first();
        const QStringList keys = ProfileFile(path).keys(s);
        if (!keys.isEmpty())
            checkWrite(path, original, before, sections, s, keys.last(), value);
        checkWrite(path, original, before, sections, s, QStringLiteral("TZR_Senda_fuzz"), value);
    }
    checkWrite(path, original, before, sections, QStringLiteral("TZR"), QStringLiteral("IDIOMA"),
               QStringLiteral("FRANÇAIS"));
    return 0;
}
