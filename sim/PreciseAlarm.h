#pragma once

#include <QObject>

#include <chrono>
#include <memory>

class QSocketNotifier;

// A one-shot alarm at an absolute steady-clock time with microsecond resolution (a timerfd
// watched by the event loop); QTimer counts whole milliseconds, too coarse for byte times.
class PreciseAlarm : public QObject
{
    Q_OBJECT
public:
    explicit PreciseAlarm(QObject *parent = nullptr);
    ~PreciseAlarm() override;

    bool isValid() const { return m_fd >= 0; }
    // Replaces any earlier deadline; a deadline already past fires at once.
    void setDeadline(std::chrono::steady_clock::time_point deadline);
    void cancel();

signals:
    void fired();

private:
    void onReadable();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
