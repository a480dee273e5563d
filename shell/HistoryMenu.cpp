#include "HistoryMenu.h"

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

HistoryMenu::HistoryMenu(Contexto &ctx, QMenu &file, QWidget &window, Hooks hooks)
    : QObject(&window), m_ctx(ctx), m_window(window), m_hooks(std::move(hooks))
{
    m_entry = new QAction(historyCaption(textosDe(m_ctx)), &window);
    m_entry->setObjectName(QStringLiteral("miHistorial"));
    QAction *before = nullptr;
    for (QAction *a : file.actions()) {
        if (a->objectName() == QLatin1String("N4"))
            before = a;
    }
    file.insertAction(before, m_entry);
    m_entry->setEnabled(!m_hooks.openFile().isEmpty());
    connect(m_entry, &QAction::triggered, this, [this] { m_hooks.guard([this] { show(); }); });
    // A file is opened, created and closed in several places; the entry is brought up to date
    // each time the menu opens, with the caption in the language chosen meanwhile.
    connect(&file, &QMenu::aboutToShow, this, [this] {
        m_entry->setText(historyCaption(textosDe(m_ctx)));
        m_entry->setEnabled(!m_hooks.openFile().isEmpty());
    });
}

void HistoryMenu::show()
{
    const DataFileRef file = m_hooks.openFile();
    if (file.isEmpty())
        return;
    // One at a time: a second click brings a fresh reading of the history.
    if (auto *open = m_window.findChild<HistoryDialog *>(QStringLiteral("HistoryDialog")))
        open->close();
    HistoryDialog *dialog = nullptr;
    try {
        dialog = new HistoryDialog(textosDe(m_ctx), file, &m_window);
    } catch (const TzrError &e) {
        if (m_hooks.error)
            m_hooks.error(e.message());
        return;
    }
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}
