#include "UsersImport.h"

#include "CodeEntry.h"
#include "CsvText.h"
#include "EndDates.h"
#include "FileData.h"
#include "KeyFilters.h"
#include "ProfileFile.h"
#include "TableCursor.h"
#include "TextLookup.h"
#include "TzrError.h"
#include "UsersTable.h"
#include "UsersTableRules.h"
#include "XlsReader.h"

#include <QFileInfo>

namespace {

const QList<QLatin1String> &fields()
{
    static const QList<QLatin1String> list{Campo::NOMBRE, Campo::CALL,      Campo::TZR,      Campo::CODIGO,
                                           Campo::LINEA2, Campo::LINEA2_ON, Campo::TIPO_CODE};
    return list;
}

int fieldPosition(const QString &name)
{
    for (qsizetype f = 0; f < fields().size(); ++f) {
        if (fields().at(f) == name)
            return static_cast<int>(f);
    }
    return -1;
}

// Titles compare without case, accents, spaces or punctuation: "Línea 2" names LINEA2.
QString titleKey(const QString &title)
{
    QString key;
    for (const QChar c : title.normalized(QString::NormalizationForm_D)) {
        if (c.isLetterOrNumber())
            key += c.toCaseFolded();
    }
    return key;
}

int width(const QString &field)
{
    static const TableDescription description = UsersTable::descripcion();
    for (const TableDescription::Field &f : description.fields()) {
        if (f.name() == field)
            return f.width();
    }
    return 0;
}

bool blank(const QStringList &cells)
{
    for (const QString &cell : cells) {
        if (!cell.trimmed().isEmpty())
            return false;
    }
    return true;
}

} // namespace

UsersImport::UsersImport(const TextLookup &texts, const QString &languageFile) : m_texts(texts)
{
    for (const QLatin1String field : fields())
        m_titles.insert(titleKey(field), field);
    // The grid's titles as the window defines them, then as each language names them.
    const std::pair<const char *, QLatin1String> design[] = {
        {"Nombre", Campo::NOMBRE}, {"Llamada", Campo::CALL}, {"Codigo", Campo::CODIGO},
        {"Linea2", Campo::LINEA2}, {"L2", Campo::LINEA2_ON}, {"Tipo", Campo::TIPO_CODE}};
    for (const auto &[title, field] : design)
        m_titles.insert(titleKey(QString::fromLatin1(title)), field);
    const QString validUntil = QString::fromLatin1(VALID_UNTIL);
    for (const QString &title : {validUntil, QStringLiteral("Valid until"), QStringLiteral("Válido hasta"),
                                 QStringLiteral("Valable jusqu'au")})
        m_titles.insert(titleKey(title), validUntil);
    if (languageFile.isEmpty())
        return;
    const ProfileFile file(languageFile);
    const std::pair<int, QLatin1String> columns[] = {
        {0, Campo::NOMBRE}, {1, Campo::CALL}, {3, Campo::CODIGO}, {4, Campo::LINEA2}, {6, Campo::TIPO_CODE}};
    for (const QString &section : file.sections()) {
        for (const auto &[column, field] : columns) {
            const QString key = QStringLiteral("FormPrincipal_DBGrid1_Columns_%1_title_Caption").arg(column);
            const QString title = titleKey(file.readString(section, key, QString()));
            if (!title.isEmpty() && !m_titles.contains(title))
                m_titles.insert(title, field);
        }
        const QString title = titleKey(file.readString(section, QStringLiteral("VU_COLUMN_TITLE"), QString()));
        if (!title.isEmpty() && !m_titles.contains(title))
            m_titles.insert(title, validUntil);
    }
}

