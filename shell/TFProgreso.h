#pragma once

#include "TransferReport.h"

#include <QDialog>

class Contexto;
class QLabel;
class QGridLayout;
class QProgressBar;
class QPushButton;

// What a transfer or a bus scan is doing and how far it has got. Shown without modality and
// without taking the focus, so the operation's handler keeps running underneath it.
class TFProgreso : public QDialog, public ProgressView
{
    Q_OBJECT
public:
    explicit TFProgreso(Contexto &ctx, QWidget *parent = nullptr);

    void display() override;
    void dismiss() override;
    void setMessage(const QString &text) override;
    void setMaximum(int maximum) override;
    void setPosition(int position) override;
    int position() const override;
    void setCounter(const QString &text) override;
    void setUserInHand(const QString &text) override;
    // The board-not-answering notice and its Stop button (TFProgreso_SinRespuesta.cpp).
    void setNotAnswering(bool on) override;
    bool sinRespuesta() const;
    // For a job that leaves nothing half-done: its Cancel button is offered from the start, until
    // the window is closed. cancelado tells whether it was pressed.
    void ofreceCancelar();
    bool cancelado() const { return m_cancelado; }
    QPushButton *btnDetener() const { return m_btnDetener; }

    QString mensaje() const;
    int maximo() const;
    QString contador() const;

private:
    void creaAvisoSinRespuesta(QGridLayout *rejilla);
    void retiraCancelar();

    Contexto &m_ctx;
    QLabel *m_lblSinRespuesta = nullptr;
    QPushButton *m_btnDetener = nullptr;
    bool m_sinRespuesta = false;
    bool m_cancelable = false;
    bool m_cancelado = false;
    QLabel *m_Mensaje = nullptr;
    QLabel *m_lblUsers = nullptr;
    QProgressBar *m_Barra_Progreso = nullptr;
};
