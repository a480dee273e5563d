#pragma once

#include <QAbstractTableModel>
#include <QDate>
#include <QList>
#include <QHash>
#include <QMap>
#include <QStringList>

class QFontMetrics;

#include <functional>
#include <optional>
#include <utility>

class Table;

// DataSource1: the users grid's view of Table1. Cells are read from the rows the table keeps in
// memory (a row being edited or inserted shows the values being edited, also after a refused
// post). An open table without rows shows one blank row to type into: a value entered there
// inserts the first row. After the fields, VALID_UNTIL shows each user's end date, kept beside
// the table under the user's name and code and read again whenever the views start again.
class Table1Model : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The grid's columns, in the table's field order.
    enum Columna
    {
        NOMBRE,
        CALL,
        TZR,
        CODIGO,
        LINEA2,
        LINEA2_ON,
        TIPO_CODE,
        COLUMNAS
    };
    // After the fields: the user's end date, kept beside Table1 rather than in a field of it.
    static constexpr int VALID_UNTIL = COLUMNAS;
    static constexpr int COLUMN_COUNT = COLUMNAS + 1;
    // The end date column's width, as designed for an 8-point dialog font.
    static constexpr int VALID_UNTIL_WIDTH = 70;

    explicit Table1Model(Table &Table1, QObject *parent = nullptr);

    Table &Table1() const { return *m_table; }
    static QString campo(int column);
    // Width of the column in pixels, as designed for an 8-point dialog font; 0 for VALID_UNTIL,
    // which the window as designed has no room for.
    static int ancho(int column);
    // The widths of every column for a font: the designed widths all scaled by one factor, the
    // least that lets each column show its widest content whole (margen: a cell's padding;
    // tipos: the kind texts TIPO_CODE may hold). Never narrower than designed.
    static QList<int> anchos(const QFontMetrics &metricas, int margen, const QStringList &tipos);
    // How a stored kind text is shown: each kind's text in any language maps to the text of the
    // language now chosen, so the column follows a change of language at once. The stored value
    // stays as it is.
    void setTiposMostrados(QHash<QString, QString> tipos);
    // The field size of the column's field: the most characters its cell editor takes.
    int fieldSize(int column) const;
    // The tooltip of an end date that has passed.
    void setExpiredTip(const QString &tip) { m_expiredTip = tip; }
    // How an end date that could not be written is reported.
    void setErrorReport(std::function<void(const QString &)> report) { m_reportError = std::move(report); }

    // Called before the current row is put into editing: the row's end date stays under the
    // name and code it was stored with until the edit is posted.
    void aboutToEdit();
    // Called while the row being edited is posted, with its new values in place: its end date
    // moves to the new name and code.
    void followEndDate();
    // Deletes the current row with its end date, unless another row is the same user.
    bool deleteCurrent();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Puts the table's current row into editing (inserting into an empty table) and sets the
    // field; the row is stored when the grid leaves it. Only for the current row.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Horizontal: the column titles. Vertical: the row indicator of the current row.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;

    // The grid row of the table's current row; -1 while the table is closed.
    int filaActual() const;
    // Makes row the table's current row. Leaving a row being edited posts it when modified and
    // drops it otherwise, which may move or remove rows (the views then start again). False
    // when the post was refused: the row stays current, in editing.
    bool irAFila(int row);

    // Runs a change of the table that may add, remove, move or reload rows, and lets the views
    // start again from the table; their current index and open editors are dropped.
    template <typename Cambio> decltype(auto) cambia(Cambio &&cambio)
    {
        beginResetModel();
        const FinDeCambio fin(*this);
        return std::forward<Cambio>(cambio)();
    }
    // The table was opened, closed or written through another handle.
    void recarga();

private:
    class FinDeCambio
    {
    public:
        explicit FinDeCambio(Table1Model &model) : m_model(model) {}
        ~FinDeCambio()
        {
            m_model.readEndDates();
            m_model.endResetModel();
        }
        FinDeCambio(const FinDeCambio &) = delete;
        FinDeCambio &operator=(const FinDeCambio &) = delete;

    private:
        Table1Model &m_model;
    };

    struct UserKey
    {
        QString name;
        QString code;
    };

    bool filaEnBlanco() const;
    void indicadorCambiado(int row);
    void readEndDates();
    // The name and code the row's end date is kept under: as stored, also while it is edited.
    std::optional<UserKey> storedKey(int row) const;
    // How many rows are that user, the row being edited counted by its stored values.
    int rowsOf(const UserKey &key) const;
    QVariant endDateData(int row, int role) const;
    bool setEndDate(int row, const QString &text);

    Table *m_table = nullptr;
    QMap<int, QString> m_titulos;
    QHash<QString, QString> m_tiposMostrados;
    // Read with the rows, one per row, rather than on every paint.
    QList<QDate> m_endDates;
    std::optional<UserKey> m_editedKey;
    QString m_expiredTip;
    std::function<void(const QString &)> m_reportError;
};
