#include "History.h"

#include "CompareReport.h"
#include "CsvText.h"
#include "EndDates.h"
#include "SyncImageStore_p.h"
#include "SystemIdentity.h"
#include "TableStore.h"
#include "Transferencias.h"
#include "TzrError.h"
#include "UserArea.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString g_program;
QString g_version;

// Wide enough for any number of entries a file will ever hold, so that keys sort as numbers.
constexpr int KEY_WIDTH = 12;

const HistoryChange::Kind KINDS[] = {HistoryChange::Kind::Added, HistoryChange::Kind::Removed,
                                     HistoryChange::Kind::CodeChanged, HistoryChange::Kind::FieldsChanged,
                                     HistoryChange::Kind::Written, HistoryChange::Kind::Expired};

HistoryChange::Kind kindFromKey(const QString &key)
{
    for (HistoryChange::Kind k : KINDS) {
        if (HistoryChange::kindKey(k) == key)
            return k;
    }
    return HistoryChange::Kind::Written;
}

QString timeText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

} // namespace

QString HistoryChange::kindKey(Kind kind)
{
    switch (kind) {
    case Kind::Added:
        return QStringLiteral("added");
    case Kind::Removed:
        return QStringLiteral("removed");
    case Kind::CodeChanged:
        return QStringLiteral("code-changed");
    case Kind::FieldsChanged:
        return QStringLiteral("fields-changed");
    case Kind::Expired:
        return QStringLiteral("expired");
    case Kind::Written:
        break;
    }
    return QStringLiteral("written");
}

QJsonObject HistoryEntry::toJson() const
{
    QJsonArray changeList;
    for (const HistoryChange &c : changes) {
        QJsonObject o{{QStringLiteral("slot"), c.slot},
                      {QStringLiteral("change"), HistoryChange::kindKey(c.kind)},
                      {QStringLiteral("user"), c.user}};
        if (!c.previousUser.isEmpty())
            o.insert(QStringLiteral("previousUser"), c.previousUser);
        if (!c.fields.isEmpty())
            o.insert(QStringLiteral("fields"), QJsonArray::fromStringList(c.fields));
        changeList.append(o);
    }
    return {{QStringLiteral("sequence"), sequence},
            {QStringLiteral("time"), timeText(time)},
            {QStringLiteral("user"), user},
            {QStringLiteral("host"), host},
            {QStringLiteral("program"), program},
            {QStringLiteral("version"), version},
            {QStringLiteral("port"), port},
            {QStringLiteral("board"), board},
            {QStringLiteral("job"), job},
            {QStringLiteral("outcome"), outcome},
            {QStringLiteral("read"), read},
            {QStringLiteral("users"), users},
            {QStringLiteral("detail"), detail},
            {QStringLiteral("changes"), changeList},
            {QStringLiteral("previousHash"), previousHash},
            {QStringLiteral("hash"), hash}};
}

HistoryEntry HistoryEntry::fromJson(const QJsonObject &o)
{
    HistoryEntry e;
    e.sequence = o.value(QStringLiteral("sequence")).toInteger();
    e.time = QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
    e.user = o.value(QStringLiteral("user")).toString();
    e.host = o.value(QStringLiteral("host")).toString();
    e.program = o.value(QStringLiteral("program")).toString();
    e.version = o.value(QStringLiteral("version")).toString();
    e.port = o.value(QStringLiteral("port")).toString();
    e.board = o.value(QStringLiteral("board")).toInt(-1);
    e.job = o.value(QStringLiteral("job")).toString();
    e.outcome = o.value(QStringLiteral("outcome")).toString();
    e.read = o.value(QStringLiteral("read")).toBool();
    e.users = o.value(QStringLiteral("users")).toInt(-1);
    e.detail = o.value(QStringLiteral("detail")).toString();
    for (const QJsonValue &v : o.value(QStringLiteral("changes")).toArray()) {
        const QJsonObject c = v.toObject();
        HistoryChange change;
        change.slot = c.value(QStringLiteral("slot")).toInt();
        change.kind = kindFromKey(c.value(QStringLiteral("change")).toString());
        change.user = c.value(QStringLiteral("user")).toString();
        change.previousUser = c.value(QStringLiteral("previousUser")).toString();
        for (const QJsonValue &f : c.value(QStringLiteral("fields")).toArray())
            change.fields << f.toString();
        e.changes << change;
    }
    e.previousHash = o.value(QStringLiteral("previousHash")).toString();
    e.hash = o.value(QStringLiteral("hash")).toString();
    return e;
}

History::History(const DataFileRef &file) : History(file, false)
{
}

