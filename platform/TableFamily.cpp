#include "TableFamily.h"

#include "PrivateFile.h"
#include "TableStore.h"
#include "TzrError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray MAGIC = QByteArrayLiteral("TZR table member");
const QByteArray FORMAT = QByteArrayLiteral("1");
constexpr qint64 COPY_CHUNK = 64 * 1024;

const QString KIND_PRIMARY = QStringLiteral("primary-key");
const QString KIND_VALIDITY = QStringLiteral("validity");
const QString KIND_INDEX = QStringLiteral("index");
const QString KIND_INDEX_ORDER = QStringLiteral("index-order");
const QString PRIMARY_KEY = QStringLiteral("RECNO");

QString kindOf(const QString &extension)
{
    if (extension == QLatin1String(".px"))
        return KIND_PRIMARY;
    if (extension == QLatin1String(".val"))
        return KIND_VALIDITY;
    if (extension == QLatin1String(".XG0"))
        return KIND_INDEX;
    return KIND_INDEX_ORDER;
}

QString journalOf(const QString &base)
{
    return base + QStringLiteral(".db-journal");
}

QString randomTag()
{
    return QUuid::createUuid().toString(QUuid::Id128).left(12);
}

const QString WORKING_MARK = QStringLiteral(".tzr-new-");

QString workingBaseOf(const QString &base, const QString &tag)
{
    const QFileInfo info(base);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + WORKING_MARK + tag;
}

// Beside base while a publish is under way: the tag of the working family that becomes base.
QString noteOf(const QString &base)
{
    const QFileInfo info(base);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".tzr-publish");
}

// Moves whatever members of the working family are still there into place. The journal of the
// family replaced would be played back into the new database: it goes first.
void finishPublish(const QString &base, const QString &tag)
{
    const QString working = workingBaseOf(base, tag);
    const QStringList from = TableFamily::members(working);
    const QStringList to = TableFamily::members(base);
    if (QFileInfo::exists(from.at(0)))
        QFile::remove(journalOf(base));
    for (int i = 0; i < from.size(); ++i) {
        if (!QFileInfo::exists(from.at(i)))
            continue;
        if (::rename(QFile::encodeName(from.at(i)).constData(), QFile::encodeName(to.at(i)).constData()) != 0)
            throw IoError(QStringLiteral("Cannot write %1: %2").arg(to.at(i), QString::fromLocal8Bit(std::strerror(errno))));
    }
    QFile::remove(journalOf(working));
    PrivateFile::syncFolderOf(base);
    // A note that comes back after a power cut finds nothing left to move.
    QFile::remove(noteOf(base));
}

[[noreturn]] void damaged(const QString &path, const QString &why)
{
    throw TzrError(QStringLiteral("The data file member %1 is damaged (%2)").arg(path, why));
}

QString directoryOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

// One parsed description member: its entries (tab-separated lines) between the header and the
// check line.
struct Member
{
    QString familyId;
    QList<QStringList> entries;
};

Member parseMember(const QString &path, const QString &kind)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw IoError(
            QStringLiteral("The data file member %1 cannot be read: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw IoError(
            QStringLiteral("The data file member %1 cannot be read: %2").arg(path, file.errorString()));

    if (!bytes.endsWith('\n'))
        damaged(path, QStringLiteral("truncated"));
    const qsizetype checkStart = bytes.lastIndexOf('\n', bytes.size() - 2) + 1;
    const QByteArray checkLine = bytes.mid(checkStart, bytes.size() - checkStart - 1);
    const QByteArray body = bytes.left(checkStart);
    const QByteArray expected =
        QByteArrayLiteral("check\t") + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();
    if (checkLine != expected)
        damaged(path, QStringLiteral("check sum mismatch"));

    const QString text = QString::fromUtf8(body);
    QStringList lines = text.split(QLatin1Char('\n'));
    lines.removeLast(); // body ends with a line break
    if (lines.size() < 4 || lines.at(0).toUtf8() != MAGIC ||
        lines.at(1) != QStringLiteral("format\t") + QString::fromLatin1(FORMAT))
        damaged(path, QStringLiteral("not a table member"));
    if (lines.at(2) != QStringLiteral("kind\t") + kind)
        damaged(path, QStringLiteral("not a %1 member").arg(kind));
    if (!lines.at(3).startsWith(QLatin1String("family\t")))
        damaged(path, QStringLiteral("no family identity"));

    Member m;
    m.familyId = lines.at(3).mid(7);
    for (qsizetype i = 4; i < lines.size(); ++i)
        m.entries << lines.at(i).split(QLatin1Char('\t'));
    return m;
}

