#include "TableStore.h"

#include "PrivateFile.h"
#include "TableFamily.h"
#include "TzrError.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <set>

#include <unistd.h>

namespace {

// The stores with an open connection; one thread uses them all.
std::set<TableStore *> &openStores()
{
    static std::set<TableStore *> stores;
    return stores;
}

const QString ROWS_TABLE = QStringLiteral("registros");
const QString SIDE_TABLE = QStringLiteral("tzr_anexos");

QString quoted(const QString &identifier)
{
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

QString literal(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("''")) +
           QLatin1Char('\'');
}

QString columnList(const TableDescription &d)
{
    QStringList names;
    for (const TableDescription::Field &f : d.fields())
        names << quoted(f.name());
    return names.join(QLatin1String(", "));
}

QString text(sqlite3_stmt *statement, int column)
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(statement, column)) : QString();
}

// A prepared statement that is finalised however the scope is left.
class Query
{
public:
    Query(sqlite3 *db, const QString &sql)
    {
        const QByteArray utf8 = sql.toUtf8();
        m_rc = sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &m_statement, nullptr);
    }
    ~Query() { sqlite3_finalize(m_statement); }
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    bool prepared() const { return m_rc == SQLITE_OK; }
    // True while a row is available; false at the end or on an error (see done()).
    bool next()
    {
        m_rc = sqlite3_step(m_statement);
        return m_rc == SQLITE_ROW;
    }
    bool done() const { return m_rc == SQLITE_DONE; }
    sqlite3_stmt *get() const { return m_statement; }

private:
    sqlite3_stmt *m_statement = nullptr;
    int m_rc = SQLITE_OK;
};

} // namespace

TableStore::~TableStore()
{
    close();
}

void TableStore::createDatabase(const QString &path, const TableDescription &description)
{
    // The engine would create the file with the umask's rights: it is made owner-only first, and
    // the journals the engine makes beside it take the database's rights.
    ::close(PrivateFile::createNew(path));
    sqlite3 *db = nullptr;
    const QByteArray name = QFile::encodeName(path);
    int rc = sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    QString error;
    if (rc == SQLITE_OK) {
        QStringList columns{QStringLiteral("RECNO INTEGER PRIMARY KEY")};
        for (const TableDescription::Field &f : description.fields()) {
            columns << QStringLiteral("%1 TEXT NOT NULL DEFAULT %2 CHECK (length(%1) <= %3)")
                           .arg(quoted(f.name()), literal(f.defaultValue()))
                           .arg(f.width());
        }
        const QString indexField =
            description.fields().at(description.fieldIndex(description.indexField())).name();
        const QString sql =
            QStringLiteral("PRAGMA journal_mode=DELETE; BEGIN;"
                           "CREATE TABLE tzr_family (clave TEXT PRIMARY KEY, valor TEXT NOT NULL);"
                           "INSERT INTO tzr_family VALUES ('identity', %1), ('format', '1');"
                           "CREATE TABLE %2 (%3);"
                           "CREATE INDEX %4 ON %2 (%5, RECNO);"
                           "COMMIT;")
                .arg(literal(description.familyId()), ROWS_TABLE, columns.join(QLatin1String(", ")),
                     quoted(description.indexName()), quoted(indexField));
        char *message = nullptr;
        rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message);
        if (rc != SQLITE_OK)
            error = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
    } else {
        error = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    }
    sqlite3_close(db);
    if (!error.isEmpty()) {
        QFile::remove(path);
        throw IoError(QStringLiteral("Cannot create %1: %2").arg(path, error));
    }
}

