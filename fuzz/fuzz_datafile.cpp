// Opening a data file whose five member files come from anywhere (copied from another PC, cut
// short, edited). The input holds the four description members, each after a two-byte length,
// then the rows member (.db) to its end. Opening must either work or raise TzrError having
// changed nothing; an open table must hold rows that fit their fields, and a row added to it
// must either be stored whole or refused with the table as it was.

#include "FicheroActual.h"
#include "Table.h"
#include "TableFamily.h"
#include "TzrError.h"
#include "UsersTable.h"
#include "UsersTableRules.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_datafile: invariant broken: %s\n", what);
    std::abort();
}

#define CHECK(cond)                                                                                          \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            fail(#cond);                                                                                     \
    } while (false)

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail("cannot write a member file");
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<missing>");
    return file.readAll();
}

using Snapshot = QMap<QString, QByteArray>;

Snapshot snapshot(const QDir &dir)
{
    Snapshot files;
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        files.insert(name, readFile(dir.filePath(name)));
    return files;
}

struct Rows
{
    QList<QStringList> values;
    bool operator==(const Rows &) const = default;
};

// Walks the table as the grid and the send do, checking every value against its field.
Rows walk(Table &t)
{
    Rows rows;
    CHECK(t.isOpen());
    const int fields = t.fieldCount();
    CHECK(fields >= 0);
    int seen = 0;
    if (t.recordCount() > 0) {
        CHECK(t.first());
        while (true) {
            QStringList row;
            for (int f = 0; f < fields; ++f) {
                const QString name = t.fieldName(f);
                const QString value = t.value(name);
                CHECK(value.size() <= t.fieldSize(name));
                CHECK(!value.endsWith(QLatin1Char(' ')));
                t.displayText(name);
                row << value;
            }
            rows.values << row;
            ++seen;
            CHECK(seen <= t.recordCount());
            const int before = t.currentRow();
            t.next();
            if (t.eof() || t.currentRow() == before)
                break;
        }
    }
    CHECK(seen == t.recordCount());
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!folder().isValid())
        fail("no temporary folder");
    QDir dir(folder().path());
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);

    // .px .val .XG0 .YG0, each after its length, then .db.
    static const char *const described[] = {".px", ".val", ".XG0", ".YG0"};
    size_t at = 0;
    for (const char *extension : described) {
        size_t length = 0;
        if (at + 2 <= size) {
            length = data[at] | (size_t(data[at + 1]) << 8);
            at += 2;
        } else {
            at = size;
        }
        length = std::min(length, size - at);
        writeFile(dir.filePath(QStringLiteral("users") + QLatin1String(extension)),
                  QByteArray(reinterpret_cast<const char *>(data + at), qsizetype(length)));
        at += length;
    }
    writeFile(dir.filePath(QStringLiteral("users.db")),
              QByteArray(reinterpret_cast<const char *>(data + at), qsizetype(size - at)));
    const Snapshot original = snapshot(dir);

    FicheroActual fichero;
    fichero.setDirectorio_Trabajo(dir.path() + QLatin1Char('/'));
    fichero.setNombre_Tabla(QStringLiteral("users.db"));
    UsersTable users(fichero);
    Table &t = users.Table1();
    try {
        users.Activa_Tabla(true);
    } catch (const TzrError &) {
        CHECK(!t.isOpen());
        CHECK(snapshot(dir) == original);
        return 0;
    }
    const Rows before = walk(t);
    users.ToolOrdenClick(true);
    CHECK(walk(t).values.size() == before.values.size());
    users.ToolOrdenClick(false);

    // A user typed into the grid: the table's rules complete the row before it is stored.
    bool stored = false;
    QStringList added;
    try {
        if (t.append()) {
            const QStringList names{QString(Campo::NOMBRE), QString(Campo::CALL), QString(Campo::TZR),
                                    QString(Campo::CODIGO)};
            const QStringList texts{QStringLiteral("Fuzz Pérez"), QStringLiteral("1234"),
                                    QStringLiteral("123"), QStringLiteral("1234")};
            for (int i = 0; i < names.size(); ++i) {
                if (t.fieldIndex(names[i]) >= 0)
                    t.setValue(names[i], texts[i]);
            }
            stored = t.post();
            if (!stored)
                t.cancel();
        }
    } catch (const TzrError &) {
        stored = false;
        t.cancel();
    }
    users.Activa_Tabla(false);

    try {
        users.Activa_Tabla(true);
    } catch (const TzrError &) {
        // Whatever was stored must open again: the family was fine a moment ago.
        fail("a family that opened no longer opens after adding a row");
    }
    const Rows after = walk(t);
    if (stored) {
        CHECK(after.values.size() == before.values.size() + 1);
    } else {
        CHECK(after == before);
    }
    users.Activa_Tabla(false);
    return 0;
}
