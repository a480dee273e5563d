#pragma once

#include "JobEnd.h"

#include <QList>

#include <functional>

class BoardSession;

struct ScanResult : JobStatus
{
    QList<int> boards;
};

// Asks every board number of the bus (00 to 31) whether it is there, one probe each.
class ScanJob
{
public:
    static constexpr int BoardsOnBus = 32;
    // The bar counts to 31: the 32nd probe leaves it full.
    static constexpr int BarMaximum = 31;

    explicit ScanJob(BoardSession &session) : m_session(session) {}

    // Called for each board as it answers.
    void setOnFound(std::function<void(int)> onFound) { m_onFound = std::move(onFound); }
    // Asked before each probe; true skips the rest (the probes are cheap to skip, not to stop).
    void setSkipRest(std::function<bool()> skip) { m_skip = std::move(skip); }

    // Probes per board, stopping at the first answer: 1 for the scan of the bus, 3 where a board
    // left out would be a board left out of a run.
    void setAttempts(int attempts) { m_attempts = attempts; }

    ScanResult run();

private:
    BoardSession &m_session;
    std::function<void(int)> m_onFound;
    std::function<bool()> m_skip;
    int m_attempts = 1;
};
