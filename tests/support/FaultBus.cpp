#include "FaultBus.h"

#include <QStringList>

FaultBus::FaultBus(quint32 seed, Faults faults, double rate, std::chrono::milliseconds replyTime)
    : m_seed(seed), m_chosen(faults), m_rate(rate), m_faults(mix(faults, rate, replyTime)), m_bus(seed), m_port(m_bus)
{
    m_bus.setFaults(m_faults);
}

BoardBus::Faults FaultBus::mix(Faults faults, double rate, std::chrono::milliseconds replyTime)
{
    BoardBus::Faults mixed;
    mixed.replyTime = replyTime;
    const auto on = [&](Fault fault) { return faults.testFlag(fault) ? rate : 0.0; };
    mixed.lateRate = on(Fault::Late);
    mixed.duplicateRate = on(Fault::Duplicated);
    mixed.cutRate = on(Fault::Cut);
    mixed.strayNoiseRate = on(Fault::Noise);
    mixed.lostWriteRate = on(Fault::LostWrites);
    mixed.missedProbeRate = on(Fault::MissedProbes);
    mixed.dropRate = on(Fault::Dropped);
    mixed.badCheckRate = on(Fault::BadCheck);
    return mixed;
}

QString FaultBus::describe() const
{
    static const std::pair<Fault, const char *> names[] = {
        {Fault::Late, "late"},           {Fault::Duplicated, "twice"},     {Fault::Cut, "cut"},
        {Fault::Noise, "noise"},         {Fault::LostWrites, "lost writes"}, {Fault::MissedProbes, "missed probes"},
        {Fault::Dropped, "dropped"},     {Fault::BadCheck, "bad check"},
    };
    QStringList chosen;
    for (const auto &[fault, name] : names) {
        if (m_chosen.testFlag(fault))
            chosen << QLatin1String(name);
    }
    return QStringLiteral("seed %1, %2 % each of %3").arg(m_seed).arg(m_rate * 100.0).arg(chosen.join(QLatin1String(", ")));
}
