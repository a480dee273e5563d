#pragma once

#include "JobObserver.h"
#include "StderrMessages.h"

// The terminal's side of a job: the progress line and the transfers' messages.
class TerminalObserver : public JobObserver
{
public:
    TerminalObserver(ProgressView *progress, QTextStream &err) : m_progress(progress), m_messages(err) {}
    ProgressView *progress() override { return m_progress; }
    MessageView *messages() override { return &m_messages; }

private:
    ProgressView *m_progress;
    StderrMessages m_messages;
};
