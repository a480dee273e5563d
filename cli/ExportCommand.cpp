#include "ExportCommand.h"

#include "CodeEntry.h"
#include "ExportJob.h"
#include "Failure.h"
#include "TzrTool.h"

#include <QJsonArray>
#include <QJsonObject>

int ExportCommand::execute()
{
    dataFile(m_options.arguments.at(0), false, Access::Reads);
    const QString out = m_options.arguments.at(1);
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != QLatin1String("xls") && suffix != QLatin1String("csv"))
        throw Failure{TzrTool::Usage, QStringLiteral("the export file must end in .xls or .csv")};
    ExportJob job(file());
    job.setByName(m_options.parser->isSet(QStringLiteral("by-name")));
    const int rows = job.run(out, suffix == QLatin1String("xls") ? ExportJob::Format::Workbook : ExportJob::Format::Delimited,
                             kindsInCurrentLanguage(*m_texts));
    if (rows == 0)
        note(say("CLI_NO_USERS", QStringLiteral("%1 holds no users; nothing written")).arg(m_data->tableName()));
    if (m_options.json)
        printJson(
            QJsonObject{{QStringLiteral("users"), rows}, {QStringLiteral("file"), rows ? out : QString()}});
    else if (rows)
        note(say("CLI_EXPORTED", QStringLiteral("Exported %1 users to %2")).arg(rows).arg(out));
    return TzrTool::Success;
}
