// Times the users-directory operations on a full board's worth of users (350 rows): opening the
// data file and reading every row, ordering by name, exporting to a workbook, Save as, and
// importing a 350-row CSV list.

#include "CsvText.h"
#include "DataFileCommands.h"
#include "FicheroActual.h"
#include "FileData.h"
#include "FixedTexts.h"
#include "TableCursor.h"
#include "TableFamily.h"
#include "TzrError.h"
#include "UsersExport.h"
#include "UsersImport.h"
#include "UsersTable.h"
#include "UsersTableRules.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int ROWS = 350;
constexpr int RUNS = 9;

void fill(const QString &folder, const QString &name)
{
    TableCursor cursor;
    cursor.open(folder, name);
    cursor.begin();
    for (int i = 0; i < ROWS; ++i) {
        cursor.insert();
        cursor.setValue(Campo::NOMBRE,
                        QStringLiteral("USER %1").arg((i * 7919) % 1000, 3, 10, QLatin1Char('0')));
        cursor.setValue(Campo::CALL, QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0')));
        cursor.setValue(Campo::TZR, QStringLiteral("%1").arg(i % 1000, 3, 10, QLatin1Char('0')));
        cursor.setValue(Campo::CODIGO, i % 3 ? QStringLiteral("%1").arg(i, 10, 10, QLatin1Char('1'))
                                             : QString(CODIGO_VACIO));
        cursor.setValue(Campo::LINEA2, QStringLiteral("FLOOR %1").arg(i % 12));
        cursor.setValue(Campo::LINEA2_ON, i % 2 ? QStringLiteral("X") : QString());
        cursor.setValue(Campo::TIPO_CODE, i % 3 ? QStringLiteral("Card") : QString());
        cursor.post();
    }
    cursor.commit();
}

// Reads every field of every row the way the grid shows them.
qsizetype readAll(const Table &table)
{
    qsizetype characters = 0;
    for (int r = 0; r < table.rowCount(); ++r) {
        for (int f = 0; f < table.fieldCount(); ++f)
            characters += table.displayText(r, table.fieldName(f)).size();
    }
    return characters;
}

double medianMs(const std::function<void(int)> &run)
{
    QList<double> times;
    for (int i = 0; i < RUNS; ++i) {
        QElapsedTimer timer;
        timer.start();
        run(i);
        times << timer.nsecsElapsed() / 1e6;
    }
    std::sort(times.begin(), times.end());
    return times.at(RUNS / 2);
}

} // namespace

int main()
{
    try {
        QTemporaryDir root;
        const QString work = root.filePath(QStringLiteral("work/"));
        const QString other = root.filePath(QStringLiteral("other/"));
        QDir().mkpath(work);
        QDir().mkpath(other);
        TableFamily::create(root.filePath(QStringLiteral("Patron")), UsersTable::descripcion());

        FicheroActual fichero;
        UsersTable users(fichero);
        FixedTexts texts;
        DataFileCommands commands(fichero, users, texts, root.path(), [] {});
        if (commands.ToolNuevoClick(work + QStringLiteral("users.db")).outcome !=
            FileCommandResult::Outcome::Done)
            throw TzrError(QStringLiteral("cannot create the data file"));
        users.Activa_Tabla(false);
        fill(work, QStringLiteral("users.db"));

        qsizetype sink = 0;
        const double open = medianMs([&](int) {
            users.Activa_Tabla(true);
            sink += readAll(users.Table1());
        });
        const double order = medianMs([&](int i) {
            users.ToolOrdenClick(i % 2 == 0);
            sink += readAll(users.Table1());
        });
        users.ToolOrdenClick(true);
        const QString workbook = root.filePath(QStringLiteral("users.xls"));
        const double exported = medianMs([&](int) {
            if (!ToolExcelClick(users.Table1(), workbook))
                throw TzrError(QStringLiteral("nothing exported"));
        });
        const double saveAs = medianMs([&](int i) {
            const QString target = (i % 2 ? work : other) + QStringLiteral("copy%1.db").arg(i);
            const FileCommandResult r = commands.ToolSalvarClick(target);
            if (r.outcome != FileCommandResult::Outcome::Done)
                throw TzrError(QStringLiteral("Save as failed: %1").arg(r.error));
        });
        if (users.Table1().recordCount() != ROWS || sink == 0)
            throw TzrError(QStringLiteral("the table lost rows"));

        // A 350-row list in the export's CSV form, imported (read, checked, stored) into a file.
        const QString list = root.filePath(QStringLiteral("users.csv"));
        FileData::write(list, CsvText::write(exportRows(users.Table1())));
        users.Activa_Tabla(false);
        TableFamily::copy(root.filePath(QStringLiteral("Patron")), work + QStringLiteral("imported"));
        const UsersImport import(texts, QString());
        int imported = 0;
        const double importCsv = medianMs([&](int) {
            const ImportPlan plan = import.plan(UsersImport::readFile(list), ImportMode::Replace, 0);
            UsersImport::apply(work, QStringLiteral("imported.db"), plan, ImportMode::Replace);
            imported = static_cast<int>(plan.rows.size());
        });
        if (imported != ROWS || UsersImport::rowCount(work, QStringLiteral("imported.db")) != ROWS)
            throw TzrError(QStringLiteral("the import lost rows"));

        std::printf("rows: %d\n", ROWS);
        std::printf("open_350_ms: %.2f\n", open);
        std::printf("order_350_ms: %.2f\n", order);
        std::printf("export_350_ms: %.2f\n", exported);
        std::printf("save_as_350_ms: %.2f\n", saveAs);
        std::printf("import_csv_350_ms: %.2f\n", importCsv);
    } catch (const TzrError &e) {
        std::fprintf(stderr, "tzr-bench-directory: %s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