void TableStore::open(const QString &path, Check check)
{
    close();
    const QString base = TableFamily::baseOf(path);
    const QString dbPath = base + QStringLiteral(".db");
    // A copy or Save as cut short by a crash is finished (or its working files removed) before
    // anything is read: the family is then whole.
    TableFamily::recover(base);

    for (const QString &member : TableFamily::members(base)) {
        const QFileInfo info(member);
        if (!info.exists())
            throw TzrError(QStringLiteral("The data file member %1 is missing").arg(member));
        QFile file(member);
        if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
            throw TzrError(
                QStringLiteral("The data file member %1 cannot be read: %2")
                    .arg(member, info.isFile() ? file.errorString() : QStringLiteral("not a file")));
        }
    }

    const QByteArray name = QFile::encodeName(dbPath);
    const int rc = sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    m_path = dbPath;
    try {
        if (rc != SQLITE_OK)
            fail(QStringLiteral("cannot be opened"));
        // A data file may come from elsewhere: nothing in its schema may run functions with side
        // effects, and the engine's own defences stay on.
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        QString databaseId;
        {
            Query q(m_db, QStringLiteral("SELECT valor FROM tzr_family WHERE clave = 'identity'"));
            if (!q.prepared() || !q.next())
                throw TzrError(QStringLiteral("The data file member %1 is damaged (%2)")
                                   .arg(dbPath, QString::fromUtf8(sqlite3_errmsg(m_db))));
            databaseId = text(q.get(), 0);
        }
        m_description = TableFamily::readDescription(base, databaseId);
        m_indexField = m_description.fieldIndex(m_description.indexField());
        refuseForeignObjects();
        verifyDatabase(base, check);

        exec("PRAGMA journal_mode=DELETE");
        exec("PRAGMA synchronous=FULL");
        const QString columns = columnList(m_description);
        QStringList marks, assignments;
        for (int i = 0; i < m_description.fields().size(); ++i) {
            marks << QStringLiteral("?%1").arg(i + 1);
            assignments
                << QStringLiteral("%1 = ?%2").arg(quoted(m_description.fields().at(i).name())).arg(i + 1);
        }
        const int recnoMark = static_cast<int>(m_description.fields().size()) + 1;
        const QByteArray insertSql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                         .arg(ROWS_TABLE, columns, marks.join(QLatin1Char(',')))
                                         .toUtf8();
        const QByteArray updateSql = QStringLiteral("UPDATE %1 SET %2 WHERE RECNO = ?%3")
                                         .arg(ROWS_TABLE, assignments.join(QLatin1Char(',')))
                                         .arg(recnoMark)
                                         .toUtf8();
        const QByteArray deleteSql =
            QStringLiteral("DELETE FROM %1 WHERE RECNO = ?1").arg(ROWS_TABLE).toUtf8();
        if (sqlite3_prepare_v2(m_db, insertSql.constData(), -1, &m_insert, nullptr) != SQLITE_OK ||
            sqlite3_prepare_v2(m_db, updateSql.constData(), -1, &m_update, nullptr) != SQLITE_OK ||
            sqlite3_prepare_v2(m_db, deleteSql.constData(), -1, &m_delete, nullptr) != SQLITE_OK)
            fail(QStringLiteral("cannot be used"));
    } catch (...) {
        close();
        throw;
    }
    openStores().insert(this);
}

void TableStore::refuseForeignObjects() const
{
    // Only what this tool makes: a trigger, a view or another table in a file from elsewhere
    // could change or add rows behind the tool's back (a trigger can plant a door code).
    const QStringList tables{ROWS_TABLE, QStringLiteral("tzr_family"), SIDE_TABLE};
    const QStringList indexes{m_description.indexName(), QStringLiteral("sqlite_autoindex_tzr_family_1"),
                              QStringLiteral("sqlite_autoindex_%1_1").arg(SIDE_TABLE)};
    Query q(m_db, QStringLiteral("SELECT type, name, tbl_name FROM sqlite_master ORDER BY type, name"));
    if (!q.prepared())
        fail(QStringLiteral("is damaged"));
    QStringList found;
    while (q.next()) {
        const QString type = text(q.get(), 0);
        const QString name = text(q.get(), 1);
        const QString table = text(q.get(), 2);
        const bool known = (type == QLatin1String("table") && tables.contains(name)) ||
                           (type == QLatin1String("index") && indexes.contains(name) && tables.contains(table));
        if (!known)
            found << QStringLiteral("%1 \"%2\"").arg(type, name);
    }
    if (!q.done())
        fail(QStringLiteral("is damaged"));
    if (!found.isEmpty())
        throw ForeignSchema(m_path, found);
}

