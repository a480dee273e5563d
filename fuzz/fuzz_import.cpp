// The CSV and spreadsheet import on any file. Byte 0 of the input picks the reader (bit 0: .xls)
// and the mode (bit 1: append, else replace); the rest is the file. The plan must respect the
// table's limit and fields, and storing it must either leave every planned row in the data file
// or, refused, leave the data file exactly as it was.

#include "FixedTexts.h"
#include "TableCursor.h"
#include "TableFamily.h"
#include "TzrError.h"
#include "UsersImport.h"
#include "UsersTable.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_import: invariant broken: %s\n", what);
    std::abort();
}

#define CHECK(cond)                                                                                          \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            fail(#cond);                                                                                     \
    } while (false)

constexpr int LIMITE = 350;

struct Rig
{
    QTemporaryDir dir;
    FixedTexts texts;
    QString pristine;
    int existing = 0;

    Rig()
    {
        if (!dir.isValid())
            fail("no temporary folder");
        pristine = dir.filePath(QStringLiteral("pristine"));
        TableFamily::create(pristine, UsersTable::descripcion());
        ImportPlan plan;
        plan.rows << QStringList{QStringLiteral("JUAN"),   QStringLiteral("0123"), QStringLiteral("123"),
                                 QStringLiteral("12AB00"), QStringLiteral(""),     QStringLiteral(""),
                                 QStringLiteral("Keypad")};
        plan.rows << QStringList{QStringLiteral("ANA"),        QStringLiteral("4567"), QStringLiteral("089"),
                                 QStringLiteral("0123456789"), QStringLiteral("L2"),   QStringLiteral("X"),
                                 QStringLiteral("Card")};
        UsersImport::apply(dir.path(), QStringLiteral("pristine.db"), plan, ImportMode::Replace);
        existing = UsersImport::rowCount(dir.path(), QStringLiteral("pristine.db"));
        CHECK(existing == 2);
    }
};

Rig &rig()
{
    static Rig r;
    return r;
}

QList<QStringList> rowsOf(const QString &directory, const QString &name)
{
    QList<QStringList> rows;
    TableCursor cursor;
    cursor.open(directory, name);
    cursor.first();
    while (!cursor.eof()) {
        QStringList row;
        for (int f = 0; f < cursor.fieldCount(); ++f)
            row << cursor.value(cursor.fieldName(f));
        rows << row;
        cursor.next();
    }
    cursor.close();
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    Rig &r = rig();
    const bool xls = data[0] & 1;
    const ImportMode mode = (data[0] & 2) ? ImportMode::Append : ImportMode::Replace;
    const QString input = r.dir.filePath(xls ? QStringLiteral("input.xls") : QStringLiteral("input.csv"));
    {
        QFile file(input);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fail("cannot write the input file");
        file.write(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    }

    QList<SheetRow> sheet;
    try {
        sheet = UsersImport::readFile(input);
    } catch (const TzrError &) {
        return 0;
    }
    const UsersImport import(r.texts, QString());
    const ImportPlan plan = import.plan(sheet, mode, r.existing);
    const int room = mode == ImportMode::Append ? LIMITE - r.existing : LIMITE;
    CHECK(plan.rows.size() <= room);
    CHECK(plan.rows.size() + plan.problems.size() <= sheet.size());
    for (const QStringList &row : plan.rows)
        CHECK(row.size() == 7);

    const QString work = r.dir.filePath(QStringLiteral("users"));
    TableFamily::remove(work);
    TableFamily::copy(r.pristine, work);
    const QList<QStringList> before = rowsOf(r.dir.path(), QStringLiteral("users.db"));
    try {
        UsersImport::apply(r.dir.path(), QStringLiteral("users.db"), plan, mode);
    } catch (const TzrError &) {
        CHECK(rowsOf(r.dir.path(), QStringLiteral("users.db")) == before);
        return 0;
    }
    const QList<QStringList> after = rowsOf(r.dir.path(), QStringLiteral("users.db"));
    const int expected = int(plan.rows.size()) + (mode == ImportMode::Append ? r.existing : 0);
    CHECK(after.size() == expected);
    if (mode == ImportMode::Append)
        CHECK(after.mid(0, r.existing) == before);
    return 0;
}