QList<SheetRow> UsersImport::readFile(const QString &fileName)
{
    if (QFileInfo(fileName).suffix().compare(QLatin1String("xls"), Qt::CaseInsensitive) == 0)
        return XlsReader::read(fileName);
    // 351 rows of seven fields fit in a few tens of KiB; a few MiB leaves room for long texts
    // and stops a file that is no users list before it is read whole.
    constexpr qint64 CSV_LIMIT = 4 * 1024 * 1024;
    return CsvText::read(FileData::read(fileName, CSV_LIMIT));
}

QString UsersImport::fieldForTitle(const QString &title) const
{
    return m_titles.value(titleKey(title));
}

QString UsersImport::columnTitle(const QString &field) const
{
    // The titles the window defines, replaced by the language file where it names them.
    const struct
    {
        QLatin1String field;
        int column;
        const char *design;
    } columns[] = {{Campo::NOMBRE, 0, "Nombre"}, {Campo::CALL, 1, "Llamada"}, {Campo::TZR, -1, "TZR"},
                   {Campo::CODIGO, 3, "Codigo"}, {Campo::LINEA2, 4, "Linea2"}, {Campo::LINEA2_ON, -1, "L2"},
                   {Campo::TIPO_CODE, 6, "Tipo"}};
    for (const auto &c : columns) {
        if (c.field != field)
            continue;
        if (c.column < 0)
            return QString::fromLatin1(c.design);
        return m_texts.texto(QStringLiteral("FormPrincipal_DBGrid1_Columns_%1_title_Caption").arg(c.column),
                             QString::fromLatin1(c.design));
    }
    return field;
}

bool UsersImport::takeEndDate(const QString &cell, bool numeric, QDate &until, QString &reason) const
{
    until = QDate();
    const QString text = cell.trimmed();
    if (text.isEmpty())
        return true;
    bool whole = false;
    const double serial = numeric ? text.toDouble(&whole) : 0;
    if (numeric && whole && serial >= 1 && serial < 2958466) {
        // A workbook keeps a date as the days since 1899-12-30.
        until = QDate(1899, 12, 30).addDays(static_cast<qint64>(serial));
        return true;
    }
    until = EndDates::parse(text);
    if (until.isValid())
        return true;
    reason = reasonText("IMP_R_DATE", "%1: a date as YYYY-MM-DD, or empty")
                 .arg(m_texts.texto(QStringLiteral("VU_COLUMN_TITLE"), QStringLiteral("Valid until")));
    return false;
}

QString UsersImport::reasonText(const char *key, const char *fallback) const
{
    return m_texts.texto(QString::fromLatin1(key), QString::fromUtf8(fallback));
}

