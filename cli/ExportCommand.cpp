#include "ExportCommand.h"

#include "CodeEntry.h"
#include "CsvText.h"
#include "Failure.h"
#include "FileData.h"
#include "Table.h"
#include "TzrTool.h"
#include "UsersExport.h"
#include "UsersTableRules.h"

#include <QJsonArray>
#include <QJsonObject>

int ExportCommand::execute()
{
    dataFile(m_options.arguments.at(0), false, Access::Reads);
    const QString out = m_options.arguments.at(1);
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != QLatin1String("xls") && suffix != QLatin1String("csv"))
        throw Failure{TzrTool::Usage, QStringLiteral("the export file must end in .xls or .csv")};
    Table tabla;
    tabla.setDirectory(m_directory);
    tabla.setTableName(m_tableName);
    tabla.open();
    tabla.setGetTextHook(Campo::CODIGO, codigoGetText);
    if (m_options.parser->isSet(QStringLiteral("by-name")))
        tabla.setIndexName(INDICE_NOMBRE);
    const int rows = tabla.recordCount();
    if (rows == 0) {
        note(say("CLI_NO_USERS", QStringLiteral("%1 holds no users; nothing written")).arg(m_tableName));
    } else if (suffix == QLatin1String("xls")) {
        ToolExcelClick(tabla, out, kindsInCurrentLanguage(*m_texts));
    } else {
        FileData::write(out, CsvText::write(exportRows(tabla, kindsInCurrentLanguage(*m_texts))));
    }
    tabla.close();
    if (m_options.json)
        printJson(
            QJsonObject{{QStringLiteral("users"), rows}, {QStringLiteral("file"), rows ? out : QString()}});
    else if (rows)
        note(say("CLI_EXPORTED", QStringLiteral("Exported %1 users to %2")).arg(rows).arg(out));
    return TzrTool::Success;
}
