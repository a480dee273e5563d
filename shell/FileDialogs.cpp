#include "FileDialogs.h"

#include <QFileInfo>
#include <QLineEdit>

namespace FileDialogs {

QFileDialog *make(QWidget *parent, const char *name, QFileDialog::AcceptMode mode, const QString &filter,
                  const QString &suffix)
{
    auto *d = new QFileDialog(parent);
    d->setObjectName(QString::fromLatin1(name));
    d->setAcceptMode(mode);
    d->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    d->setNameFilter(filter);
    d->setDefaultSuffix(suffix);
    d->setSizeGripEnabled(true);
    return d;
}

QString show(QFileDialog *dialog)
{
    if (dialog->exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog->selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.constFirst();
}

void clearName(QFileDialog *dialog)
{
    if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        name->clear();
}

QString withSuffix(const QFileDialog *dialog, const QString &name)
{
    if (name.isEmpty() || dialog->defaultSuffix().isEmpty() || QFileInfo(name).fileName().contains(QLatin1Char('.')))
        return name;
    return name + QLatin1Char('.') + dialog->defaultSuffix();
}

} // namespace FileDialogs
