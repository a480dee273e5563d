#pragma once

#include "RegistroPlaca.h"
#include "TransferReport.h"

#include <QString>

// A walk over every slot of the board, 0 to 349, with the progress view (which may be absent)
// stepped to slot n + 1 as slot n starts.
class SlotWalk
{
public:
    // What the view's counters show besides the bar.
    enum class Counter
    {
        Numbered,         // "n/350" as slot n starts
        NumberedWithUser, // "0/350" first; then "n/350", in the main window's user counter too
        Dots,             // "..." once each slot is done
    };

    SlotWalk(ProgressView *view, Counter counter) : m_view(view), m_counter(counter) {}

    // work(slot) does what each slot needs; an exception ends the walk there.
    template<typename Work>
    void run(Work &&work) const
    {
        if (m_view) {
            m_view->setPosition(0);
            m_view->setMaximum(MAX_USUARIOS);
            if (m_counter == Counter::NumberedWithUser)
                m_view->setCounter(QStringLiteral("0/%1").arg(MAX_USUARIOS));
        }
        for (int slot = 0; slot < MAX_USUARIOS; ++slot) {
            step(slot);
            work(slot);
            if (m_view && m_counter == Counter::Dots)
                m_view->setCounter(QStringLiteral("..."));
        }
    }

private:
    void step(int slot) const
    {
        if (!m_view)
            return;
        m_view->setPosition(slot + 1);
        if (m_counter == Counter::Dots)
            return;
        const QString count = QStringLiteral("%1/%2").arg(slot + 1).arg(MAX_USUARIOS);
        m_view->setCounter(count);
        if (m_counter == Counter::NumberedWithUser)
            m_view->setUserInHand(count);
    }

    ProgressView *m_view;
    Counter m_counter;
};
