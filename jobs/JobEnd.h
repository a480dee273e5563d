#pragma once

#include <QString>

// How a job ended; every job result carries one.
enum class JobEnd
{
    Done,       // the job ran to its end (its result says whether every exchange was answered)
    NotOpened,  // the board did not open the transfer; nothing was done
    RowRefused, // a row of the file cannot be encoded; the board was not touched
    Stopped,    // Stop (or Ctrl+C) ended it at an exchange
    PortLost,   // the port went away under it
    PortUnavailable, // the port could not be opened again before the writes
    RepliesMismatched, // a reply came that answered no request: what was read or acknowledged may be another's
    Failed,     // any other error; the text says which
};

struct JobStatus
{
    JobEnd end = JobEnd::Done;
    // The error's text for Failed, the port's message for PortLost.
    QString error;
    // The data file's history could not take the job's entry (the error's text); the job's
    // outcome stands.
    QString notRecorded;
    bool done() const { return end == JobEnd::Done; }
};

#include <exception>

// The status of a job ended by an exception from an exchange or a file.
JobStatus failureStatus(const std::exception &e);