QStringList entry(const Member &m, const QString &key, const QString &path)
{
    for (const QStringList &e : m.entries) {
        if (e.first() == key)
            return e;
    }
    damaged(path, QStringLiteral("no %1 entry").arg(key));
}

bool moveFile(const QString &from, const QString &to, QString *why)
{
    QFile file(from);
    if (file.rename(to))
        return true;
    *why = file.errorString();
    return false;
}

// Finishes a Save as move: member by member, the old name's own file goes to the new name and
// the copy takes its place. Whether a member's copy is still there says how far it got, so the
// same steps finish any cut-short run.
void finishMove(const QString &from, const QString &to, const QString &tag)
{
    const QString working = workingBaseOf(from, tag);
    const QStringList copies = TableFamily::members(working);
    const QStringList own = TableFamily::members(from);
    const QStringList targets = TableFamily::members(to);
    if (QFileInfo::exists(copies.at(0)))
        QFile::remove(journalOf(to));
    const auto move = [](const QString &a, const QString &b) {
        if (::rename(QFile::encodeName(a).constData(), QFile::encodeName(b).constData()) != 0)
            throw IoError(QStringLiteral("Cannot rename %1 to %2: %3")
                              .arg(a, b, QString::fromLocal8Bit(std::strerror(errno))));
    };
    for (int i = 0; i < copies.size(); ++i) {
        if (!QFileInfo::exists(copies.at(i)))
            continue;
        if (QFileInfo::exists(own.at(i)))
            move(own.at(i), targets.at(i));
        move(copies.at(i), own.at(i));
    }
    QFile::remove(journalOf(working));
    PrivateFile::syncFolderOf(to);
    if (directoryOf(to) != directoryOf(from))
        PrivateFile::syncFolderOf(from);
    // A note that comes back after a power cut only runs these steps again, which find nothing
    // left to move: its removal needs no sync of its own.
    QFile::remove(noteOf(to));
    QFile::remove(noteOf(from));
}

} // namespace

const QStringList &TableFamily::extensions()
{
    static const QStringList list{QStringLiteral(".db"), QStringLiteral(".px"), QStringLiteral(".val"),
                                  QStringLiteral(".XG0"), QStringLiteral(".YG0")};
    return list;
}

QString TableFamily::baseOf(const QString &path)
{
    // A file dialog returns the extension as typed: "USERS.DB" names the family "USERS".
    return path.endsWith(QLatin1String(".db"), Qt::CaseInsensitive) ? path.chopped(3) : path;
}

QStringList TableFamily::members(const QString &base)
{
    QStringList list;
    for (const QString &ext : extensions())
        list << base + ext;
    return list;
}

bool TableFamily::exists(const QString &base)
{
    const QStringList paths = members(base) << journalOf(base);
    for (const QString &path : paths) {
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            return true;
    }
    return false;
}

QByteArray TableFamily::memberText(const QString &kind, const QString &familyId,
                                   const QList<QStringList> &entries)
{
    QByteArray body = MAGIC + '\n';
    body += QByteArrayLiteral("format\t") + FORMAT + '\n';
    body += QStringLiteral("kind\t%1\n").arg(kind).toUtf8();
    body += QStringLiteral("family\t%1\n").arg(familyId).toUtf8();
    for (const QStringList &e : entries)
        body += e.join(QLatin1Char('\t')).toUtf8() + '\n';
    return body + QByteArrayLiteral("check\t") +
           QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() + '\n';
}

