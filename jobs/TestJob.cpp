#include "TestJob.h"

#include "BoardSession.h"

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
    TestPlacas(m_session.link(), m_session.texts()).ejecuta(vista);
    return boards;
}
