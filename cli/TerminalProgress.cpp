#include "TerminalProgress.h"

#include <algorithm>

namespace {
constexpr int BAR_WIDTH = 30;
}

void TerminalProgress::display()
{
    m_shown = true;
    draw();
}

void TerminalProgress::dismiss()
{
    if (m_enabled && m_shown) {
        // Clear the line so the next message starts clean.
        m_err << "\r\033[K";
        m_err.flush();
    }
    m_shown = false;
}

void TerminalProgress::setMessage(const QString &text)
{
    m_message = text.trimmed();
    draw();
}

void TerminalProgress::setMaximum(int maximum)
{
    m_maximum = std::max(1, maximum);
    draw();
}

void TerminalProgress::setPosition(int position)
{
    m_position = position;
    draw();
}

void TerminalProgress::setCounter(const QString &text)
{
    m_counter = text;
    draw();
}

void TerminalProgress::draw()
{
    if (!m_enabled)
        return;
    m_shown = true;
    const int filled = std::clamp(m_position * BAR_WIDTH / m_maximum, 0, BAR_WIDTH);
    m_err << "\r\033[K" << m_message << " [" << QString(filled, QLatin1Char('#'))
          << QString(BAR_WIDTH - filled, QLatin1Char('.')) << "] " << m_counter;
    m_err.flush();
}

void TerminalProgress::setNotAnswering(bool on)
{
    if (m_shown && m_enabled)
        m_err << '\n';
    m_err << (on ? QStringLiteral("tzr: board %1 is not answering; Ctrl+C stops").arg(m_board)
                 : QStringLiteral("tzr: board %1 answers again").arg(m_board))
          << '\n';
    m_err.flush();
}
