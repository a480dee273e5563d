#pragma once

#include "UsersImport.h"

#include <QDialog>

#include <functional>

class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class TextLookup;

// The report of an import before anything is stored: how many users will be taken, each row
// that will not with its line and reason, and the choice between replacing the table's users and
// adding to them. Accepting stores; cancelling leaves the table as it was.
class ImportDialog : public QDialog
{
    Q_OBJECT
public:
    // plan works out the import for a mode; it is asked again when the mode changes.
    ImportDialog(const TextLookup &texts, const QString &fileName, std::function<ImportPlan(ImportMode)> plan,
                 QWidget *parent = nullptr);

    ImportMode mode() const;
    const ImportPlan &plan() const { return m_plan; }

private:
    void update();

    const TextLookup &m_texts;
    std::function<ImportPlan(ImportMode)> m_planFor;
    ImportPlan m_plan;
    QRadioButton *m_replace = nullptr;
    QRadioButton *m_append = nullptr;
    QLabel *m_summary = nullptr;
    QListWidget *m_problems = nullptr;
    QPushButton *m_accept = nullptr;
};
