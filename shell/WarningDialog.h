#pragma once

#include <QDialog>

class Contexto;
class QLabel;
class QPushButton;

// The layout and answer of the two warnings before a transfer. The answer is confirmado, true only
// when Aceptar was pressed during the current showing; any other way of closing refuses.
class WarningDialog : public QDialog
{
    Q_OBJECT
public:
    void AceptarClick();
    void CancelarClick();

    QString nombreFichero() const;

protected:
    WarningDialog(Contexto &ctx, const QString &nombre, QSize tamano, QWidget *parent);

    void showEvent(QShowEvent *event) override;
    void reject() override;

private:
    Contexto &m_ctx;
    QSize m_tamano;
    QLabel *m_L_Fic = nullptr;
    QPushButton *m_Aceptar = nullptr;
};
