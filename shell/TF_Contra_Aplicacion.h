#pragma once

#include <QDialog>

class Contexto;
class QLineEdit;

// The prompt for the application password. E_Contra shows and holds every letter as its capital;
// a wrong password is told and the prompt stays for another try.
class TF_Contra_Aplicacion : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Contra_Aplicacion(Contexto &ctx, QWidget *parent = nullptr);

    void AceptarClick();
    void CancelarClick();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void reject() override;

private:
    // Runs each time the window becomes the active one: when shown, and when a message box it
    // opened closes.
    void FormActivate();
    Contexto &m_ctx;
    QLineEdit *m_E_Contra = nullptr;
};
