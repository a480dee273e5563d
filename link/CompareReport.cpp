#include "CompareReport.h"

#include "PrivateFile.h"

namespace {

struct FieldBytes
{
    const char *name;
    int first;
    int last;
};

constexpr FieldBytes FIELDS[] = {
    {"NOMBRE", 0, 15},
    {"CALL", OFS_CALL, OFS_CALL + 1},
    {"TZR", OFS_TZR, OFS_TZR + 1},
    {"CODIGO", OFS_CODIGO, OFS_CODIGO + 5},
    {"LINEA2", OFS_LINEA2, OFS_LINEA2 + 15},
    {"LINEA2_ON", OFS_LINEA2_ON, OFS_LINEA2_ON},
};

QString nameOf(const RegistroPlaca &r)
{
    QString name;
    for (int i = 0; i < 16; ++i)
        name += QChar(r[i] & 0xFF);
    return name.trimmed();
}

QStringList differingFields(const RegistroPlaca &a, const RegistroPlaca &b)
{
    QStringList fields;
    for (const FieldBytes &f : FIELDS) {
        for (int i = f.first; i <= f.last; ++i) {
            if (a[i] != b[i]) {
                fields << QString::fromLatin1(f.name);
                break;
            }
        }
    }
    return fields;
}

QByteArray csvField(QString text)
{
    // A board name is any 16 bytes; one starting like a formula must stay text in a spreadsheet.
    if (!text.isEmpty() && QStringLiteral("=+-@").contains(text.front()))
        text.prepend(QLatin1Char('\''));
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text.toUtf8();
    return '"' + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")).toUtf8() + '"';
}

// The report's tally of one more entry of its kind.
void count(CompareReport &report, const CompareEntry &e)
{
    switch (e.kind) {
    case CompareEntry::Kind::OnlyOnBoard:
        ++report.onlyOnBoard;
        break;
    case CompareEntry::Kind::OnlyInFile:
        ++report.onlyInFile;
        break;
    case CompareEntry::Kind::Different:
        ++report.different;
        break;
    case CompareEntry::Kind::ExpiredOnBoard:
        ++report.expiredOnBoard;
        break;
    }
}

} // namespace

QString CompareReport::kindName(CompareEntry::Kind kind)
{
    switch (kind) {
    case CompareEntry::Kind::OnlyOnBoard:
        return QStringLiteral("only_on_board");
    case CompareEntry::Kind::OnlyInFile:
        return QStringLiteral("only_in_file");
    case CompareEntry::Kind::ExpiredOnBoard:
        return QStringLiteral("expired_on_board");
    case CompareEntry::Kind::Different:
        break;
    }
    return QStringLiteral("different");
}

CompareReport CompareReport::compare(const UserArea &board, const QList<RegistroEnvio> &file)
{
    CompareReport report;
    const int n = static_cast<int>(std::min<qsizetype>(file.size(), MAX_USUARIOS));
    report.boardUsers = board.users();
    QStringList expiredNames;
    for (int i = 0; i < n; ++i) {
        if (file[i].leftOut)
            expiredNames << file[i].fila.NOMBRE.trimmed();
    }
    report.fileUsers = n - static_cast<int>(expiredNames.size());
    for (int i = 0; i < MAX_USUARIOS; ++i) {
        const bool b = board.inUse(i);
        // An expired user's position is one the file leaves empty.
        const bool expiredHere = i < n && file[i].leftOut;
        const bool f = i < n && !expiredHere;
        if (!b && !f)
            continue;
        if (b && f && sameFields(board.record(i), file[i].registro))
            continue;
        CompareEntry e;
        e.slot = i;
        e.kind = b && f ? CompareEntry::Kind::Different
                 : b    ? CompareEntry::Kind::OnlyOnBoard
                        : CompareEntry::Kind::OnlyInFile;
        if (b)
            e.boardName = nameOf(board.record(i));
        if (f)
            e.fileName = file[i].fila.NOMBRE.trimmed();
        if (expiredHere) {
            e.kind = CompareEntry::Kind::ExpiredOnBoard;
            e.fileName = file[i].fila.NOMBRE.trimmed();
        } else {
            if (b && f)
                e.fields = differingFields(board.record(i), file[i].registro);
            if (f) {
                for (int j = 0; j < MAX_USUARIOS && e.boardSlot < 0; ++j) {
                    if (j != i && board.inUse(j) && sameFields(board.record(j), file[i].registro))
                        e.boardSlot = j;
                }
            }
            if (b) {
                for (int j = 0; j < n && e.filePosition < 0; ++j) {
                    if (j != i && !file[j].leftOut && sameFields(file[j].registro, board.record(i)))
                        e.filePosition = j;
                }
            }
            // Where the board keeps an expired user in a slot the file leaves to nobody.
            if (e.kind == CompareEntry::Kind::OnlyOnBoard && !e.moved() && expiredNames.contains(e.boardName))
                e.kind = CompareEntry::Kind::ExpiredOnBoard;
        }
        count(report, e);
        report.moved += e.moved() ? 1 : 0;
        report.entries << e;
    }
    return report;
}

CompareReport CompareReport::compare(const UserArea &board, const UserArea &other)
{
    CompareReport report;
    report.boardUsers = board.users();
    report.fileUsers = other.users();
    for (int i = 0; i < MAX_USUARIOS; ++i) {
        const bool b = board.inUse(i);
        const bool f = other.inUse(i);
        if ((!b && !f) || (b && f && sameFields(board.record(i), other.record(i))))
            continue;
        CompareEntry e;
        e.slot = i;
        e.kind = b && f ? CompareEntry::Kind::Different
                 : b    ? CompareEntry::Kind::OnlyOnBoard
                        : CompareEntry::Kind::OnlyInFile;
        if (b)
            e.boardName = nameOf(board.record(i));
        if (f)
            e.fileName = nameOf(other.record(i));
        if (b && f)
            e.fields = differingFields(board.record(i), other.record(i));
        count(report, e);
        report.entries << e;
    }
    return report;
}

QByteArray CompareReport::toCsv() const
{
    QByteArray csv = "slot,kind,board_name,file_name,fields,board_slot,file_position\n";
    for (const CompareEntry &e : entries) {
        csv += QByteArray::number(e.slot + 1) + ',' + kindName(e.kind).toUtf8() + ',' +
               csvField(e.boardName) + ',' + csvField(e.fileName) + ',' +
               e.fields.join(QLatin1Char(' ')).toUtf8() + ',' +
               (e.boardSlot >= 0 ? QByteArray::number(e.boardSlot + 1) : QByteArray()) + ',' +
               (e.filePosition >= 0 ? QByteArray::number(e.filePosition + 1) : QByteArray()) + '\n';
    }
    return csv;
}

void CompareReport::saveCsv(const QString &path) const
{
    PrivateFile::write(path, toCsv(), PrivateFile::Existing::KeepMode);
}
