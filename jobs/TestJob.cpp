#include "TestJob.h"

#include "BoardSession.h"

TestJob::TestJob(BoardSession &session) : m_link(session.link()), m_texts(session.texts()) {}

QList<BoardFound> TestJob::run(const Observer &observer)
{
    QList<BoardFound> boards;
    TestPlacas::Vista vista;
    vista.detener = observer.stopRequested;
    vista.numP = observer.probing;
    vista.found = [&boards](const BoardFound &board) { boards << board; };
    vista.linea = [&](const QString &line) {
        if (observer.found)
            observer.found(boards.last(), line);
    };
    TestPlacas(m_link, m_texts).ejecuta(vista);
    return boards;
}
