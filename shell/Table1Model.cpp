#include "Table1Model.h"

#include "EndDates.h"
#include "Table.h"
#include "TzrError.h"
#include "UsersTableRules.h"

#include <QBrush>
#include <QFontMetrics>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct DefinicionColumna
{
    QLatin1String campo;
    const char *titulo;
    int ancho;
};

// The titles are those of the window definition; the language file replaces all but TZR and L2.
const std::array<DefinicionColumna, Table1Model::COLUMNAS> DEFINICIONES{{
    {Campo::NOMBRE, "Nombre", 190},
    {Campo::CALL, "Llamada", 50},
    {Campo::TZR, "TZR", 30},
    {Campo::CODIGO, "Codigo", 70},
    {Campo::LINEA2, "Linea2", 190},
    {Campo::LINEA2_ON, "L2", 20},
    {Campo::TIPO_CODE, "Tipo", 50},
}};

bool enRango(int column)
{
    return column >= 0 && column < Table1Model::COLUMNAS;
}

const QColor EXPIRED_COLOR{0xC0, 0x00, 0x00};

} // namespace

Table1Model::Table1Model(Table &Table1, QObject *parent) : QAbstractTableModel(parent), m_table(&Table1)
{
    for (int c = 0; c < COLUMNAS; ++c)
        m_titulos.insert(c, QString::fromLatin1(DEFINICIONES.at(c).titulo));
    m_titulos.insert(VALID_UNTIL, QStringLiteral("Valid until"));
    readEndDates();
}

QString Table1Model::campo(int column)
{
    return enRango(column) ? QString(DEFINICIONES.at(column).campo) : QString();
}

int Table1Model::ancho(int column)
{
    return enRango(column) ? DEFINICIONES.at(column).ancho : 0;
}

QList<int> Table1Model::anchos(const QFontMetrics &metricas, int margen, const QStringList &tipos)
{
    const auto masAncho = [&metricas](QStringView caracteres) {
        int mayor = 0;
        for (const QChar c : caracteres)
            mayor = std::max(mayor, metricas.horizontalAdvance(c));
        return mayor;
    };
    const int letra = masAncho(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789*");
    const int digito = masAncho(u"0123456789");
    const int hexadecimal = masAncho(u"0123456789ABCDEF");
    int tipo = 0;
    for (const QString &t : tipos)
        tipo = std::max(tipo, metricas.horizontalAdvance(t));
    const std::array<int, COLUMNAS> contenido{16 * letra, 4 * digito,     3 * digito, 10 * hexadecimal,
                                              16 * letra, masAncho(u"X"), tipo};
    double escala = 1.0;
    for (int c = 0; c < COLUMNAS; ++c)
        escala = std::max(escala, double(contenido.at(c) + margen) / ancho(c));
    QList<int> r;
    for (int c = 0; c < COLUMNAS; ++c)
        r << int(std::ceil(ancho(c) * escala));
    return r;
}

int Table1Model::fieldSize(int column) const
{
    return m_table->isOpen() ? m_table->fieldSize(campo(column)) : 0;
}

bool Table1Model::filaEnBlanco() const
{
    return m_table->isOpen() && m_table->rowCount() == 0;
}

int Table1Model::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_table->isOpen())
        return 0;
    return filaEnBlanco() ? 1 : m_table->rowCount();
}

int Table1Model::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

QVariant Table1Model::data(const QModelIndex &index, int role) const
{
    if (index.isValid() && index.column() == VALID_UNTIL)
        return endDateData(index.row(), role);
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    // Rows the view still knows while the table was closed or changed under it show nothing.
    if (!index.isValid() || !m_table->isOpen() || index.row() >= m_table->rowCount() ||
        !enRango(index.column()))
        return filaEnBlanco() && index.row() == 0 ? QVariant(QString()) : QVariant();
    const QString field = campo(index.column());
    if (role != Qt::DisplayRole)
        return m_table->editText(index.row(), field);
    const QString texto = m_table->displayText(index.row(), field);
    if (index.column() == TIPO_CODE)
        return m_tiposMostrados.value(texto, texto);
    return texto;
}

void Table1Model::setTiposMostrados(QHash<QString, QString> tipos)
{
    m_tiposMostrados = std::move(tipos);
    if (rowCount() > 0)
        emit dataChanged(index(0, TIPO_CODE), index(rowCount() - 1, TIPO_CODE), {Qt::DisplayRole});
}

bool Table1Model::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable))
        return false;
    Table &t = *m_table;
    if (index.row() != filaActual())
        return false;
    if (index.column() == VALID_UNTIL)
        return setEndDate(index.row(), value.toString());
    const QString field = campo(index.column());
    const QString texto = value.toString();
    // An editor closed without a change leaves the row as it was, a blank row blank.
    if (t.state() == Table::State::Browse && (filaEnBlanco() ? texto.isEmpty() : t.value(field) == texto))
        return true;
    aboutToEdit();
    if (!t.edit())
        return false;
    t.setValue(field, texto);
    emit dataChanged(index, index);
    indicadorCambiado(index.row());
    return true;
}

Qt::ItemFlags Table1Model::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    // Codes are typed in edtCode, laid over the cell; the kind is only shown.
    if (index.column() != CODIGO && index.column() != TIPO_CODE && index.column() != VALID_UNTIL)
        f |= Qt::ItemIsEditable;
    // A user has an end date once it is stored: a row being inserted has no name to keep it by.
    if (index.column() == VALID_UNTIL && storedKey(index.row()))
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant Table1Model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal)
        return m_titulos.value(section);
    if (section != filaActual())
        return QString();
    switch (m_table->state()) {
    case Table::State::Insert:
        return QStringLiteral("*");
    case Table::State::Edit:
        return QStringLiteral("I");
    default:
        return QStringLiteral("\u25B6");
    }
}

