#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns SIGINT, SIGTERM, SIGHUP and SIGUSR1 into signals of the event loop (a signalfd), so
// the stand-in can save its image and remove its port link before leaving.
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    // Blocks the signals for the calling thread; call before any other thread starts.
    static bool blockWatchedSignals();

    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;
    bool isValid() const { return m_fd >= 0; }

signals:
    void stopRequested();
    void saveRequested();

private:
    void onReadable();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
