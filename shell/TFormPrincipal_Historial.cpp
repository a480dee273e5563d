// The File menu's "History…": the jobs run with the open data file, as its history records them.

#include "TFormPrincipal.h"

#include "Asigna_Lenguaje.h"
#include "Contexto.h"
#include "HistoryDialog.h"
#include "TextLookup.h"
#include "TzrError.h"

#include <QAction>
#include <QMenu>

namespace {

QString historyCaption(const TextLookup &texts)
{
    return texts.texto(QStringLiteral("HIST_MENU"), QStringLiteral("History…"));
}

} // namespace

void TFormPrincipal::createHistoryEntry()
{
    m_miHistorial = new QAction(historyCaption(textosDe(m_ctx)), this);
    m_miHistorial->setObjectName(QStringLiteral("miHistorial"));
    // After the menu's entries, before the separator N4 and Exit.
    QAction *before = nullptr;
    for (QAction *a : m_Archivo1->actions()) {
        if (a->objectName() == QLatin1String("N4"))
            before = a;
    }
    m_Archivo1->insertAction(before, m_miHistorial);
    m_miHistorial->setEnabled(!ficheroAbierto().isEmpty());
    conecta(m_miHistorial, &TFormPrincipal::historyClick);
    // A file is opened, created and closed in several places; the entry is brought up to date
    // each time the menu opens, with the caption in the language chosen meanwhile.
    connect(m_Archivo1, &QMenu::aboutToShow, this, [this] {
        m_miHistorial->setText(historyCaption(textosDe(m_ctx)));
        m_miHistorial->setEnabled(!ficheroAbierto().isEmpty());
    });
}

void TFormPrincipal::historyClick()
{
    const DataFileRef file = ficheroAbierto();
    if (file.isEmpty())
        return;
    // One at a time: a second click brings a fresh reading of the history.
    if (auto *open = findChild<HistoryDialog *>(QStringLiteral("HistoryDialog")))
        open->close();
    HistoryDialog *dialog = nullptr;
    try {
        dialog = new HistoryDialog(textosDe(m_ctx), file, this);
    } catch (const TzrError &e) {
        if (m_avisoError)
            m_avisoError(e.message());
        return;
    }
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}
