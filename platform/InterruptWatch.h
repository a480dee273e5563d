#pragma once

#include <QObject>

#include <csignal>
#include <memory>

class QSocketNotifier;

// Ctrl+C as an event of the event loop while a board command runs: the first one asks the
// command to stop at its next exchange; a second one ends the program as Ctrl+C always does.
// SIGINT is blocked for the calling thread while the watch lives, and unblocked after.
class InterruptWatch : public QObject
{
    Q_OBJECT
public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override;
    bool isValid() const { return m_fd >= 0; }

signals:
    void interrupted();
    // The second Ctrl+C, just before the program ends: what must not be left half-done is
    // undone here, in handlers connected directly.
    void quitting();

private:
    void onReadable();

    int m_fd = -1;
    bool m_seen = false;
    sigset_t m_previous{};
    std::unique_ptr<QSocketNotifier> m_notifier;
};