void TableStore::verifyDatabase(const QString &base, Check check) const
{
    const QString val = base + QStringLiteral(".val");
    const QString xg0 = base + QStringLiteral(".XG0");
    if (check == Check::Whole) {
        Query q(m_db, QStringLiteral("PRAGMA quick_check"));
        if (!q.prepared() || !q.next() || text(q.get(), 0) != QLatin1String("ok"))
            fail(QStringLiteral("is damaged"));
    }
    QStringList columns;
    {
        Query q(m_db, QStringLiteral("PRAGMA table_info(%1)").arg(ROWS_TABLE));
        while (q.next())
            columns << text(q.get(), 1);
    }
    QStringList expected{QStringLiteral("RECNO")};
    for (const TableDescription::Field &f : m_description.fields())
        expected << f.name();
    if (columns != expected)
        fail(QStringLiteral("does not hold the fields of %1").arg(val));

    QStringList indexColumns;
    {
        Query q(m_db, QStringLiteral("PRAGMA index_info(%1)").arg(quoted(m_description.indexName())));
        while (q.next())
            indexColumns << text(q.get(), 2);
    }
    const QStringList expectedIndex{m_description.fields().at(m_indexField).name(), QStringLiteral("RECNO")};
    if (indexColumns != expectedIndex)
        fail(QStringLiteral("does not hold the index of %1").arg(xg0));
}

void TableStore::close()
{
    sqlite3_finalize(m_insert);
    sqlite3_finalize(m_update);
    sqlite3_finalize(m_delete);
    m_insert = m_update = m_delete = nullptr;
    openStores().erase(this);
    if (m_db) {
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }
    m_db = nullptr;
    m_path.clear();
    m_description = TableDescription();
    m_indexField = -1;
}

QList<TableStore::Row> TableStore::load(bool byIndex) const
{
    const QString order =
        byIndex ? quoted(m_description.fields().at(m_indexField).name()) + QStringLiteral(", RECNO")
                : QStringLiteral("RECNO");
    Query q(m_db, QStringLiteral("SELECT RECNO, %1 FROM %2 ORDER BY %3")
                      .arg(columnList(m_description), ROWS_TABLE, order));
    if (!q.prepared())
        fail(QStringLiteral("cannot be read"));
    const int fields = static_cast<int>(m_description.fields().size());
    QList<Row> rows;
    rows.reserve(512);
    while (q.next()) {
        Row row;
        row.recno = sqlite3_column_int64(q.get(), 0);
        row.values.reserve(fields);
        for (int i = 0; i < fields; ++i)
            row.values << text(q.get(), i + 1);
        rows << std::move(row);
    }
    if (!q.done())
        fail(QStringLiteral("cannot be read"));
    return rows;
}

void TableStore::step(sqlite3_stmt *statement, const QStringList &values, qint64 recno) const
{
    QList<QByteArray> texts;
    texts.reserve(values.size());
    for (int i = 0; i < values.size(); ++i) {
        texts << normalised(i, values.at(i)).toUtf8();
        sqlite3_bind_text(statement, i + 1, texts.last().constData(), static_cast<int>(texts.last().size()),
                          SQLITE_STATIC);
    }
    if (recno > 0)
        sqlite3_bind_int64(statement, static_cast<int>(values.size()) + 1, recno);
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (rc != SQLITE_DONE)
        fail(QStringLiteral("cannot be written"));
}

qint64 TableStore::insert(const QStringList &values)
{
    step(m_insert, values, 0);
    return sqlite3_last_insert_rowid(m_db);
}

void TableStore::update(qint64 recno, const QStringList &values)
{
    step(m_update, values, recno);
}

void TableStore::remove(qint64 recno)
{
    sqlite3_bind_int64(m_delete, 1, recno);
    const int rc = sqlite3_step(m_delete);
    sqlite3_reset(m_delete);
    if (rc != SQLITE_DONE)
        fail(QStringLiteral("cannot be written"));
}

bool TableStore::hasSideTable() const
{
    Query q(m_db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = %1")
                      .arg(literal(SIDE_TABLE)));
    if (!q.prepared())
        fail(QStringLiteral("cannot be read"));
    return q.next();
}

