#pragma once

#include <QList>
#include <QString>

#include <functional>

class BoardSession;

// A board that answered the board test.
struct TestedBoard
{
    int board = 0;
    int codeLength = 0;
    // In English whatever the language of the line.
    QString reader;
    // The line as the window lists it.
    QString line;
};

// The board test over the session's link: every board number polled, nothing changed.
class TestJob
{
public:
    explicit TestJob(BoardSession &session) : m_session(session) {}

    // progress(n) as board n is asked.
    QList<TestedBoard> run(const std::function<void(int board)> &progress);

private:
    BoardSession &m_session;
};
