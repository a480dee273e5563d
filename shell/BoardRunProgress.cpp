#include "BoardRunProgress.h"

#include "TextLookup.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

BoardRunProgress::BoardRunProgress(const TextLookup &texts, QWidget *parent) : QDialog(parent), m_texts(texts)
{
    setObjectName(QStringLiteral("BoardRunProgress"));
    setWindowTitle(QApplication::applicationDisplayName());
    auto *layout = new QVBoxLayout(this);
    m_board = new QLabel(this);
    m_board->setObjectName(QStringLiteral("board"));
    QFont bold = m_board->font();
    bold.setBold(true);
    m_board->setFont(bold);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("bar"));
    m_bar->setTextVisible(false);
    m_counter = new QLabel(this);
    m_counter->setObjectName(QStringLiteral("counter"));
    m_user = new QLabel(this);
    m_user->setObjectName(QStringLiteral("user"));
    m_silent = new QLabel(this);
    m_silent->setObjectName(QStringLiteral("silent"));
    m_silent->hide();
    m_stop = new QPushButton(m_texts.texto(QStringLiteral("LINE_STOP"), QStringLiteral("Stop")), this);
    m_stop->setObjectName(QStringLiteral("stop"));
    m_stop->setAutoDefault(false);
    for (QWidget *w : {static_cast<QWidget *>(m_board), static_cast<QWidget *>(m_message),
                       static_cast<QWidget *>(m_bar), static_cast<QWidget *>(m_counter),
                       static_cast<QWidget *>(m_user), static_cast<QWidget *>(m_silent)})
        layout->addWidget(w);
    layout->addWidget(m_stop, 0, Qt::AlignRight);
    setMinimumWidth(380);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        m_stop->setEnabled(false);
        emit stopRequested();
    });
}

void BoardRunProgress::setBoard(int board, int index, int count)
{
    m_board->setText(m_texts.texto(QStringLiteral("MULTI_PROGRESS_BOARD"), QStringLiteral("Board %1 — %2 of %3"))
                         .arg(board, 2, 10, QLatin1Char('0'))
                         .arg(index)
                         .arg(count));
    m_bar->setValue(0);
    m_counter->clear();
    m_user->clear();
    m_silent->hide();
}

void BoardRunProgress::display()
{
    if (!isVisible())
        show();
}

void BoardRunProgress::setMessage(const QString &text)
{
    m_message->setText(text);
}

void BoardRunProgress::setMaximum(int maximum)
{
    m_bar->setMaximum(maximum);
}

void BoardRunProgress::setPosition(int position)
{
    m_bar->setValue(position);
}

int BoardRunProgress::position() const
{
    return m_bar->value();
}

void BoardRunProgress::setCounter(const QString &text)
{
    m_counter->setText(text);
}

void BoardRunProgress::setUserInHand(const QString &text)
{
    m_user->setText(text);
}

void BoardRunProgress::setNotAnswering(bool on)
{
    m_silent->setText(m_texts.texto(QStringLiteral("LINE_SILENT"), QStringLiteral("The board is not answering.")));
    m_silent->setVisible(on);
}
