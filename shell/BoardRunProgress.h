#pragma once

#include "TransferReport.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class TextLookup;

// The one progress window of a run over several boards: which board, which of how many, the
// board's own progress, and Stop, which ends the run at the next exchange.
class BoardRunProgress : public QDialog, public ProgressView
{
    Q_OBJECT
public:
    BoardRunProgress(const TextLookup &texts, QWidget *parent = nullptr);

    void setBoard(int board, int index, int count);

    void mostrar() override;
    void cerrar() override {}
    void setMensaje(const QString &text) override;
    void setMaximo(int maximum) override;
    void setPosicion(int position) override;
    int posicion() const override;
    void setContador(const QString &text) override;
    void setUsuarioProceso(const QString &text) override;
    void setSinRespuesta(bool on) override;

signals:
    void stopRequested();

private:
    const TextLookup &m_texts;
    QLabel *m_board = nullptr;
    QLabel *m_message = nullptr;
    QProgressBar *m_bar = nullptr;
    QLabel *m_counter = nullptr;
    QLabel *m_user = nullptr;
    QLabel *m_silent = nullptr;
    QPushButton *m_stop = nullptr;
};