QByteArray TableStore::sideRecord(const QString &kind, const QString &key, bool *found) const
{
    if (found)
        *found = false;
    if (!m_db)
        throw TzrError(QStringLiteral("The table is not open"));
    if (!hasSideTable())
        return {};
    Query q(m_db, QStringLiteral("SELECT valor FROM %1 WHERE clase = ?1 AND clave = ?2").arg(SIDE_TABLE));
    if (!q.prepared())
        fail(QStringLiteral("cannot be read"));
    const QByteArray k1 = kind.toUtf8();
    const QByteArray k2 = key.toUtf8();
    sqlite3_bind_text(q.get(), 1, k1.constData(), static_cast<int>(k1.size()), SQLITE_STATIC);
    sqlite3_bind_text(q.get(), 2, k2.constData(), static_cast<int>(k2.size()), SQLITE_STATIC);
    if (!q.next()) {
        if (!q.done())
            fail(QStringLiteral("cannot be read"));
        return {};
    }
    if (found)
        *found = true;
    const auto *bytes = static_cast<const char *>(sqlite3_column_blob(q.get(), 0));
    return QByteArray(bytes, sqlite3_column_bytes(q.get(), 0));
}

void TableStore::setSideRecord(const QString &kind, const QString &key, const QByteArray &value)
{
    if (!m_db)
        throw TzrError(QStringLiteral("The table is not open"));
    exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (clase TEXT NOT NULL, clave TEXT NOT NULL, "
                        "valor BLOB NOT NULL, PRIMARY KEY (clase, clave))")
             .arg(SIDE_TABLE)
             .toUtf8()
             .constData());
    Query q(m_db, QStringLiteral("INSERT OR REPLACE INTO %1 (clase, clave, valor) VALUES (?1, ?2, ?3)")
                      .arg(SIDE_TABLE));
    if (!q.prepared())
        fail(QStringLiteral("cannot be written"));
    const QByteArray k1 = kind.toUtf8();
    const QByteArray k2 = key.toUtf8();
    sqlite3_bind_text(q.get(), 1, k1.constData(), static_cast<int>(k1.size()), SQLITE_STATIC);
    sqlite3_bind_text(q.get(), 2, k2.constData(), static_cast<int>(k2.size()), SQLITE_STATIC);
    sqlite3_bind_blob(q.get(), 3, value.constData(), static_cast<int>(value.size()), SQLITE_STATIC);
    if (q.next() || !q.done())
        fail(QStringLiteral("cannot be written"));
}

void TableStore::removeSideRecord(const QString &kind, const QString &key)
{
    if (!m_db)
        throw TzrError(QStringLiteral("The table is not open"));
    if (!hasSideTable())
        return;
    Query q(m_db, QStringLiteral("DELETE FROM %1 WHERE clase = ?1 AND clave = ?2").arg(SIDE_TABLE));
    if (!q.prepared())
        fail(QStringLiteral("cannot be written"));
    const QByteArray k1 = kind.toUtf8();
    const QByteArray k2 = key.toUtf8();
    sqlite3_bind_text(q.get(), 1, k1.constData(), static_cast<int>(k1.size()), SQLITE_STATIC);
    sqlite3_bind_text(q.get(), 2, k2.constData(), static_cast<int>(k2.size()), SQLITE_STATIC);
    if (q.next() || !q.done())
        fail(QStringLiteral("cannot be written"));
}

QList<TableStore::SideRecord> TableStore::sideRecords(const QString &kind) const
{
    if (!m_db)
        throw TzrError(QStringLiteral("The table is not open"));
    QList<SideRecord> records;
    if (!hasSideTable())
        return records;
    Query q(m_db, QStringLiteral("SELECT clave, valor FROM %1 WHERE clase = ?1 ORDER BY clave").arg(SIDE_TABLE));
    if (!q.prepared())
        fail(QStringLiteral("cannot be read"));
    const QByteArray k1 = kind.toUtf8();
    sqlite3_bind_text(q.get(), 1, k1.constData(), static_cast<int>(k1.size()), SQLITE_STATIC);
    while (q.next()) {
        const auto *key = reinterpret_cast<const char *>(sqlite3_column_text(q.get(), 0));
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(q.get(), 1));
        records.append({QString::fromUtf8(key, sqlite3_column_bytes(q.get(), 0)),
                        QByteArray(bytes, sqlite3_column_bytes(q.get(), 1))});
    }
    if (!q.done())
        fail(QStringLiteral("cannot be read"));
    return records;
}

