#pragma once

#include <QFileDialog>
#include <QString>

// The file dialogs of the main window: made once, shown with the name filter of the language
// chosen now.
namespace FileDialogs {

inline const QString DATA_FILTER = QStringLiteral("TZR Data Files (*.db)");
inline const QString EXCEL_FILTER = QStringLiteral("Excel Files (*.xls)");

QFileDialog *make(QWidget *parent, const char *name, QFileDialog::AcceptMode mode, const QString &filter,
                  const QString &suffix);
// The chosen file, or empty when the dialog was closed.
QString show(QFileDialog *dialog);
// selectFile() ignores an empty name, so the name is emptied in the dialog's own edit.
void clearName(QFileDialog *dialog);
// A name typed without an extension gets the dialog's, as the dialog itself would add it.
QString withSuffix(const QFileDialog *dialog, const QString &name);

} // namespace FileDialogs
