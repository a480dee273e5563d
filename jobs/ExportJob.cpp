#include "ExportJob.h"

#include "CsvText.h"
#include "FileData.h"
#include "Table.h"
#include "UsersExport.h"
#include "UsersTableRules.h"

int ExportJob::run(const QString &out, Format format, const QHash<QString, QString> &kinds)
{
    Table tabla;
    tabla.setDirectory(m_file.directory);
    tabla.setTableName(m_file.table);
    tabla.open();
    tabla.setGetTextHook(Campo::CODIGO, codigoGetText);
    if (m_byName)
        tabla.setIndexName(INDICE_NOMBRE);
    const int rows = tabla.recordCount();
    if (rows > 0) {
        switch (format) {
        case Format::Workbook:
            ToolExcelClick(tabla, out, kinds);
            break;
        case Format::Delimited:
            FileData::write(out, CsvText::write(exportRows(tabla, kinds)));
            break;
        }
    }
    tabla.close();
    return rows;
}