TableStore::SideRecord TableStore::lastSideRecord(const QString &kind, bool *found) const
{
    *found = false;
    if (!m_db)
        throw TzrError(QStringLiteral("The table is not open"));
    if (!hasSideTable())
        return {};
    Query q(m_db, QStringLiteral("SELECT clave, valor FROM %1 WHERE clase = ?1 ORDER BY clave DESC LIMIT 1")
                      .arg(SIDE_TABLE));
    if (!q.prepared())
        fail(QStringLiteral("cannot be read"));
    const QByteArray k1 = kind.toUtf8();
    sqlite3_bind_text(q.get(), 1, k1.constData(), static_cast<int>(k1.size()), SQLITE_STATIC);
    if (!q.next()) {
        if (!q.done())
            fail(QStringLiteral("cannot be read"));
        return {};
    }
    *found = true;
    const auto *key = reinterpret_cast<const char *>(sqlite3_column_text(q.get(), 0));
    const auto *bytes = static_cast<const char *>(sqlite3_column_blob(q.get(), 1));
    return {QString::fromUtf8(key, sqlite3_column_bytes(q.get(), 0)),
            QByteArray(bytes, sqlite3_column_bytes(q.get(), 1))};
}

QStringList TableStore::sideKinds() const
{
    if (!m_db)
        throw TzrError(QStringLiteral("The table is not open"));
    QStringList kinds;
    if (!hasSideTable())
        return kinds;
    Query q(m_db, QStringLiteral("SELECT DISTINCT clase FROM %1 ORDER BY clase").arg(SIDE_TABLE));
    if (!q.prepared())
        fail(QStringLiteral("cannot be read"));
    while (q.next()) {
        const auto *kind = reinterpret_cast<const char *>(sqlite3_column_text(q.get(), 0));
        kinds << QString::fromUtf8(kind, sqlite3_column_bytes(q.get(), 0));
    }
    if (!q.done())
        fail(QStringLiteral("cannot be read"));
    return kinds;
}

void TableStore::begin()
{
    exec("BEGIN IMMEDIATE");
}

void TableStore::commit()
{
    exec("COMMIT");
}

void TableStore::rollback()
{
    // A full disk can already have rolled the transaction back.
    if (inTransaction())
        exec("ROLLBACK");
}

void TableStore::rollBackAll()
{
    for (TableStore *store : openStores()) {
        if (store->inTransaction())
            sqlite3_exec(store->m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

qint64 TableStore::dataVersion() const
{
    Query q(m_db, QStringLiteral("PRAGMA data_version"));
    if (!q.prepared() || !q.next())
        fail(QStringLiteral("cannot be read"));
    return sqlite3_column_int64(q.get(), 0);
}

bool TableStore::inTransaction() const
{
    return m_db && !sqlite3_get_autocommit(m_db);
}

QString TableStore::normalised(int field, const QString &value) const
{
    const int width = m_description.fields().at(field).width();
    QString v = value;
    if (v.size() > width) {
        v.truncate(width);
        if (v.back().isHighSurrogate())
            v.chop(1);
    }
    qsizetype end = v.size();
    while (end > 0 && v.at(end - 1) == QLatin1Char(' '))
        --end;
    v.truncate(end);
    return v;
}

bool TableStore::before(const Row &a, const Row &b, int indexField)
{
    if (indexField >= 0) {
        const QByteArray ka = a.values.at(indexField).toUtf8();
        const QByteArray kb = b.values.at(indexField).toUtf8();
        if (ka != kb)
            return ka < kb;
    }
    return a.recno < b.recno;
}

void TableStore::exec(const char *sql) const
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QStringLiteral("cannot be written"));
}

void TableStore::fail(const QString &what) const
{
    const QString detail = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
    throw TzrError(QStringLiteral("The data file member %1 %2: %3").arg(m_path, what, detail));
}