void TableFamily::create(const QString &base, const TableDescription &description)
{
    const QString problem = description.problem();
    if (!problem.isEmpty())
        throw TzrError(QStringLiteral("Cannot create the table %1: %2").arg(base, problem));
    for (const QString &path : members(base)) {
        if (QFileInfo::exists(path))
            throw IoError(QStringLiteral("Cannot create %1: the file already exists").arg(path));
    }

    const QString id = QUuid::createUuid().toString(QUuid::Id128);
    QList<QStringList> fields;
    for (const TableDescription::Field &f : description.fields())
        fields << QStringList{QStringLiteral("field"), f.name(), QString::number(f.width()),
                              f.defaultValue()};
    const QString indexField =
        description.fields().at(description.fieldIndex(description.indexField())).name();
    const QList<QByteArray> texts{
        memberText(
            KIND_PRIMARY, id,
            {{QStringLiteral("key"), PRIMARY_KEY}, {QStringLiteral("order"), QStringLiteral("insertion")}}),
        memberText(KIND_VALIDITY, id, fields),
        memberText(
            KIND_INDEX, id,
            {{QStringLiteral("index"), description.indexName()}, {QStringLiteral("field"), indexField}}),
        memberText(KIND_INDEX_ORDER, id,
                   {{QStringLiteral("index"), description.indexName()},
                    {QStringLiteral("order"), QStringLiteral("ascending")},
                    {QStringLiteral("collation"), QStringLiteral("binary")},
                    {QStringLiteral("ties"), PRIMARY_KEY}}),
    };

    const QStringList paths = members(base);
    QStringList written;
    try {
        TableDescription stamped = description;
        stamped.setFamilyId(id);
        TableStore::createDatabase(paths.at(0), stamped);
        written << paths.at(0);
        for (int i = 0; i < texts.size(); ++i) {
            PrivateFile::writeNew(paths.at(i + 1), texts.at(i));
            written << paths.at(i + 1);
        }
    } catch (...) {
        for (const QString &path : written)
            QFile::remove(path);
        QFile::remove(journalOf(base));
        throw;
    }
    PrivateFile::syncFolderOf(base);
}

void TableFamily::remove(const QString &base)
{
    const QStringList paths = members(base) << journalOf(base);
    for (const QString &path : paths) {
        if (QFileInfo::exists(path) && !QFile::remove(path))
            throw IoError(QStringLiteral("Cannot remove %1").arg(path));
    }
}

