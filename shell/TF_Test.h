#pragma once

#include <QDialog>

class Contexto;
class QLabel;
class QListWidget;

// The board test window: polls every board number and lists the boards that answer. Not modal;
// it changes nothing of the tool's state but the stop request of its own run.
class TF_Test : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Test(Contexto &ctx, QWidget *parent = nullptr);

    // One run over the boards 0 to 31. Refused while a run is active or the link is busy. Raises
    // the link's errors (a port that is not open).
    void IniciarClick();
    // Stops the run at the next board number and closes the window.
    void DetenerClick();
    bool enCurso() const { return m_enCurso; }

protected:
    void hideEvent(QHideEvent *event) override;

private:
    // Runs however the window closes.
    void FormClose();
    void iniciaProtegido();

    Contexto &m_ctx;
    bool m_enCurso = false;
    QLabel *m_Num_P = nullptr;
    QListWidget *m_ListBox1 = nullptr;
};