bool UsersImport::takeRow(const QStringList &values, const QList<bool> &numeric, QStringList &row,
                          QString &reason) const
{
    // A number keeps no leading zeros, and a short code is filled on the right: unless its digits
    // fill the field, the sheet may show zeros in front (a "000000" format) that the number does
    // not hold, and the code stored would not be the one the user sees. Call code and TZR are
    // filled on the left, so their leading zeros come back.
    if (numeric.value(fieldPosition(Campo::CODIGO)) &&
        values.value(fieldPosition(Campo::CODIGO)).trimmed().size() < width(Campo::CODIGO)) {
        reason = reasonText("IMP_R_NUMBER", "%1: stored as a number in the sheet (leading zeros are lost); "
                                            "format the column as text")
                     .arg(columnTitle(Campo::CODIGO));
        return false;
    }
    const auto refuseChar = [&](const QString &field, QChar c) {
        reason = reasonText("IMP_R_CHAR", "%1: character \"%2\" not accepted").arg(columnTitle(field), QString(c));
        return false;
    };
    const auto refuseLength = [&](const QString &field) {
        reason = reasonText("IMP_R_LONG", "%1: more than %2 characters").arg(columnTitle(field)).arg(width(field));
        return false;
    };
    const auto refuseEmpty = [&](const QString &field) {
        reason = reasonText("IMP_R_EMPTY", "%1 is empty").arg(columnTitle(field));
        return false;
    };

    QHash<QString, QString> out;
    // Names and second lines as the grid holds them, whatever a board gave (accents, lower case).
    for (const QLatin1String field : {Campo::NOMBRE, Campo::LINEA2}) {
        QString text;
        for (const QChar c : values.value(fieldPosition(field)).trimmed()) {
            if (DBGrid1TextChar(field, c) == BEL)
                return refuseChar(field, c);
            text += c;
        }
        if (text.size() > width(field))
            return refuseLength(field);
        out.insert(field, text);
    }
    // Call code and TZR: digits only. The grid turns a typed letter into "0" and lets a space
    // through, but neither is what the file meant, and the send refuses a non-digit.
    for (const QLatin1String field : {Campo::CALL, Campo::TZR}) {
        const QString text = values.value(fieldPosition(field)).trimmed();
        for (const QChar c : text) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return refuseChar(field, c);
        }
        if (text.size() > width(field))
            return refuseLength(field);
        out.insert(field, text);
    }
    // The code as the code editor takes it: hexadecimal digits, at most 10, then normalised.
    QString code;
    for (const QChar c : values.value(fieldPosition(Campo::CODIGO)).trimmed()) {
        const CodeKey key = edtCodeKeyPress(c);
        if (key.key == BEL || key.finish || c.unicode() < 32)
            return refuseChar(Campo::CODIGO, c);
        code += key.key;
    }
    if (code.size() > width(Campo::CODIGO))
        return refuseLength(Campo::CODIGO);
    const CodeExit exit = normalizedCode(code);
    if (exit.outcome == CodeExit::Outcome::Beep) {
        reason = reasonText("IMP_R_CODE", "%1: 1 to 3 characters, a code needs 4 to 10").arg(columnTitle(Campo::CODIGO));
        return false;
    }
    code = exit.code;

    const QString l2 = values.value(fieldPosition(Campo::LINEA2_ON)).trimmed().toUpper();
    if (!l2.isEmpty() && l2 != QLatin1String("X")) {
        reason = reasonText("IMP_R_L2ON", "%1: only X or empty").arg(columnTitle(Campo::LINEA2_ON));
        return false;
    }

    QString call = out.value(Campo::CALL);
    QString tzr = out.value(Campo::TZR);
    if (!beforePostRules(code, call, tzr))
        return refuseEmpty(call.isEmpty() ? QString(Campo::CALL) : QString(Campo::TZR));

    // The kind follows the code as the code editor sets it; only a receive knows a button
    // reader, so a row exported with that kind keeps it.
    QString kind = codeKind(code, m_texts);
    const QString button = m_texts.texto(QStringLiteral("K_LLAVE"), QStringLiteral("Button"));
    const QString givenKind = values.value(fieldPosition(Campo::TIPO_CODE)).trimmed();
    if (code != CODIGO_VACIO && !givenKind.isEmpty() &&
        (givenKind.compare(button, Qt::CaseInsensitive) == 0 ||
         givenKind.compare(QLatin1String("Button"), Qt::CaseInsensitive) == 0))
        kind = button;

    row = {out.value(Campo::NOMBRE), call, tzr, code, out.value(Campo::LINEA2), l2, kind};
    return true;
}

