#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QFocusEvent;
class QKeyEvent;
class QLineEdit;
class QModelIndex;
class QTableView;
class QString;
class Table;
class Table1Model;
class TextLookup;
class UsersGridDelegate;
class UsersGridSelection;
class UsersTable;

// The users grid DBGrid1 over Table1 and the code editor edtCode laid over its CODIGO cell: the
// key filters, the insertion and deletion keys, the rows posted or dropped as the grid moves
// and loses the focus, and the finishing of a typed code.
class UsersGrid : public QObject
{
    Q_OBJECT
public:
    using Textos = std::function<const TextLookup &()>;

    UsersGrid(QTableView &DBGrid1, QLineEdit &edtCode, UsersTable &usuarios, Textos textos,
              QObject *parent = nullptr);
    ~UsersGrid() override;

    Table1Model *DataSource1() const { return m_model; }
    Table &Table1() const;
    // The system beep, and how an error of the table engine met while typing is reported.
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }
    void setAvisoError(std::function<void(const QString &)> aviso) { m_avisoError = std::move(aviso); }

    // Runs a command that opens, closes, reorders or rewrites Table1 and puts the grid back on the
    // table's current row, in the same column. A code half typed in edtCode is dropped.
    void cambiaTabla(const std::function<void()> &cambio);
    // Table1 was written through another handle. Opening and closing Table1 reload the grid at
    // once; it also notices, when it next paints, that it no longer matches the table.
    void recarga();
    // Sizes the columns for the grid's font and the kind texts of the current language.
    void ajustaAnchos();
    // ToolOrden: by name when down, in the table's own order when up.
    void ToolOrdenClick(bool down);
    // Closes Table1 and gives up the data file's lock.
    void cierra();
    // Reads Table1 again when another program changed the file behind it; aviso tells the user
    // when that happened (also when a write found it out and was refused).
    void sigueFichero();
    void setAvisoCambioExterno(std::function<void()> aviso) { m_avisoCambioExterno = std::move(aviso); }

    // The grid's selected field.
    QString campoSeleccionado() const;
    void DBGrid1ColExit();
    void DBGrid1DrawColumnCell();
    // porFoco: edtCode is losing the focus, which it gets back after a beep once that is over.
    void edtCodeExit(bool porFoco = false);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool teclaRejilla(QKeyEvent *tecla);
    bool teclaEditor(QObject *editor, QKeyEvent *tecla);
    bool teclaCodigo(QKeyEvent *tecla);
    bool filtraCaracter(QObject *destino, QKeyEvent *tecla, const QString &campo);
    bool reenvia(QObject *destino, QKeyEvent *tecla, QChar caracter);
    void focoPerdido(QFocusEvent *foco);
    bool agregaAlFinal();
    QModelIndex mueve(const QModelIndex &destino);
    void actualCambiado(const QModelIndex &actual, const QModelIndex &anterior);
    void cambiaYRestaura(const std::function<void()> &cambio, bool redibuja);
    void restauraActual(int columna, bool redibuja);
    void colocaEdtCode();
    void ocultaEdtCode();
    void cierraEditor();
    void vigilaTabla();
    bool codigoInacabado() const;
    void protegido(const std::function<void()> &accion);

    QPointer<QTableView> m_DBGrid1;
    QPointer<QLineEdit> m_edtCode;
    UsersTable *m_usuarios = nullptr;
    Textos m_textos;
    Table1Model *m_model = nullptr;
    UsersGridDelegate *m_delegate = nullptr;
    QPointer<UsersGridSelection> m_seleccion;
    std::function<void()> m_beep;
    std::function<void(const QString &)> m_avisoError;
    std::function<void()> m_avisoCambioExterno;
    // The code edtCode showed when laid over the cell, before anything was typed.
    QString m_codigoMostrado;
    // Set while the grid itself hides edtCode or moves the focus, when no finishing may run.
    bool m_sinTerminar = false;
    // Set while the current cell is put back after a refused code: edtCode keeps text and focus.
    bool m_sinRedibujar = false;
    bool m_reenviando = false;
    bool m_recargaPendiente = false;
    // Set while a change runs inside the model's reset, which already covers a reopened table.
    bool m_enCambio = false;
};
