#include "ErrorBox.h"

#include <QGuiApplication>
#include <QMessageBox>

void showErrorBox(QWidget *parent, const QString &message)
{
    QMessageBox::critical(parent, QGuiApplication::applicationDisplayName(), message);
}
