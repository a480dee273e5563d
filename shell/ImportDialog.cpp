#include "ImportDialog.h"

#include "TextLookup.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

ImportDialog::ImportDialog(const TextLookup &texts, const QString &fileName,
                           std::function<ImportPlan(ImportMode)> plan, QWidget *parent)
    : QDialog(parent), m_texts(texts), m_planFor(std::move(plan))
{
    const auto text = [&](const char *key, const char *fallback) {
        return texts.texto(QString::fromLatin1(key), QString::fromUtf8(fallback));
    };
    setObjectName(QStringLiteral("ImportDialog"));
    setWindowTitle(text("IMP_CAPTION", "Import users"));
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    auto *file = new QLabel(QFileInfo(fileName).fileName(), this);
    file->setObjectName(QStringLiteral("L_Fichero"));
    layout->addWidget(file);
    m_replace = new QRadioButton(text("IMP_REPLACE", "Replace the users of the table"), this);
    m_replace->setObjectName(QStringLiteral("Reemplazar"));
    m_append = new QRadioButton(text("IMP_APPEND", "Add them after the users of the table"), this);
    m_append->setObjectName(QStringLiteral("Agregar"));
    // Adding loses nothing, so it is what the dialog offers first.
    m_append->setChecked(true);
    layout->addWidget(m_replace);
    layout->addWidget(m_append);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("Resumen"));
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);
    m_problems = new QListWidget(this);
    m_problems->setObjectName(QStringLiteral("Rechazos"));
    layout->addWidget(m_problems);
    auto *buttons = new QDialogButtonBox(this);
    m_accept = buttons->addButton(text("IMP_ACCEPT", "Import"), QDialogButtonBox::AcceptRole);
    m_accept->setObjectName(QStringLiteral("Aceptar"));
    QPushButton *cancel = buttons->addButton(text("IMP_CANCEL", "Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("Cancelar"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_replace, &QRadioButton::toggled, this, &ImportDialog::update);
    resize(520, 360);
    update();
}

ImportMode ImportDialog::mode() const
{
    return m_replace->isChecked() ? ImportMode::Replace : ImportMode::Append;
}

void ImportDialog::update()
{
    m_plan = m_planFor(mode());
    // Each count in its own words: one user, one row, and in French none takes the singular too.
    const bool frances = m_texts.seccion().toUpper().startsWith(QLatin1String("FRAN"));
    const auto cuenta = [&](qsizetype n, const char *uno, const char *varios, const char *unoPorDefecto,
                            const char *variosPorDefecto) {
        const bool singular = n == 1 || (frances && n == 0);
        return m_texts
            .texto(QString::fromLatin1(singular ? uno : varios),
                   QString::fromLatin1(singular ? unoPorDefecto : variosPorDefecto))
            .arg(n);
    };
    m_summary->setText(
        m_texts.texto(QStringLiteral("IMP_SUMMARY_BOTH"), QStringLiteral("%1; %2."))
            .arg(cuenta(m_plan.rows.size(), "IMP_SUMMARY_USER", "IMP_SUMMARY_USERS", "%1 user will be imported",
                        "%1 users will be imported"),
                 cuenta(m_plan.problems.size(), "IMP_SUMMARY_ROW", "IMP_SUMMARY_ROWS", "%1 row cannot be taken",
                        "%1 rows cannot be taken")));
    m_problems->clear();
    const QString line = m_texts.texto(QStringLiteral("IMP_LINE"), QStringLiteral("Line %1: %2"));
    for (const ImportProblem &p : m_plan.problems)
        m_problems->addItem(line.arg(p.line).arg(p.reason));
    // Nothing to take: replacing would only empty the table.
    m_accept->setEnabled(!m_plan.rows.isEmpty());
}
