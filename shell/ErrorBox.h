#pragma once

class QString;
class QWidget;

// How an error that ends a command is shown to the user: a modal box with the error's text.
void showErrorBox(QWidget *parent, const QString &message);
