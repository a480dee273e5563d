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

void TableFamily::copy(const QString &fromBase, const QString &toBase)
{
    const QStringList sources = members(fromBase);
    const QStringList targets = members(toBase);
    const QString tag = randomTag();
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
        const QString temporary = targets.at(i) + QStringLiteral(".tzr-new-") + tag;
        // Owner-only from the first byte; a member replaced keeps the mode its owner gave it.
        int fd = -1;
        try {
            fd = PrivateFile::createNew(temporary);
        } catch (const IoError &) {
            discard();
            throw;
        }
        temporaries << temporary;
        struct stat old {};
        if (::stat(QFile::encodeName(targets.at(i)).constData(), &old) == 0 && S_ISREG(old.st_mode))
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
                throw IoError(QStringLiteral("Cannot write %1: %2").arg(targets.at(i), target.errorString()));
            }
        }
        if (!target.flush()) {
            discard();
            throw IoError(QStringLiteral("Cannot write %1: %2").arg(targets.at(i), target.errorString()));
        }
    }
    // Synced together once all are written: the first sync's journal commit carries most of
    // the others' data, so the rest are cheap.
    for (qsizetype i = 0; i < temporaries.size(); ++i) {
        QFile written(temporaries.at(i));
        if (!written.open(QIODevice::ReadWrite) || !PrivateFile::syncDescriptor(written.handle())) {
            const QString why =
                written.isOpen() ? QString::fromLocal8Bit(std::strerror(errno)) : written.errorString();
            discard();
            throw IoError(QStringLiteral("Cannot write %1: %2").arg(targets.at(i), why));
        }
    }

    // Existing members step aside first, so a failed move can put everything back. A journal
    // left beside the old database would be played back into the new one: it goes too.
    QString journalAside;
    if (QFileInfo::exists(journalOf(toBase))) {
        journalAside = journalOf(toBase) + QStringLiteral(".tzr-old-") + tag;
        QString why;
        if (!moveFile(journalOf(toBase), journalAside, &why)) {
            discard();
            throw IoError(QStringLiteral("Cannot replace %1: %2").arg(journalOf(toBase), why));
        }
    }
    QStringList asides(targets.size());
    QList<bool> placed(targets.size(), false);
    auto restore = [&] {
        for (int i = 0; i < targets.size(); ++i) {
            if (placed.at(i))
                QFile::remove(targets.at(i));
            if (!asides.at(i).isEmpty())
                QFile::rename(asides.at(i), targets.at(i));
        }
        if (!journalAside.isEmpty())
            QFile::rename(journalAside, journalOf(toBase));
        discard();
    };
    for (int i = 0; i < targets.size(); ++i) {
        QString why;
        if (QFileInfo::exists(targets.at(i))) {
            const QString aside = targets.at(i) + QStringLiteral(".tzr-old-") + tag;
            if (!moveFile(targets.at(i), aside, &why)) {
                restore();
                throw IoError(QStringLiteral("Cannot replace %1: %2").arg(targets.at(i), why));
            }
            asides[i] = aside;
        }
        if (!moveFile(temporaries.at(i), targets.at(i), &why)) {
            restore();
            throw IoError(QStringLiteral("Cannot write %1: %2").arg(targets.at(i), why));
        }
        placed[i] = true;
    }
    for (const QString &aside : asides << journalAside) {
        if (!aside.isEmpty())
            QFile::remove(aside);
    }
    PrivateFile::syncFolderOf(toBase);
}
