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

} // namespace

QString CompareReport::kindName(CompareEntry::Kind kind)
{
    switch (kind) {
    case CompareEntry::Kind::OnlyOnBoard:
        return QStringLiteral("only_on_board");
    case CompareEntry::Kind::OnlyInFile:
        return QStringLiteral("only_in_file");
    case CompareEntry::Kind::Different:
        break;
    }
    return QStringLiteral("different");
}

CompareReport CompareReport::compare(const UserArea &placa, const QList<RegistroEnvio> &fichero)
{
    CompareReport report;
    const int n = static_cast<int>(std::min<qsizetype>(fichero.size(), MAX_USUARIOS));
    report.usuariosPlaca = placa.users();
    report.usuariosFichero = n;
    for (int i = 0; i < MAX_USUARIOS; ++i) {
        const bool b = placa.inUse(i);
        const bool f = i < n;
        if (!b && !f)
            continue;
        if (b && f && sameFields(placa.record(i), fichero[i].registro))
            continue;
        CompareEntry e;
        e.slot = i;
        e.kind = b && f ? CompareEntry::Kind::Different
                 : b    ? CompareEntry::Kind::OnlyOnBoard
                        : CompareEntry::Kind::OnlyInFile;
        if (b)
            e.nombrePlaca = nameOf(placa.record(i));
        if (f)
            e.nombreFichero = fichero[i].fila.NOMBRE.trimmed();
        if (b && f)
            e.campos = differingFields(placa.record(i), fichero[i].registro);
        if (f) {
            for (int j = 0; j < MAX_USUARIOS && e.enPlaca < 0; ++j) {
                if (j != i && placa.inUse(j) && sameFields(placa.record(j), fichero[i].registro))
                    e.enPlaca = j;
            }
        }
        if (b) {
            for (int j = 0; j < n && e.enFichero < 0; ++j) {
                if (j != i && sameFields(fichero[j].registro, placa.record(i)))
                    e.enFichero = j;
            }
        }
        switch (e.kind) {
        case CompareEntry::Kind::OnlyOnBoard:
            ++report.soloPlaca;
            break;
        case CompareEntry::Kind::OnlyInFile:
            ++report.soloFichero;
            break;
        case CompareEntry::Kind::Different:
            ++report.distintos;
            break;
        }
        report.movidos += e.movido() ? 1 : 0;
        report.entries << e;
    }
    return report;
}

QByteArray CompareReport::toCsv() const
{
    QByteArray csv = "slot,kind,board_name,file_name,fields,board_slot,file_position\n";
    for (const CompareEntry &e : entries) {
        csv += QByteArray::number(e.slot + 1) + ',' + kindName(e.kind).toUtf8() + ',' +
               csvField(e.nombrePlaca) + ',' + csvField(e.nombreFichero) + ',' +
               e.campos.join(QLatin1Char(' ')).toUtf8() + ',' +
               (e.enPlaca >= 0 ? QByteArray::number(e.enPlaca + 1) : QByteArray()) + ',' +
               (e.enFichero >= 0 ? QByteArray::number(e.enFichero + 1) : QByteArray()) + '\n';
    }
    return csv;
}

void CompareReport::saveCsv(const QString &path) const
{
    PrivateFile::write(path, toCsv(), PrivateFile::Existing::KeepMode);
}
