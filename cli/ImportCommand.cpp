#include "ImportCommand.h"

#include "Failure.h"
#include "TzrTool.h"
#include "UsersImport.h"

#include <QJsonArray>
#include <QJsonObject>

int ImportCommand::execute()
{
    const bool dryRun = m_options.parser->isSet(QStringLiteral("dry-run"));
    // A file that does not exist yet is made from the template, as a receive makes it.
    dataFile(m_options.arguments.at(0), true, dryRun ? Access::Reads : Access::Writes);
    const QString in = m_options.arguments.at(1);
    const ImportMode mode =
        m_options.parser->isSet(QStringLiteral("append")) ? ImportMode::Append : ImportMode::Replace;
    UsersImport import(*m_texts, m_korvel + QStringLiteral("/TZR_LANG.ini"));
    const QList<SheetRow> rows = UsersImport::readFile(in);
    const int existing = !m_data->isNew() ? UsersImport::rowCount(m_data->directory(), m_data->tableName()) : 0;
    const ImportPlan plan = import.plan(rows, mode, existing);
    if (!dryRun) {
        createDataFile();
        try {
            // A new file is filled under its working name and appears under its own only whole.
            UsersImport::apply(m_data->directory(), file().table, plan, mode);
            publishCreatedFile();
        } catch (...) {
            dropCreatedFile();
            throw;
        }
    }
    if (m_options.json) {
        QJsonArray problems;
        for (const ImportProblem &p : plan.problems)
            problems << QJsonObject{{QStringLiteral("line"), p.line}, {QStringLiteral("reason"), p.reason}};
        printJson(
            QJsonObject{{QStringLiteral("imported"), dryRun ? 0 : static_cast<int>(plan.rows.size())},
                        {QStringLiteral("accepted"), static_cast<int>(plan.rows.size())},
                        {QStringLiteral("header"), plan.header},
                        {QStringLiteral("mode"),
                         mode == ImportMode::Append ? QStringLiteral("append") : QStringLiteral("replace")},
                        {QStringLiteral("rejected"), problems}});
    }
    if (!m_options.quiet) {
        for (const ImportProblem &p : plan.problems)
            m_err << in << ':' << p.line << ": " << p.reason << '\n';
    }
    const QString users = counted("COUNT_USERS", static_cast<int>(plan.rows.size()), QStringLiteral("%1 user"),
                                  QStringLiteral("%1 users"));
    const QString rowsNotTaken = counted("COUNT_ROWS", static_cast<int>(plan.problems.size()),
                                         QStringLiteral("%1 row"), QStringLiteral("%1 rows"));
    note(dryRun ? say("CLI_IMPORT_DRY_N", QStringLiteral("%1 would be imported, %2 not taken; nothing changed"))
                      .arg(users, rowsNotTaken)
                : say("CLI_IMPORTED_N", QStringLiteral("Imported %1 into %2, %3 not taken"))
                      .arg(users, m_data->tableName(), rowsNotTaken));
    return plan.problems.isEmpty() ? TzrTool::Success : TzrTool::Incomplete;
}
