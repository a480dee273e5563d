#include "InterruptWatch.h"

#include <QSocketNotifier>

#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t interruptOnly()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    return set;
}

} // namespace

InterruptWatch::InterruptWatch(QObject *parent) : QObject(parent)
{
    const sigset_t set = interruptOnly();
    if (pthread_sigmask(SIG_BLOCK, &set, &m_previous) != 0)
        return;
    m_fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd < 0) {
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &InterruptWatch::onReadable);
}

InterruptWatch::~InterruptWatch()
{
    m_notifier.reset();
    if (m_fd >= 0) {
        ::close(m_fd);
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
}

void InterruptWatch::onReadable()
{
    signalfd_siginfo info{};
    while (::read(m_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (m_seen) {
            // The second Ctrl+C: the default action, once the mask lets it through.
            m_notifier.reset();
            ::close(m_fd);
            m_fd = -1;
            emit quitting();
            pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
            ::raise(SIGINT);
            return;
        }
        m_seen = true;
        emit interrupted();
    }
}
