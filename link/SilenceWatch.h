#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

class Comunicacion_TZR;
class ProgressView;

// Watches a transfer for a board that has stopped answering: after SilenceLimit without a valid
// reply the progress view is told (it offers Stop), and told again once replies resume. The
// transfer itself keeps its retries.
class SilenceWatch : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds SilenceLimit{2000};

    SilenceWatch(Comunicacion_TZR &link, ProgressView *view);
    ~SilenceWatch() override;

    bool notified() const { return m_notified; }

private:
    void onExchange(bool valid);
    void onSilence();

    ProgressView *m_view = nullptr;
    QTimer m_timer;
    bool m_notified = false;
};
