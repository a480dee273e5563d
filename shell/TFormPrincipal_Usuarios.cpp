// The users grid and the commands on the data file of the main window: Open, New, Save as,
// ordering by name and the spreadsheet export. The work itself is done by the directory layer.

#include "TFormPrincipal.h"
#include "CodeEntry.h"
#include "TextLookup.h"

#include "Asigna_Lenguaje.h"
#include "Contexto.h"
#include "DataFileCommands.h"
#include "FileDialogs.h"
#include "CursorOverride.h"
#include "FicheroActual.h"
#include "TF_ShowMessage.h"
#include "Table.h"
#include "TzrError.h"
#include "UsersExport.h"
#include "UsersGrid.h"
#include "UsersTable.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QTableView>


void TFormPrincipal::creaRejillaUsuarios()
{
    m_OpenFi = FileDialogs::make(this, "OpenFi", QFileDialog::AcceptOpen, FileDialogs::DATA_FILTER, QStringLiteral("db"));
    m_Salvar = FileDialogs::make(this, "Salvar", QFileDialog::AcceptSave, FileDialogs::DATA_FILTER, QStringLiteral("db"));
    m_Salvar_COMO = FileDialogs::make(this, "Salvar_COMO", QFileDialog::AcceptSave, FileDialogs::DATA_FILTER, QStringLiteral("db"));
    m_Dialogo1 = FileDialogs::make(this, "Dialogo1", QFileDialog::AcceptSave, FileDialogs::EXCEL_FILTER, QStringLiteral("xls"));
    m_Dialogo1->setOption(QFileDialog::DontConfirmOverwrite);
    m_eligeFichero = FileDialogs::show;

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
    d->setNameFilter(d == m_Dialogo1 ? textosDe(m_ctx).texto(QStringLiteral("FILTER_EXCEL"), FileDialogs::EXCEL_FILTER)
                                     : textosDe(m_ctx).texto(QStringLiteral("FILTER_DATA"), FileDialogs::DATA_FILTER));
    if (vaciaNombre)
        FileDialogs::clearName(d);
    return FileDialogs::withSuffix(d, m_eligeFichero ? m_eligeFichero(d) : QString());
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
        const CursorOverride reloj;
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
        const CursorOverride reloj;
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
        const CursorOverride reloj;
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
        const CursorOverride reloj;
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
