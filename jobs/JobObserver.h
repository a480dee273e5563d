#pragma once

class MessageView;
class ProgressView;

// What a front end gives a job: where progress, "board not answering" and the transfers' own
// messages go, and two moments it may act on. Stop reaches a job through BoardSession::requestStop.
class JobObserver
{
public:
    virtual ~JobObserver() = default;
    // Either may be null: the job then runs without showing anything.
    virtual ProgressView *progress() { return nullptr; }
    virtual MessageView *messages() { return nullptr; }
    // The board opened the transfer; the job is about to touch the data file or the board.
    virtual void started() {}
    // The work is over and the transfer is about to close (the window saves its log here, so
    // the saved log ends where it always did).
    virtual void workDone() {}
};
