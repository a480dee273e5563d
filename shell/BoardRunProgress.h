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

    void display() override;
    void dismiss() override {}
    void setMessage(const QString &text) override;
    void setMaximum(int maximum) override;
    void setPosition(int position) override;
    int position() const override;
    void setCounter(const QString &text) override;
    void setUserInHand(const QString &text) override;
    void setNotAnswering(bool on) override;

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
