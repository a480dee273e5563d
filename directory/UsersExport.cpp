#include "UsersExport.h"

#include "EndDates.h"
#include "Table.h"
#include "UsersTableRules.h"
#include "XlsWriter.h"

namespace {

QString trimmed(const QString &text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start).unicode() <= 32)
        ++start;
    while (end > start && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(start, end - start);
}

QString columnLetters(int column)
{
    QString letters;
    for (int n = column; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters;
}

} // namespace

QList<QStringList> exportRows(const Table &Table1, const QHash<QString, QString> &kinds)
{
    QList<QStringList> rows;
    if (!Table1.isOpen())
        return rows;
    QStringList fields;
    for (int f = 0; f < Table1.fieldCount(); ++f)
        fields << Table1.fieldName(f);
    rows.reserve(Table1.rowCount());
    // The end dates follow the fields only where a user has one, so a list of users without
    // ends is written as before.
    const EndDates dates = EndDates::load(Table1);
    for (int r = 0; r < Table1.rowCount(); ++r) {
        QStringList cells;
        for (const QString &field : fields) {
            const QString text = trimmed(Table1.displayText(r, field));
            cells << (field == Campo::TIPO_CODE ? kinds.value(text, text) : text);
        }
        if (!dates.isEmpty()) {
            const QDate until = dates.dateOf(Table1.value(r, Campo::NOMBRE), Table1.value(r, Campo::CODIGO));
            cells << (until.isValid() ? EndDates::text(until) : QString());
        }
        rows << cells;
    }
    return rows;
}

QString exportRange(int rows, int columns)
{
    return QStringLiteral("A1:%1%2").arg(columnLetters(columns)).arg(rows);
}

bool ToolExcelClick(Table &Table1, const QString &nombre, const QHash<QString, QString> &kinds)
{
    if (nombre.isEmpty() || !Table1.isOpen() || Table1.recordCount() == 0)
        return false;
    if (!Table1.checkBrowseMode())
        return false;
    XlsWriter::write(nombre, exportRows(Table1, kinds));
    return true;
}
