#pragma once

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs action on the next modal window that opens above `below` (null: any modal window), from
// the event loop of that window's own exec(). Gives up after a bounded number of turns.
inline void onNextModal(std::function<void(QWidget *)> action, QWidget *below = nullptr, int turns = 500)
{
    QPointer<QWidget> guard(below);
    QTimer::singleShot(0, [action = std::move(action), below, guard, turns]() mutable {
        QWidget *modal = QApplication::activeModalWidget();
        const bool isNew = modal && modal->isVisible() && modal != below;
        if (!isNew) {
            if (turns > 0)
                onNextModal(std::move(action), guard ? below : nullptr, turns - 1);
            else
                qWarning("onNextModal: no modal window opened");
            return;
        }
        action(modal);
    });
}
