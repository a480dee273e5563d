#pragma once

#include <QDialog>

class Contexto;
class QLabel;
class QLineEdit;
class QPushButton;

// The password change form: the current password opens the two fields of the new one, which must
// be typed twice alike and is stored as typed.
class TF_Contrasena : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Contrasena(Contexto &ctx, QWidget *parent = nullptr);

    void ValidarClick();
    void Aceptar1Click();
    void Cancelar1Click();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Runs each time the window becomes the active one: when shown, and when a message box it
    // opened closes.
    void FormActivate();
    void habilitaNueva(bool on);

    Contexto &m_ctx;
    QLineEdit *m_Ant_Contra = nullptr;
    QLabel *m_L2 = nullptr;
    QLineEdit *m_NContra = nullptr;
    QLabel *m_L3 = nullptr;
    QLineEdit *m_NContra_Valida = nullptr;
    QPushButton *m_Aceptar1 = nullptr;
};