TableDescription TableFamily::readDescription(const QString &base, const QString &databaseFamilyId)
{
    const QStringList paths = members(base);
    QList<Member> parsed;
    for (int i = 1; i < paths.size(); ++i)
        parsed << parseMember(paths.at(i), kindOf(extensions().at(i)));

    // The identity most members agree on is the family's; a tie goes to the database.
    QStringList ids{databaseFamilyId};
    for (const Member &m : parsed)
        ids << m.familyId;
    QString reference = databaseFamilyId;
    int best = static_cast<int>(ids.count(reference));
    for (const QString &id : ids) {
        if (ids.count(id) > best) {
            best = static_cast<int>(ids.count(id));
            reference = id;
        }
    }
    for (int i = 0; i < ids.size(); ++i) {
        if (ids.at(i) != reference)
            throw TzrError(
                QStringLiteral("The data file member %1 belongs to another data file").arg(paths.at(i)));
    }

    const Member &px = parsed.at(0);
    if (entry(px, QStringLiteral("key"), paths.at(1)).value(1) != PRIMARY_KEY)
        damaged(paths.at(1), QStringLiteral("unknown primary key"));

    QList<TableDescription::Field> fields;
    for (const QStringList &e : parsed.at(1).entries) {
        bool ok = false;
        const int width = e.value(2).toInt(&ok);
        if (e.size() != 4 || e.first() != QLatin1String("field") || !ok)
            damaged(paths.at(2), QStringLiteral("bad field entry"));
        fields << TableDescription::Field(e.at(1), width, e.at(3));
    }

    const QString indexName = entry(parsed.at(2), QStringLiteral("index"), paths.at(3)).value(1);
    const QString indexField = entry(parsed.at(2), QStringLiteral("field"), paths.at(3)).value(1);
    const Member &yg = parsed.at(3);
    if (entry(yg, QStringLiteral("index"), paths.at(4)).value(1) != indexName)
        damaged(paths.at(4), QStringLiteral("describes another index"));
    if (entry(yg, QStringLiteral("order"), paths.at(4)).value(1) != QLatin1String("ascending") ||
        entry(yg, QStringLiteral("collation"), paths.at(4)).value(1) != QLatin1String("binary") ||
        entry(yg, QStringLiteral("ties"), paths.at(4)).value(1) != PRIMARY_KEY)
        damaged(paths.at(4), QStringLiteral("unknown index order"));

    TableDescription description(fields, indexName, indexField);
    const QString problem = description.problem();
    if (!problem.isEmpty())
        damaged(fields.isEmpty() ? paths.at(2) : paths.at(3), problem);
    description.setFamilyId(reference);
    return description;
}

void TableFamily::rename(const QString &fromPath, const QString &toPath)
{
    const QString from = baseOf(fromPath);
    const QString to = baseOf(toPath);
    if (from == to)
        return;
    QStringList sources = members(from);
    QStringList targets = members(to);
    const QString targetFolder = directoryOf(to);
    if (!QFileInfo(targetFolder).isDir())
        throw IoError(QStringLiteral("Cannot rename %1 to %2: the folder %3 does not exist")
                          .arg(fromPath, toPath, targetFolder));
    for (const QString &path : sources) {
        if (!QFileInfo::exists(path))
            throw IoError(
                QStringLiteral("Cannot rename %1: the data file member %2 is missing").arg(fromPath, path));
    }
    for (const QString &path : targets << journalOf(to)) {
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            throw IoError(
                QStringLiteral("Cannot rename %1 to %2: %3 already exists").arg(fromPath, toPath, path));
    }
    targets.removeLast();
    if (QFileInfo::exists(journalOf(from))) {
        sources << journalOf(from);
        targets << journalOf(to);
    }

    for (int i = 0; i < sources.size(); ++i) {
        QString why;
        if (moveFile(sources.at(i), targets.at(i), &why))
            continue;
        for (int j = i - 1; j >= 0; --j) {
            QString ignored;
            moveFile(targets.at(j), sources.at(j), &ignored);
        }
        throw IoError(QStringLiteral("Cannot rename %1 to %2: %3").arg(sources.at(i), targets.at(i), why));
    }
    PrivateFile::syncFolderOf(from);
    if (directoryOf(to) != directoryOf(from))
        PrivateFile::syncFolderOf(to);
}

QString TableFamily::workingBase(const QString &base)
{
    const QFileInfo info(base);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + WORKING_MARK + randomTag();
}