bool Table1Model::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || !(enRango(section) || section == VALID_UNTIL) ||
        (role != Qt::EditRole && role != Qt::DisplayRole))
        return false;
    m_titulos.insert(section, value.toString());
    emit headerDataChanged(orientation, section, section);
    return true;
}

int Table1Model::filaActual() const
{
    if (!m_table->isOpen())
        return -1;
    return filaEnBlanco() ? 0 : m_table->currentRow();
}

bool Table1Model::irAFila(int row)
{
    Table &t = *m_table;
    if (!t.isOpen() || filaEnBlanco() || row == t.currentRow())
        return true;
    if (t.state() != Table::State::Browse)
        return cambia([&] { return t.moveTo(row); });
    const int antes = t.currentRow();
    if (!t.moveTo(row))
        return false;
    indicadorCambiado(antes);
    indicadorCambiado(t.currentRow());
    return true;
}

void Table1Model::recarga()
{
    cambia([] {});
}

void Table1Model::indicadorCambiado(int row)
{
    if (row >= 0)
        emit headerDataChanged(Qt::Vertical, row, row);
}

std::optional<Table1Model::UserKey> Table1Model::storedKey(int row) const
{
    const Table &t = *m_table;
    if (!t.isOpen() || row < 0 || row >= t.rowCount())
        return std::nullopt;
    if (row == t.currentRow() && t.state() == Table::State::Insert)
        return std::nullopt;
    if (row == t.currentRow() && t.state() == Table::State::Edit)
        return m_editedKey;
    return UserKey{t.value(row, Campo::NOMBRE), t.value(row, Campo::CODIGO)};
}

int Table1Model::rowsOf(const UserKey &key) const
{
    const QString wanted = EndDates::keyOf(key.name, key.code);
    int n = 0;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const std::optional<UserKey> k = storedKey(row);
        if (k && EndDates::keyOf(k->name, k->code) == wanted)
            ++n;
    }
    return n;
}

// Runs inside the end of a model reset, where nothing may be thrown: dates that cannot be read
// show as none (a send reads them again and reports the failure).
void Table1Model::readEndDates()
{
    m_endDates.clear();
    const Table &t = *m_table;
    if (!t.isOpen() || t.state() != Table::State::Edit)
        m_editedKey.reset();
    if (!t.isOpen())
        return;
    try {
        const EndDates dates = EndDates::load(t);
        if (dates.isEmpty())
            return;
        m_endDates.reserve(t.rowCount());
        for (int row = 0; row < t.rowCount(); ++row) {
            const std::optional<UserKey> key = storedKey(row);
            m_endDates << (key ? dates.dateOf(key->name, key->code) : QDate());
        }
    } catch (const std::exception &) {
        m_endDates.clear();
    }
}

QVariant Table1Model::endDateData(int row, int role) const
{
    const QDate until = m_endDates.value(row);
    const bool expired = EndDates::expired(until, QDate::currentDate());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return until.isValid() ? EndDates::text(until) : QString();
    case Qt::ForegroundRole:
        return expired ? QVariant(QBrush(EXPIRED_COLOR)) : QVariant();
    case Qt::ToolTipRole:
        return expired ? QVariant(m_expiredTip) : QVariant();
    default:
        return {};
    }
}

bool Table1Model::setEndDate(int row, const QString &text)
{
    const std::optional<UserKey> key = storedKey(row);
    const QDate until = EndDates::parse(text);
    if (!key || (!until.isValid() && !text.trimmed().isEmpty()))
        return false;
    if (until == m_endDates.value(row))
        return true;
    try {
        EndDates::set(*m_table, key->name, key->code, until);
    } catch (const TzrError &e) {
        if (m_reportError)
            m_reportError(e.message());
        return false;
    }
    // Every row of the same user shows the new date.
    readEndDates();
    emit dataChanged(index(0, VALID_UNTIL), index(rowCount() - 1, VALID_UNTIL));
    return true;
}

void Table1Model::aboutToEdit()
{
    const Table &t = *m_table;
    if (!t.isOpen() || t.state() != Table::State::Browse)
        return;
    if (t.recordCount() > 0)
        m_editedKey = UserKey{t.value(Campo::NOMBRE), t.value(Campo::CODIGO)};
    else
        m_editedKey.reset();
}

void Table1Model::followEndDate()
{
    Table &t = *m_table;
    if (t.state() != Table::State::Edit || !m_editedKey)
        return;
    const UserKey now{t.value(Campo::NOMBRE), t.value(Campo::CODIGO)};
    const UserKey before = *m_editedKey;
    // A second row of the same user keeps its date; this one takes a copy.
    if (rowsOf(before) > 1) {
        const QDate until = EndDates::load(t).dateOf(before.name, before.code);
        if (until.isValid())
            EndDates::set(t, now.name, now.code, until);
    } else {
        EndDates::follow(t, before.name, before.code, now.name, now.code);
    }
    m_editedKey = now;
}

bool Table1Model::deleteCurrent()
{
    Table &t = *m_table;
    if (!t.isOpen())
        return false;
    const std::optional<UserKey> key = storedKey(t.currentRow());
    if (!t.deleteCurrent())
        return false;
    if (key && rowsOf(*key) == 0)
        EndDates::set(t, key->name, key->code, QDate());
    return true;
}