ImportPlan UsersImport::plan(const QList<SheetRow> &rows, ImportMode mode, int existingRows) const
{
    ImportPlan result;
    const int room = LIMITE_FILAS - (mode == ImportMode::Append ? existingRows : 0);
    // Column of each field; without a title row the file is in the table's field order, with the
    // end dates after the fields as the export writes them.
    QList<int> columnOf = {0, 1, 2, 3, 4, 5, 6};
    int untilColumn = 7;
    qsizetype start = 0;
    while (start < rows.size() && blank(rows.at(start).cells))
        ++start;
    if (start < rows.size()) {
        const QStringList &first = rows.at(start).cells;
        QList<int> found(fields().size(), -1);
        int matches = 0;
        int foundUntil = -1;
        for (qsizetype c = 0; c < first.size(); ++c) {
            const QString field = fieldForTitle(first.at(c));
            const int f = fieldPosition(field);
            if (f >= 0 && found[f] < 0) {
                found[f] = static_cast<int>(c);
                ++matches;
            } else if (field == QLatin1String(VALID_UNTIL) && foundUntil < 0) {
                foundUntil = static_cast<int>(c);
                ++matches;
            }
        }
        // Two titles make a title row; a user's name alone could be a title word.
        if (matches >= 2) {
            result.header = true;
            columnOf = found;
            untilColumn = foundUntil;
            ++start;
        }
    }
    if (untilColumn >= 0 && !result.header) {
        // Without titles the column is there when some row fills it: a stray delimiter at the
        // end of a line must not clear the file's ends.
        bool reached = false;
        for (qsizetype r = start; r < rows.size() && !reached; ++r)
            reached = !rows.at(r).cells.value(untilColumn).trimmed().isEmpty();
        if (!reached)
            untilColumn = -1;
    }
    result.hasEndDates = untilColumn >= 0;
    for (qsizetype r = start; r < rows.size(); ++r) {
        const SheetRow &source = rows.at(r);
        if (blank(source.cells))
            continue;
        QStringList values;
        QList<bool> numeric;
        for (const int column : columnOf) {
            values << (column >= 0 ? source.cells.value(column) : QString());
            numeric << (column >= 0 && source.numbers.contains(column));
        }
        QStringList row;
        QString reason;
        QDate until;
        if (!takeRow(values, numeric, row, reason) ||
            (untilColumn >= 0 && !takeEndDate(source.cells.value(untilColumn), source.numbers.contains(untilColumn),
                                              until, reason))) {
            result.problems << ImportProblem{source.line, reason};
            continue;
        }
        if (result.rows.size() >= room) {
            result.problems << ImportProblem{
                source.line, reasonText("IMP_R_FULL", "the table is full (%1 users)").arg(LIMITE_FILAS)};
            continue;
        }
        result.rows << row;
        if (result.hasEndDates)
            result.endDates << until;
    }
    return result;
}

void UsersImport::apply(const QString &directory, const QString &fileName, const ImportPlan &plan,
                        ImportMode mode)
{
    TableCursor cursor;
    cursor.open(directory, fileName);
    cursor.begin();
    try {
        if (mode == ImportMode::Replace) {
            cursor.first();
            while (!cursor.eof())
                cursor.deleteCurrent();
        }
        if (cursor.recordCount() + plan.rows.size() > LIMITE_FILAS)
            throw TzrError(QStringLiteral("The table cannot hold more than %1 users").arg(LIMITE_FILAS));
        for (const QStringList &row : plan.rows) {
            cursor.insert();
            for (qsizetype f = 0; f < fields().size(); ++f)
                cursor.setValue(fields().at(f), row.value(f));
            cursor.post();
        }
        if (plan.hasEndDates) {
            if (mode == ImportMode::Replace) {
                for (const TableStore::SideRecord &r : cursor.sideRecords(QString::fromLatin1(EndDates::Kind)))
                    cursor.removeSideRecord(QString::fromLatin1(EndDates::Kind), r.key);
            }
            for (qsizetype i = 0; i < plan.rows.size(); ++i) {
                const QStringList &row = plan.rows.at(i);
                EndDates::set(cursor, row.value(fieldPosition(Campo::NOMBRE)), row.value(fieldPosition(Campo::CODIGO)),
                              plan.endDates.value(i));
            }
        }
        cursor.commit();
    } catch (...) {
        cursor.rollback();
        cursor.close();
        throw;
    }
    cursor.close();
}

int UsersImport::rowCount(const QString &directory, const QString &fileName)
{
    TableCursor cursor;
    cursor.open(directory, fileName);
    const int count = cursor.recordCount();
    cursor.close();
    return count;
}
