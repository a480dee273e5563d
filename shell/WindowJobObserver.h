#pragma once

#include "JobObserver.h"

#include <functional>

class ProgressView;
class MessageView;

// The window's side of a job: the progress window, the two-line message box, and what each
// handler does when the job starts and when its work is over.
class WindowJobObserver : public JobObserver
{
public:
    WindowJobObserver(ProgressView *progress, MessageView *messages) : m_progress(progress), m_messages(messages) {}

    ProgressView *progress() override { return m_progress; }
    MessageView *messages() override { return m_messages; }
    void started() override
    {
        if (onStarted)
            onStarted();
    }
    void workDone() override
    {
        if (onWorkDone)
            onWorkDone();
    }

    std::function<void()> onStarted;
    std::function<void()> onWorkDone;

private:
    ProgressView *m_progress;
    MessageView *m_messages;
};
