#pragma once

#include <QObject>

#include <functional>

class QLineEdit;

// The keys the board number field takes: digits and editing keys while no board is connected,
// and no number past the bus's last board (31).
class BoardNumberFilter : public QObject
{
    Q_OBJECT
public:
    BoardNumberFilter(QLineEdit &field, std::function<bool()> connected, QObject *parent = nullptr);

    bool accepts(QChar key) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit &m_field;
    std::function<bool()> m_connected;
};
