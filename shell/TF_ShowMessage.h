#pragma once

#include "TransferReport.h"

#include <QDialog>

class Contexto;
class QLabel;
class QPushButton;

// The two-line message box of the program's own messages. It has no default or cancel button:
// only B_OK or the close box dismisses it, so a message cannot be skipped by a key held down.
class TF_ShowMessage : public QDialog, public MessageView
{
    Q_OBJECT
public:
    explicit TF_ShowMessage(Contexto &ctx, QWidget *parent = nullptr);

    // Sets MiMensaje1 and MiMensaje2 and shows the box modally; returns when it is closed.
    void showTwoLines(const QString &line1, const QString &line2) override;
    // The same for a command that ended as asked: drawn in the ordinary text colour, red being
    // kept for warnings and errors.
    void mostrarExito(const QString &line1, const QString &line2);

    QString linea1() const;
    QString linea2() const;

    void B_OKClick();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void muestra(const QString &line1, const QString &line2, bool aviso);

    QLabel *m_MiMensaje1 = nullptr;
    QLabel *m_MiMensaje2 = nullptr;
    QPushButton *m_B_OK = nullptr;
};

// Shows a message through the run's message box (a passing one while the run's does not exist).
void showMessage(Contexto &ctx, const QString &line1, const QString &line2 = QString());
// The same for a success or a plain notice: not in the warning colour.
void showSuccess(Contexto &ctx, const QString &line1, const QString &line2 = QString());
