// The CSV and spreadsheet import on any file. Byte 0 of the input picks the reader (bit 0: .xls),
// the mode (bit 1: append, else replace) and the data file (bit 2: one nearly full, which the plan
// is made for as if it were empty, as when the file changed between plan and store); the rest is
// the file. Every planned row must be one the grid's entry rules would store unchanged, the plan
// must respect the limit it was made for, and storing it must either leave every planned row in
// the data file or, refused, leave the data file exactly as it was.

#include "CodeEntry.h"
#include "EndDates.h"
#include "FixedTexts.h"
#include "KeyFilters.h"
#include "TableCursor.h"
#include "TableFamily.h"
#include "TzrError.h"
#include "UsersImport.h"
#include "UsersTable.h"
#include "UsersTableRules.h"

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

QStringList user(const QString &name, const QString &call, const QString &tzr, const QString &code,
                 const QString &kind)
{
    return {name, call, tzr, code, QString(), QString(), kind};
}

struct Rig
{
    QTemporaryDir dir;
    FixedTexts texts;
    QString pristine;
    QString full;
    int existing = 0;
    int fullRows = 0;

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

        full = dir.filePath(QStringLiteral("full"));
        TableFamily::create(full, UsersTable::descripcion());
        ImportPlan many;
        for (int n = 0; n < LIMITE - 1; ++n)
            many.rows << user(QStringLiteral("U%1").arg(n), QStringLiteral("%1").arg(n, 4, 10, QLatin1Char('0')),
                              QStringLiteral("001"), QStringLiteral("123456"), QStringLiteral("Keypad"));
        UsersImport::apply(dir.path(), QStringLiteral("full.db"), many, ImportMode::Replace);
        fullRows = UsersImport::rowCount(dir.path(), QStringLiteral("full.db"));
        CHECK(fullRows == LIMITE - 1);
    }
};

bool digits(const QString &text, qsizetype size)
{
    if (text.size() != size)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// What the grid's key filter lets through unchanged, within the field's width.
// A text that arrives whole keeps what its field takes whole (a board record's characters for the
// name and second line), within the field's width.
bool typeable(const QString &field, const QString &text, qsizetype widthOfField)
{
    if (text.size() > widthOfField)
        return false;
    for (const QChar c : text) {
        if (c.unicode() < 32 || DBGrid1TextChar(field, c) != c)
            return false;
    }
    return true;
}

// A planned row is what the grid stores of it arriving whole: fields through their rules and
// widths, the code as the code editor leaves it, the before-post rules already applied.
void checkEntryRules(const QStringList &row, const FixedTexts &texts)
{
    CHECK(row.size() == 7);
    CHECK(typeable(QString(Campo::NOMBRE), row[0], 16));
    CHECK(digits(row[1], 4));
    CHECK(digits(row[2], 3));
    const CodeExit exit = normalizedCode(row[3] == CODIGO_VACIO ? QString() : row[3]);
    CHECK(exit.outcome != CodeExit::Outcome::Beep);
    CHECK(exit.code == row[3]);
    for (const QChar c : row[3])
        CHECK(edtCodeKeyPress(c).key == c);
    QString code = row[3];
    QString call = row[1];
    QString tzr = row[2];
    CHECK(beforePostRules(code, call, tzr));
    CHECK(code == row[3] && call == row[1] && tzr == row[2]);
    CHECK(typeable(QString(Campo::LINEA2), row[4], 16));
    CHECK(row[5].isEmpty() || row[5] == QLatin1String("X"));
    const QString button = texts.texto(QStringLiteral("K_LLAVE"), QStringLiteral("Button"));
    CHECK(row[6] == codeKind(row[3], texts) || (row[3] != CODIGO_VACIO && row[6] == button));
}

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
    const bool stale = data[0] & 4;
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
    // A stale plan counts no rows in the file; the file then holds 349.
    const int counted = stale ? 0 : r.existing;
    const ImportPlan plan = import.plan(sheet, mode, counted);
    const int room = mode == ImportMode::Append ? LIMITE - counted : LIMITE;
    CHECK(plan.rows.size() <= room);
    CHECK(plan.rows.size() + plan.problems.size() <= sheet.size());
    for (const QStringList &row : plan.rows)
        checkEntryRules(row, r.texts);
    // One end per planned row when the file has the column, none without it.
    CHECK(plan.endDates.size() == (plan.hasEndDates ? plan.rows.size() : 0));

    const QString work = r.dir.filePath(QStringLiteral("users"));
    TableFamily::remove(work);
    TableFamily::copy(stale ? r.full : r.pristine, work);
    const int held = stale ? r.fullRows : r.existing;
    const QList<QStringList> before = rowsOf(r.dir.path(), QStringLiteral("users.db"));
    try {
        UsersImport::apply(r.dir.path(), QStringLiteral("users.db"), plan, mode);
    } catch (const TzrError &) {
        // Only a plan that no longer fits may be refused, and then nothing of it is stored.
        CHECK(mode == ImportMode::Append && held + plan.rows.size() > LIMITE);
        CHECK(rowsOf(r.dir.path(), QStringLiteral("users.db")) == before);
        return 0;
    }
    const QList<QStringList> after = rowsOf(r.dir.path(), QStringLiteral("users.db"));
    const int expected = int(plan.rows.size()) + (mode == ImportMode::Append ? held : 0);
    CHECK(after.size() == expected);
    if (mode == ImportMode::Append)
        CHECK(after.mid(0, held) == before);
    // Every imported user has the end its row gave; without the column the file kept none.
    TableStore store;
    store.open(r.dir.filePath(QStringLiteral("users.db")));
    const EndDates dates = EndDates::load(store);
    if (!plan.hasEndDates)
        CHECK(dates.isEmpty());
    QHash<QString, QDate> last;
    for (qsizetype i = 0; i < plan.endDates.size(); ++i)
        last.insert(EndDates::keyOf(plan.rows[i][0], plan.rows[i][3]), plan.endDates[i]);
    for (auto it = last.cbegin(); it != last.cend(); ++it) {
        bool found = false;
        for (const TableStore::SideRecord &rec : store.sideRecords(QString::fromLatin1(EndDates::Kind))) {
            if (rec.key == it.key()) {
                found = true;
                CHECK(EndDates::parse(QString::fromLatin1(rec.value)) == it.value());
            }
        }
        CHECK(found == it.value().isValid());
    }
    return 0;
}