History::History(const DataFileRef &file, bool forAppend) : m_store(std::make_unique<TableStore>())
{
    const QString path = file.directory.isEmpty() || file.directory.endsWith(QLatin1Char('/'))
                             ? file.directory + file.table
                             : file.directory + QLatin1Char('/') + file.table;
    m_store->open(path, forAppend ? TableStore::Check::Schema : TableStore::Check::Whole);
}

History::~History() = default;

void History::setProgram(const QString &name, const QString &version)
{
    g_program = name;
    g_version = version;
}

HistoryEntry History::start(const QString &job, int board, const QString &port)
{
    HistoryEntry e;
    e.time = QDateTime::currentDateTimeUtc();
    e.user = SystemIdentity::userName();
    e.host = SystemIdentity::hostName();
    e.program = g_program.isEmpty() ? QCoreApplication::applicationName() : g_program;
    e.version = g_version;
    e.port = port;
    e.board = board;
    e.job = job;
    return e;
}

namespace {

QList<HistoryChange> changesOf(const CompareReport &report)
{
    QList<HistoryChange> changes;
    for (const CompareEntry &d : report.entries) {
        HistoryChange c;
        c.slot = d.slot + 1;
        switch (d.kind) {
        case CompareEntry::Kind::OnlyOnBoard:
            c.kind = HistoryChange::Kind::Removed;
            c.user = d.boardName;
            break;
        case CompareEntry::Kind::OnlyInFile:
            c.kind = HistoryChange::Kind::Added;
            c.user = d.fileName;
            break;
        case CompareEntry::Kind::Different:
            c.kind = d.fields == QStringList{QStringLiteral("CODIGO")} ? HistoryChange::Kind::CodeChanged
                                                                       : HistoryChange::Kind::FieldsChanged;
            c.user = d.fileName;
            if (d.boardName != d.fileName)
                c.previousUser = d.boardName;
            c.fields = d.fields;
            break;
        case CompareEntry::Kind::ExpiredOnBoard:
            c.kind = HistoryChange::Kind::Expired;
            c.user = d.boardName;
            break;
        }
        changes << c;
    }
    return changes;
}

} // namespace

QList<HistoryChange> History::changesBetween(const UserArea &before, const QList<RegistroEnvio> &after)
{
    return changesOf(CompareReport::compare(before, after));
}

QList<HistoryChange> History::changesBetween(const UserArea &before, const UserArea &after)
{
    return changesOf(CompareReport::compare(before, after));
}

QList<HistoryChange> History::written(const QList<RegistroEnvio> &after)
{
    QList<HistoryChange> changes;
    for (int i = 0; i < after.size(); ++i) {
        if (!after[i].leftOut)
            changes << HistoryChange{i + 1, HistoryChange::Kind::Written, after[i].fila.NOMBRE.trimmed(), {}, {}};
    }
    return changes;
}

QString History::keyOf(qint64 sequence)
{
    return QStringLiteral("%1").arg(sequence, KEY_WIDTH, 10, QLatin1Char('0'));
}

QString History::hashOf(const QString &previousHash, const QByteArray &content)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(previousHash.toLatin1());
    h.addData(QByteArrayView("\n"));
    h.addData(content);
    return QString::fromLatin1(h.result().toHex());
}

QByteArray History::stored(const QByteArray &content, const QString &hash)
{
    return content + '\n' + hash.toLatin1();
}

void History::append(HistoryEntry &entry)
{
    bool found = false;
    const TableStore::SideRecord last = m_store->lastSideRecord(Kind, &found);
    entry.sequence = 1;
    entry.previousHash = FirstPrevious;
    if (found) {
        const int cut = last.value.lastIndexOf('\n');
        const QString lastHash = cut < 0 ? QString() : QString::fromLatin1(last.value.mid(cut + 1));
        // A damaged last entry is not hidden by the next one: the chain goes on from what is there,
        // and a check still names the entry that does not fit.
        entry.sequence = last.key.toLongLong() + 1;
        entry.previousHash = lastHash;
    }
    QJsonObject content = entry.toJson();
    content.remove(QStringLiteral("hash"));
    const QByteArray bytes = QJsonDocument(content).toJson(QJsonDocument::Compact);
    entry.hash = hashOf(entry.previousHash, bytes);
    m_store->setSideRecord(Kind, keyOf(entry.sequence), stored(bytes, entry.hash));
}

QString History::record(const DataFileRef &file, HistoryEntry &entry)
{
    if (file.isEmpty())
        return {};
    try {
        History(file, true).append(entry);
    } catch (const TzrError &e) {
        return e.message();
    }
    return {};
}