QString TableFamily::copyToWorking(const QString &fromBase, const QString &toBase)
{
    const QStringList sources = members(fromBase);
    const QStringList finals = members(toBase);
    const QString working = workingBase(toBase);
    const QStringList targets = members(working);
    struct stat folder {};
    const int folderError = ::stat(QFile::encodeName(directoryOf(toBase)).constData(), &folder) != 0 ? errno
                            : S_ISDIR(folder.st_mode)                                              ? 0
                                                                                                   : ENOTDIR;
    if (folderError != 0)
        throw IoError(QStringLiteral("Cannot create %1: %2")
                          .arg(finals.at(0), QString::fromLocal8Bit(std::strerror(folderError))));
    QStringList temporaries;
    auto discard = [&temporaries] {
        for (const QString &path : temporaries)
            QFile::remove(path);
    };

    for (int i = 0; i < sources.size(); ++i) {
        QFile source(sources.at(i));
        if (!source.open(QIODevice::ReadOnly)) {
            discard();
            throw IoError(QStringLiteral("Cannot read %1: %2").arg(sources.at(i), source.errorString()));
        }
        // Owner-only from the first byte; a member replaced keeps the mode its owner gave it.
        int fd = -1;
        try {
            fd = PrivateFile::createNew(targets.at(i));
        } catch (const IoError &e) {
            discard();
            throw IoError(QStringLiteral("Cannot create %1: %2")
                              .arg(finals.at(i), e.message().section(QStringLiteral(": "), -1)));
        }
        temporaries << targets.at(i);
        struct stat old {};
        if (::stat(QFile::encodeName(finals.at(i)).constData(), &old) == 0 && S_ISREG(old.st_mode))
            ::fchmod(fd, old.st_mode & 07777);
        QFile target;
        target.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
        while (!source.atEnd()) {
            const QByteArray chunk = source.read(COPY_CHUNK);
            if (source.error() != QFileDevice::NoError) {
                discard();
                throw IoError(QStringLiteral("Cannot read %1: %2").arg(sources.at(i), source.errorString()));
            }
            if (target.write(chunk) != chunk.size()) {
                discard();
                throw IoError(QStringLiteral("Cannot write %1: %2").arg(finals.at(i), target.errorString()));
            }
        }
        if (!target.flush()) {
            discard();
            throw IoError(QStringLiteral("Cannot write %1: %2").arg(finals.at(i), target.errorString()));
        }
    }
    // Synced together once all are written: the first sync's journal commit carries most of
    // the others' data, so the rest are cheap.
    for (qsizetype i = 0; i < temporaries.size(); ++i) {
        try {
            PrivateFile::syncFile(temporaries.at(i));
        } catch (const IoError &e) {
            discard();
            throw IoError(QStringLiteral("Cannot write %1: %2")
                              .arg(finals.at(i), e.message().section(QStringLiteral(": "), -1)));
        }
    }
    return working;
}

void TableFamily::copy(const QString &fromBase, const QString &toBase)
{
    const QString working = copyToWorking(fromBase, toBase);
    try {
        publish(working, toBase);
    } catch (...) {
        if (!QFileInfo::exists(noteOf(toBase)))
            discardWorking(working);
        throw;
    }
}

void TableFamily::publish(const QString &working, const QString &base)
{
    const QString tag = working.mid(working.lastIndexOf(WORKING_MARK) + WORKING_MARK.size());
    if (workingBaseOf(base, tag) != working)
        throw IoError(QStringLiteral("Cannot write %1: %2 is not its working copy").arg(base, working));
    for (const QString &path : members(working)) {
        if (!QFileInfo(path).isFile())
            throw IoError(QStringLiteral("Cannot write %1: the data file member %2 is missing").arg(base, path));
        PrivateFile::syncFile(path);
    }
    // From here on the new family is whole on disk and the note says where it goes: a crash is
    // finished forward, never back to a mix.
    PrivateFile::write(noteOf(base), tag.toLatin1() + '\n');
    finishPublish(base, tag);
}

