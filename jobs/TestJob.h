#pragma once

#include "TestPlacas.h"

#include <QList>
#include <QString>

#include <functional>

class BoardSession;
class Comunicacion_TZR;
class TextLookup;

// The board test as data: the boards that answered, their code length and reader, and the line
// the window lists for each. Errors of the line are raised, as the test always did.
class TestJob
{
public:
    static constexpr int LastBoard = 31;

    struct Observer
    {
        std::function<bool()> stopRequested;
        std::function<void(int)> probing;
        std::function<void(const BoardFound &, const QString &line)> found;
    };

    explicit TestJob(BoardSession &session);

    QList<BoardFound> run(const Observer &observer = {});

    // The reader's name in English, whatever the language of the lines.
    static QString readerName(int reader) { return Texto_Lector(reader); }

private:
    Comunicacion_TZR &m_link;
    const TextLookup &m_texts;
};
