#pragma once

#include "BoardSession.h"

#include <QDialog>

class Contexto;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for a board's programming code ("P", before connecting) or master code ("M", before the
// panel parameters). Aceptar reads the board's code and keeps what was typed; the verdict is given
// by the caller once the dialog has closed, however it was closed.
class TF_Solicita_Contra : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Solicita_Contra(Contexto &ctx, QWidget *parent = nullptr);

    // The requester letter held by L_QUIEN_SOLICITA.
    void setQuienSolicita(QChar letra);
    QChar quienSolicita() const;

    // Five spaces and no code read, as at the start of every check.
    void reiniciaContraPlaca();
    QString contra_placa() const { return m_codigo.contra_placa; }
    const CodigoLeido &codigoLeido() const { return m_codigo; }
    QString contra_tecleada() const { return m_contraTecleada; }
    // What E_Contra holds now, which is what a board without a stored code is checked against.
    QString textoActual() const;

    QLineEdit *E_Contra() const { return m_E_Contra; }
    // A line naming the code asked and what for, above the code; empty hides it.
    void setMotivo(const QString &texto);
    QLabel *L_Motivo() const { return m_L_Motivo; }

    // Raises the link's errors (ConversionError for an empty num_placa); the dialog then stays open.
    void AceptarClick();
    void CancelarClick();
    void FormActivate();
    // Runs however the dialog closes.
    void FormClose();

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // An error that ends Aceptar is shown in the error box over the dialog.
    void aceptaProtegido();

    Contexto &m_ctx;
    CodigoLeido m_codigo;
    QString m_contraTecleada;
    // Set while Aceptar reads the board: the reads pump events and a second Aceptar must not start.
    bool m_leyendo = false;

    QLabel *m_L_QUIEN_SOLICITA = nullptr;
    QLabel *m_L_Motivo = nullptr;
    QLineEdit *m_E_Contra = nullptr;
};