QList<HistoryEntry> History::entries() const
{
    QList<HistoryEntry> list;
    for (const TableStore::SideRecord &r : m_store->sideRecords(Kind)) {
        const int cut = r.value.lastIndexOf('\n');
        const QJsonDocument doc = QJsonDocument::fromJson(cut < 0 ? r.value : r.value.left(cut));
        HistoryEntry e = doc.isObject() ? HistoryEntry::fromJson(doc.object()) : HistoryEntry{};
        if (!doc.isObject())
            e.sequence = r.key.toLongLong();
        if (cut >= 0)
            e.hash = QString::fromLatin1(r.value.mid(cut + 1));
        list << e;
    }
    return list;
}

History::Check History::verify() const
{
    Check check;
    QString previous = FirstPrevious;
    const auto bad = [&check](qint64 place, const QString &why) {
        if (check.intact) {
            check.intact = false;
            check.firstBad = place;
            check.why = why;
        }
    };
    for (const TableStore::SideRecord &r : m_store->sideRecords(Kind)) {
        const qint64 place = ++check.count;
        const int cut = r.value.lastIndexOf('\n');
        const QByteArray content = cut < 0 ? r.value : r.value.left(cut);
        const QString hash = cut < 0 ? QString() : QString::fromLatin1(r.value.mid(cut + 1));
        const QJsonDocument doc = QJsonDocument::fromJson(content);
        if (r.key != keyOf(place))
            bad(place, QStringLiteral("entry %1 is stored as %2").arg(place).arg(r.key));
        else if (!doc.isObject())
            bad(place, QStringLiteral("entry %1 cannot be read").arg(place));
        else if (doc.object().value(QStringLiteral("sequence")).toInteger() != place)
            bad(place, QStringLiteral("entry %1 says it is entry %2")
                           .arg(place)
                           .arg(doc.object().value(QStringLiteral("sequence")).toInteger()));
        else if (doc.object().value(QStringLiteral("previousHash")).toString() != previous)
            bad(place, QStringLiteral("entry %1 does not follow the entry before it").arg(place));
        else if (hashOf(previous, content) != hash)
            bad(place, QStringLiteral("entry %1 was changed after it was written").arg(place));
        previous = hash;
    }
    check.lastHash = check.count > 0 ? previous : QString();
    // A record moved out of the history by a changed kind is a stranger beside it.
    for (const QString &kind : m_store->sideKinds()) {
        if (kind != Kind && kind != SYNC_IMAGE_KIND && kind != QLatin1String(EndDates::Kind))
            bad(check.count + 1, QStringLiteral("a record of unknown kind '%1' stands beside the history").arg(kind));
    }
    return check;
}

QList<HistoryEntry> HistoryFilter::apply(const QList<HistoryEntry> &entries) const
{
    QList<HistoryEntry> kept;
    for (const HistoryEntry &e : entries) {
        if (board >= 0 && e.board != board)
            continue;
        if (since.isValid() && e.time < since)
            continue;
        if (user.isEmpty()) {
            kept << e;
            continue;
        }
        HistoryEntry named = e;
        named.changes.clear();
        for (const HistoryChange &c : e.changes) {
            if (c.user.contains(user, Qt::CaseInsensitive) || c.previousUser.contains(user, Qt::CaseInsensitive))
                named.changes << c;
        }
        if (!named.changes.isEmpty())
            kept << named;
    }
    return kept;
}

QByteArray History::toCsv(const QList<HistoryEntry> &entries)
{
    QList<QStringList> rows{{QStringLiteral("sequence"), QStringLiteral("time"), QStringLiteral("user"),
                             QStringLiteral("host"), QStringLiteral("program"), QStringLiteral("version"),
                             QStringLiteral("port"), QStringLiteral("board"), QStringLiteral("job"),
                             QStringLiteral("outcome"), QStringLiteral("read"), QStringLiteral("users"),
                             QStringLiteral("slot"), QStringLiteral("change"), QStringLiteral("slot_user"),
                             QStringLiteral("previous_user"), QStringLiteral("fields"), QStringLiteral("detail")}};
    for (const HistoryEntry &e : entries) {
        const QStringList head{QString::number(e.sequence),
                               timeText(e.time),
                               e.user,
                               e.host,
                               e.program,
                               e.version,
                               e.port,
                               e.board >= 0 ? QString::number(e.board) : QString(),
                               e.job,
                               e.outcome,
                               e.read ? QStringLiteral("yes") : QStringLiteral("no"),
                               e.users >= 0 ? QString::number(e.users) : QString()};
        if (e.changes.isEmpty())
            rows << head + QStringList{QString(), QString(), QString(), QString(), QString(), e.detail};
        for (const HistoryChange &c : e.changes)
            rows << head + QStringList{QString::number(c.slot), HistoryChange::kindKey(c.kind), c.user,
                                       c.previousUser, c.fields.join(QLatin1Char(' ')), e.detail};
    }
    return CsvText::write(rows);
}
