// Import of users from a spreadsheet or delimited text file into the open data file: the
// File menu's "Import…", its file dialog and the report to accept or cancel.

#include "TFormPrincipal.h"

#include "Asigna_Lenguaje.h"
#include "Contexto.h"
#include "FicheroActual.h"
#include "ImportDialog.h"
#include "TF_ShowMessage.h"
#include "Table.h"
#include "TextLookup.h"
#include "TzrError.h"
#include "UsersGrid.h"
#include "UsersImport.h"
#include "UsersTable.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>

void TFormPrincipal::creaMenuImportar()
{
    m_Importar = new QAction(QStringLiteral("Import…"), this);
    m_Importar->setObjectName(QStringLiteral("Importar1"));
    // After New, before the separator N5.
    QAction *antes = nullptr;
    const QList<QAction *> entradas = m_Archivo1->actions();
    for (qsizetype i = 0; i + 1 < entradas.size(); ++i) {
        if (entradas.at(i)->objectName() == QLatin1String("N2"))
            antes = entradas.at(i + 1);
    }
    m_Archivo1->insertAction(antes, m_Importar);
    conecta(m_Importar, &TFormPrincipal::ImportarClick);
    // The caption follows the language chosen meanwhile.
    connect(m_Archivo1, &QMenu::aboutToShow, this, [this] {
        m_Importar->setText(textosDe(m_ctx).texto(QStringLiteral("IMP_MENU"), QStringLiteral("Import…")));
    });
    m_Importar->setText(textosDe(m_ctx).texto(QStringLiteral("IMP_MENU"), QStringLiteral("Import…")));

    m_DialogoImportar = new QFileDialog(this);
    m_DialogoImportar->setObjectName(QStringLiteral("DialogoImportar"));
    m_DialogoImportar->setAcceptMode(QFileDialog::AcceptOpen);
    m_DialogoImportar->setFileMode(QFileDialog::ExistingFile);
}

void TFormPrincipal::ImportarClick()
{
    if (!m_rejilla || !m_ctx.usuarios)
        return;
    const TextLookup &textos = textosDe(m_ctx);
    Table &tabla = m_rejilla->Table1();
    if (!tabla.isOpen()) {
        const QString abrir = QStringLiteral("Open or create a file");
        showMessage(m_ctx, textos.texto(QStringLiteral("SHOW_M6"), abrir),
                    textos.texto(QStringLiteral("SHOW_M7"), abrir));
        return;
    }
    m_DialogoImportar->setNameFilter(
        textos.texto(QStringLiteral("IMP_FILTER"), QStringLiteral("Users lists (*.csv *.xls *.txt)")));
    const QString nombre = eligeFichero(m_DialogoImportar);
    if (nombre.isEmpty())
        return;
    QList<SheetRow> filas;
    try {
        filas = UsersImport::readFile(nombre);
    } catch (const TzrError &e) {
        if (m_avisoError)
            m_avisoError(e.message());
        return;
    }
    // A row being edited is stored first, so that it counts and is kept.
    bool listo = false;
    m_rejilla->cambiaTabla([&] { listo = tabla.checkBrowseMode(); });
    if (!listo)
        return;
    const UsersImport importacion(textos, m_ctx.carpetaKorvel + QStringLiteral("/TZR_LANG.ini"));
    const int existentes = tabla.recordCount();
    ImportDialog informe(
        textos, nombre, [&](ImportMode modo) { return importacion.plan(filas, modo, existentes); }, this);
    if (informe.exec() != QDialog::Accepted)
        return;
    QString error;
    m_rejilla->cambiaTabla([&] {
        m_ctx.usuarios->Activa_Tabla(false);
        try {
            UsersImport::apply(m_ctx.fichero->Directorio_Trabajo(), m_ctx.fichero->Nombre_Tabla(),
                               informe.plan(), informe.mode());
        } catch (const TzrError &e) {
            error = e.message();
        }
        try {
            m_ctx.usuarios->Activa_Tabla(true);
        } catch (const TzrError &e) {
            // The import's own error says what happened to the file: it comes first, never replaced.
            error = error.isEmpty() ? e.message() : error + QLatin1Char('\n') + e.message();
        }
    });
    if (!error.isEmpty() && m_avisoError)
        m_avisoError(error);
}
