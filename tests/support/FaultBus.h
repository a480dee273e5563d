#pragma once

#include "BoardBus.h"
#include "BusSerialPort.h"

#include <QFlags>
#include <QString>

#include <chrono>

// A bus whose line goes wrong now and then in the ways a mostly working line does, the same way
// again for a seed: the bench for jobs that must never claim what the board does not hold.
class FaultBus
{
public:
    enum class Fault {
        Late = 0x01,       // 1 to 5 reply times late
        Duplicated = 0x02, // sent twice
        Cut = 0x04,        // 1 to 3 bytes lost
        Noise = 0x08,      // stray bytes on the idle line
        LostWrites = 0x10, // acknowledged, not stored
        MissedProbes = 0x20,
        Dropped = 0x40,
        BadCheck = 0x80,
    };
    Q_DECLARE_FLAGS(Faults, Fault)

    static constexpr Faults ALL{0xFF};

    // rate: the probability of each fault chosen, per frame the board acts on.
    FaultBus(quint32 seed, Faults faults, double rate = 0.02,
             std::chrono::milliseconds replyTime = std::chrono::milliseconds{100});

    BoardBus &bus() { return m_bus; }
    BusSerialPort &port() { return m_port; }
    quint32 seed() const { return m_seed; }

    // Late replies come this late, not 1 to 5 reply times (e.g. 1.3 reply times, where the retry
    // meets the late reply).
    void setLateBy(std::chrono::microseconds lateBy)
    {
        m_faults.lateBy = lateBy;
        resume();
    }

    // The faults stop (to look at what the board holds through the line) and start again.
    void quiet() { m_bus.setFaults({}); }
    void resume() { m_bus.setFaults(m_faults); }

    static BoardBus::Faults mix(Faults faults, double rate, std::chrono::milliseconds replyTime);
    // "seed 7, 2 % late, lost writes": for the message of a failed check.
    QString describe() const;

private:
    quint32 m_seed;
    Faults m_chosen;
    double m_rate;
    BoardBus::Faults m_faults;
    BoardBus m_bus;
    BusSerialPort m_port;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(FaultBus::Faults)
