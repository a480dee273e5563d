#pragma once

#include "TransferReport.h"

#include <QTextStream>

// The progress window's message, bar and counter as one line on standard error, redrawn in
// place; silent unless enabled (standard error is a terminal and --quiet was not given).
class TerminalProgress : public ProgressView
{
public:
    TerminalProgress(QTextStream &err, bool enabled) : m_err(err), m_enabled(enabled) {}
    void setBoard(int board) { m_board = board; }

    void display() override;
    void dismiss() override;
    void setMessage(const QString &text) override;
    void setMaximum(int maximum) override;
    void setPosition(int position) override;
    int position() const override { return m_position; }
    void setCounter(const QString &text) override;
    void setUserInHand(const QString &) override {}
    // Said even with --quiet and off a terminal: a silent board is worth knowing about.
    void setNotAnswering(bool on) override;

private:
    void draw();

    QTextStream &m_err;
    bool m_enabled = false;
    bool m_shown = false;
    QString m_message;
    QString m_counter;
    int m_maximum = 100;
    int m_position = 0;
    int m_board = 0;
};
