#include "PreciseAlarm.h"

#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>

PreciseAlarm::PreciseAlarm(QObject *parent)
    : QObject(parent), m_fd(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC))
{
    if (m_fd >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &PreciseAlarm::onReadable);
    }
}

PreciseAlarm::~PreciseAlarm()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

void PreciseAlarm::setDeadline(std::chrono::steady_clock::time_point deadline)
{
    if (m_fd < 0)
        return;
    using namespace std::chrono;
    // steady_clock is CLOCK_MONOTONIC on Linux; a zero time would disarm, so keep it positive.
    const auto since = std::max(duration_cast<nanoseconds>(deadline.time_since_epoch()), nanoseconds{1});
    itimerspec spec{};
    spec.it_value.tv_sec = static_cast<time_t>(since.count() / 1'000'000'000);
    spec.it_value.tv_nsec = static_cast<long>(since.count() % 1'000'000'000);
    timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &spec, nullptr);
}

void PreciseAlarm::cancel()
{
    if (m_fd < 0)
        return;
    const itimerspec spec{};
    timerfd_settime(m_fd, 0, &spec, nullptr);
}

void PreciseAlarm::onReadable()
{
    std::uint64_t expirations = 0;
    if (::read(m_fd, &expirations, sizeof expirations) == static_cast<ssize_t>(sizeof expirations))
        emit fired();
}
