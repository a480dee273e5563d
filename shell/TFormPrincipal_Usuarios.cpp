// The users grid and the commands on the data file of the main window: Open, New, Save as,
// ordering by name and the spreadsheet export. The work itself is done by the directory layer.

#include "TFormPrincipal.h"
#include "CodeEntry.h"
#include "TextLookup.h"

#include "Asigna_Lenguaje.h"
#include "Contexto.h"
#include "DataFileCommands.h"
#include "FicheroActual.h"
#include "TF_ShowMessage.h"
#include "Table.h"
#include "TzrError.h"
#include "UsersExport.h"
#include "UsersGrid.h"
#include "UsersTable.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTableView>

namespace {

const QString FILTRO_DATOS = QStringLiteral("TZR Data Files (*.db)");
const QString FILTRO_EXCEL = QStringLiteral("Excel Files (*.xls)");

// The hourglass while a command works on the files.
class RelojDeArena
{
public:
    RelojDeArena() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~RelojDeArena() { QApplication::restoreOverrideCursor(); }
    RelojDeArena(const RelojDeArena &) = delete;
    RelojDeArena &operator=(const RelojDeArena &) = delete;
};

QFileDialog *dialogo(QWidget *padre, const char *nombre, QFileDialog::AcceptMode modo, const QString &filtro,
                     const QString &sufijo)
{
    auto *d = new QFileDialog(padre);
    d->setObjectName(QString::fromLatin1(nombre));
    d->setAcceptMode(modo);
    d->setFileMode(modo == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    d->setNameFilter(filtro);
    d->setDefaultSuffix(sufijo);
    d->setSizeGripEnabled(true);
    return d;
}

QString muestraDialogo(QFileDialog *d)
{
    if (d->exec() != QDialog::Accepted)
        return {};
    const QStringList elegidos = d->selectedFiles();
    return elegidos.isEmpty() ? QString() : elegidos.constFirst();
}

} // namespace

void TFormPrincipal::creaRejillaUsuarios()
{
    m_OpenFi = dialogo(this, "OpenFi", QFileDialog::AcceptOpen, FILTRO_DATOS, QStringLiteral("db"));
    m_Salvar = dialogo(this, "Salvar", QFileDialog::AcceptSave, FILTRO_DATOS, QStringLiteral("db"));
    m_Salvar_COMO = dialogo(this, "Salvar_COMO", QFileDialog::AcceptSave, FILTRO_DATOS, QStringLiteral("db"));
    m_Dialogo1 = dialogo(this, "Dialogo1", QFileDialog::AcceptSave, FILTRO_EXCEL, QStringLiteral("xls"));
    m_Dialogo1->setOption(QFileDialog::DontConfirmOverwrite);
    m_eligeFichero = muestraDialogo;

    if (!m_ctx.usuarios)
        return;
    m_rejilla = std::make_unique<UsersGrid>(*m_DBGrid1, *m_edtCode, *m_ctx.usuarios,
                                            [this]() -> const TextLookup & { return textosDe(m_ctx); });
    m_rejilla->setAvisoError([this](const QString &mensaje) {
        if (m_avisoError)
            m_avisoError(mensaje);
    });
    m_rejilla->setAvisoCambioExterno([this] {
        avisaEstado(textosDe(m_ctx).texto(
            QStringLiteral("FILE_CHANGED_BEHIND"),
            QStringLiteral("The data file was changed by another program: it has been read again.")));
    });
    aplicaTitulosColumnas();
}

QString TFormPrincipal::eligeFichero(QFileDialog *d, bool vaciaNombre)
{
    d->setDirectory(m_ctx.fichero->Directorio_Trabajo());
    // The filter names the files in the language chosen now.
    d->setNameFilter(d == m_Dialogo1 ? textosDe(m_ctx).texto(QStringLiteral("FILTER_EXCEL"), FILTRO_EXCEL)
                                     : textosDe(m_ctx).texto(QStringLiteral("FILTER_DATA"), FILTRO_DATOS));
    // selectFile() ignores an empty name, so the name is emptied in the dialog's own edit.
    if (vaciaNombre) {
        if (auto *nombre = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            nombre->clear();
    }
    const QString nombre = m_eligeFichero ? m_eligeFichero(d) : QString();
    if (nombre.isEmpty())
        return {};
    // A name typed without an extension gets the dialog's, as the dialog itself would add it.
    if (!d->defaultSuffix().isEmpty() && !QFileInfo(nombre).fileName().contains(QLatin1Char('.')))
        return nombre + QLatin1Char('.') + d->defaultSuffix();
    return nombre;
}

void TFormPrincipal::muestraResultado(const FileCommandResult &resultado)
{
    if (resultado.outcome == FileCommandResult::Outcome::Nothing)
        return;
    if (!resultado.mensaje1.isEmpty() || !resultado.mensaje2.isEmpty())
        showMessage(m_ctx, resultado.mensaje1, resultado.mensaje2);
    if (!resultado.error.isEmpty() && m_avisoError)
        m_avisoError(resultado.error);
    m_L_Fichero->setText(resultado.L_Fichero);
    m_DBGrid1->setVisible(resultado.gridVisible);
    // Typing goes into the file just opened, not into the board tree (where it picks a board).
    if (resultado.outcome == FileCommandResult::Outcome::Done && resultado.gridVisible)
        m_DBGrid1->setFocus();
}

void TFormPrincipal::DirectoriodeTrabajo1Click()
{
    if (!m_rejilla || !m_ctx.comandosFichero)
        return;
    const QString nombre = eligeFichero(m_OpenFi);
    if (nombre.isEmpty())
        return;
    FileCommandResult resultado;
    {
        const RelojDeArena reloj;
        m_rejilla->cambiaTabla([&] { resultado = m_ctx.comandosFichero->DirectoriodeTrabajo1Click(nombre); });
    }
    muestraResultado(resultado);
}

void TFormPrincipal::ToolNuevoClick()
{
    if (!m_rejilla || !m_ctx.comandosFichero)
        return;
    const QString nombre = eligeFichero(m_Salvar);
    if (nombre.isEmpty())
        return;
    FileCommandResult resultado;
    {
        const RelojDeArena reloj;
        m_rejilla->cambiaTabla([&] { resultado = m_ctx.comandosFichero->ToolNuevoClick(nombre); });
    }
    muestraResultado(resultado);
}

void TFormPrincipal::ToolSalvarClick()
{
    if (!m_rejilla || !m_ctx.comandosFichero || !m_ctx.comandosFichero->ToolSalvarDisponible())
        return;
    const QString nombre = eligeFichero(m_Salvar_COMO);
    if (nombre.isEmpty())
        return;
    FileCommandResult resultado;
    {
        const RelojDeArena reloj;
        m_rejilla->cambiaTabla([&] { resultado = m_ctx.comandosFichero->ToolSalvarClick(nombre); });
    }
    muestraResultado(resultado);
}

void TFormPrincipal::ToolOrdenClick()
{
    if (m_rejilla)
        m_rejilla->ToolOrdenClick(m_ToolOrden->isChecked());
}

void TFormPrincipal::ToolExcelClick()
{
    if (!m_rejilla)
        return;
    const QString nombre = eligeFichero(m_Dialogo1, true);
    Table &tabla = m_rejilla->Table1();
    if (nombre.isEmpty() || !tabla.isOpen() || tabla.recordCount() == 0)
        return;
    QString error;
    {
        const RelojDeArena reloj;
        try {
            m_rejilla->cambiaTabla([&] {
                // The list holds the rows as they are exported: a row being edited is stored first.
                if (!tabla.checkBrowseMode())
                    return;
                const QHash<QString, QString> tipos = kindsInCurrentLanguage(textosDe(m_ctx));
                for (const QStringList &fila : exportRows(tabla, tipos)) {
                    auto *item = new QListWidgetItem(fila.value(0), m_Lista_solo_EXCEL);
                    item->setData(Qt::UserRole, fila);
                }
                ::ToolExcelClick(tabla, nombre, tipos);
            });
        } catch (const TzrError &e) {
            error = e.message();
        } catch (...) {
            m_Lista_solo_EXCEL->clear();
            throw;
        }
        m_Lista_solo_EXCEL->clear();
    }
    if (!error.isEmpty() && m_avisoError)
        m_avisoError(error);
}
