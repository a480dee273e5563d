// Times a data file's history as it grows: one entry appended to a file that already holds
// 10,000, the check of those 10,000, and the size of the database member after ten years of ten
// entries a night (36,500). With --extrapolate the size at 36,500 is reckoned from the size at
// 10,000 instead of written.

#include "History.h"
#include "TableFamily.h"
#include "TzrError.h"
#include "UsersTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int HELD = 10000;
constexpr int TEN_YEARS = 36500;
constexpr int TIMED_APPENDS = 200;

// A night's send of changes: one code changed, one user added, one renamed.
HistoryEntry typical(int n)
{
    HistoryEntry e = History::start(History::Job::SendChanges, n % 32, QStringLiteral("COM1"));
    e.outcome = History::Outcome::Done;
    e.users = 120 + n % 200;
    e.changes = {
        {1 + n % 350,
         HistoryChange::Kind::CodeChanged,
         QStringLiteral("GARCIA LOPEZ %1").arg(n % 1000),
         {},
         {QStringLiteral("CODIGO")}},
        {1 + (n + 7) % 350,
         HistoryChange::Kind::Added,
         QStringLiteral("MARTIN RUIZ %1").arg(n % 997),
         {},
         {}},
        {1 + (n + 13) % 350,
         HistoryChange::Kind::FieldsChanged,
         QStringLiteral("SANCHEZ %1").arg(n % 991),
         QStringLiteral("SANCHEZ P %1").arg(n % 991),
         {QStringLiteral("NOMBRE"), QStringLiteral("LINEA2")}},
    };
    return e;
}

// Appends entries from..to-1 through one open history, as fast as the store takes them.
void fill(const DataFileRef &file, int from, int to)
{
    History history(file);
    for (int n = from; n < to; ++n) {
        HistoryEntry e = typical(n);
        history.append(e);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool extrapolate = app.arguments().contains(QStringLiteral("--extrapolate"));
    History::setProgram(QStringLiteral("tzr"), QStringLiteral("bench"));
    try {
        QTemporaryDir root;
        if (!root.isValid())
            throw TzrError(QStringLiteral("no temporary folder"));
        TableFamily::create(root.filePath(QStringLiteral("users")), UsersTable::descripcion());
        const DataFileRef file{root.path(), QStringLiteral("users.db")};
        const QString db = root.filePath(QStringLiteral("users.db"));

        QElapsedTimer timer;
        timer.start();
        fill(file, 0, HELD);
        const double fillSeconds = timer.nsecsElapsed() / 1e9;
        const qint64 bytesAtHeld = QFileInfo(db).size();

        // Each job opens the file's history, appends its one entry and closes it again.
        timer.start();
        for (int n = 0; n < TIMED_APPENDS; ++n) {
            HistoryEntry e = typical(HELD + n);
            const QString error = History::record(file, e);
            if (!error.isEmpty())
                throw TzrError(error);
        }
        const double appendMs = timer.nsecsElapsed() / 1e6 / TIMED_APPENDS;
        // Where that time goes: opening the file's history, and the write itself.
        timer.start();
        for (int n = 0; n < TIMED_APPENDS; ++n)
            History opened(file);
        const double openMs = timer.nsecsElapsed() / 1e6 / TIMED_APPENDS;
        double writeMs = 0;
        {
            History history(file);
            timer.start();
            for (int n = 0; n < TIMED_APPENDS; ++n) {
                HistoryEntry e = typical(HELD + TIMED_APPENDS + n);
                history.append(e);
            }
            writeMs = timer.nsecsElapsed() / 1e6 / TIMED_APPENDS;
        }
        const int held = HELD + 2 * TIMED_APPENDS;

        // The check of exactly 10,000 entries is timed on a copy that holds no more.
        const QString copy = root.filePath(QStringLiteral("copy"));
        TableFamily::create(copy, UsersTable::descripcion());
        const DataFileRef copyFile{root.path(), QStringLiteral("copy.db")};
        fill(copyFile, 0, HELD);
        timer.start();
        const History::Check check = History(copyFile).verify();
        const double verifyMs = timer.nsecsElapsed() / 1e6;
        if (!check.intact || check.count != HELD)
            throw TzrError(QStringLiteral("the check found %1 entries: %2").arg(check.count).arg(check.why));

        double megabytes = 0;
        if (extrapolate) {
            megabytes = double(bytesAtHeld) * TEN_YEARS / HELD / 1e6;
        } else {
            fill(file, held, TEN_YEARS);
            megabytes = QFileInfo(db).size() / 1e6;
            if (History(file).verify().count != TEN_YEARS)
                throw TzrError(QStringLiteral("the history lost entries"));
        }

        std::printf("history fill %d s: %.1f\n", HELD, fillSeconds);
        std::printf("history file MB at %d entries: %.2f\n", HELD, bytesAtHeld / 1e6);
        std::printf("history append ms: %.3f\n", appendMs);
        std::printf("history open ms: %.3f\n", openMs);
        std::printf("history append to an open history ms: %.3f\n", writeMs);
        std::printf("history verify %d ms: %.1f\n", HELD, verifyMs);
        std::printf("history file MB at %d entries: %.2f%s\n", TEN_YEARS, megabytes,
                    extrapolate ? " (extrapolated)" : "");
    } catch (const TzrError &e) {
        std::fprintf(stderr, "tzr-bench-history: %s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