void TableFamily::moveLeavingCopy(const QString &fromBase, const QString &toBase)
{
    const QString from = baseOf(fromBase);
    const QString to = baseOf(toBase);
    struct stat fromFolder {}, toFolder {};
    if (::stat(QFile::encodeName(directoryOf(to)).constData(), &toFolder) != 0)
        throw IoError(QStringLiteral("Cannot create %1: %2")
                          .arg(to + QStringLiteral(".db"), QString::fromLocal8Bit(std::strerror(errno))));
    if (!S_ISDIR(toFolder.st_mode))
        throw IoError(QStringLiteral("Cannot create %1: %2")
                          .arg(to + QStringLiteral(".db"), QString::fromLocal8Bit(std::strerror(ENOTDIR))));
    for (const QString &path : members(from)) {
        if (!QFileInfo(path).isFile())
            throw IoError(
                QStringLiteral("Cannot rename %1: the data file member %2 is missing").arg(fromBase, path));
    }
    if (::stat(QFile::encodeName(directoryOf(from)).constData(), &fromFolder) != 0 ||
        fromFolder.st_dev != toFolder.st_dev) {
        copy(from, to);
        return;
    }
    // The copy that stays under the old name is made beside it.
    const QString working = copyToWorking(from, from);
    const QString tag = working.mid(working.lastIndexOf(WORKING_MARK) + WORKING_MARK.size());
    try {
        PrivateFile::write(noteOf(to), tag.toLatin1() + "\nfrom\n" + QFile::encodeName(from) + '\n',
                           PrivateFile::Existing::MakeOwnerOnly, false);
    } catch (...) {
        discardWorking(working);
        throw;
    }
    try {
        PrivateFile::write(noteOf(from), tag.toLatin1() + "\nto\n" + QFile::encodeName(to) + '\n',
                           PrivateFile::Existing::MakeOwnerOnly, false);
    } catch (...) {
        QFile::remove(noteOf(to));
        discardWorking(working);
        throw;
    }
    // Both notes are on disk before any member moves.
    PrivateFile::syncFolderOf(to);
    if (directoryOf(to) != directoryOf(from))
        PrivateFile::syncFolderOf(from);
    finishMove(from, to, tag);
}

void TableFamily::discardWorking(const QString &working)
{
    const QStringList paths = members(working) << journalOf(working);
    for (const QString &path : paths)
        QFile::remove(path);
}

TableFamily::Recovery TableFamily::recover(const QString &base)
{
    Recovery done = Recovery::Nothing;
    const QString note = noteOf(base);
    if (QFileInfo::exists(note)) {
        QList<QByteArray> lines;
        try {
            lines = PrivateFile::read(note, 4096).split('\n');
        } catch (const IoError &) {
        }
        const QByteArray tag = lines.value(0);
        const bool valid = tag.size() == 12 && std::all_of(tag.cbegin(), tag.cend(), [](char c) {
                               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                           });
        const QByteArray kind = lines.value(1);
        const QString other = QFile::decodeName(lines.value(2));
        if (valid && kind.isEmpty()) {
            finishPublish(base, QString::fromLatin1(tag));
            done = Recovery::Finished;
        } else if (valid && (kind == "to" || kind == "from") && !other.isEmpty()) {
            if (kind == "to")
                finishMove(base, other, QString::fromLatin1(tag));
            else
                finishMove(other, base, QString::fromLatin1(tag));
            done = Recovery::Finished;
        } else {
            QFile::remove(note);
        }
    }
    // What is left is a family that was still being made: it never was the data file.
    const QFileInfo info(base);
    const QString prefix = QLatin1Char('.') + info.fileName() + WORKING_MARK;
    // A note cut short while it was written is left under its writer's temporary name.
    const QString notePrefix = QFileInfo(note).fileName() + QLatin1Char('.');
    const QStringList left =
        QDir(info.absolutePath()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &name : left) {
        if (name.startsWith(notePrefix)) {
            QFile::remove(info.absolutePath() + QLatin1Char('/') + name);
            continue;
        }
        if (!name.startsWith(prefix))
            continue;
        QFile::remove(info.absolutePath() + QLatin1Char('/') + name);
        if (done == Recovery::Nothing)
            done = Recovery::Removed;
    }
    if (done != Recovery::Nothing)
        PrivateFile::syncFolderOf(base);
    return done;
}
