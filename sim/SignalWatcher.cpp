#include "SignalWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t watchedSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGUSR1);
    return set;
}

} // namespace

bool SignalWatcher::blockWatchedSignals()
{
    const sigset_t set = watchedSignals();
    return sigprocmask(SIG_BLOCK, &set, nullptr) == 0;
}

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{
    const sigset_t set = watchedSignals();
    m_fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalWatcher::onReadable);
    }
}

SignalWatcher::~SignalWatcher()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

void SignalWatcher::onReadable()
{
    signalfd_siginfo info{};
    while (::read(m_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo == SIGUSR1)
            emit saveRequested();
        else
            emit stopRequested();
    }
}
