#pragma once

#include "DataFileRef.h"
#include "JobEnd.h"

class BoardSession;

struct ReceiveResult : JobStatus
{
    int users = 0;
    // Slots that could not be read: the file then keeps its old rows.
    int failedSlots = 0;
    // The file could not remember the board (the error's text); the receive itself stands.
    QString notRemembered;
    bool complete() const { return done() && failedSlots == 0; }
};

// Receive: every slot of the board into the data file, which keeps its old rows unless every
// slot was read; a complete receive is remembered as the board's image in the file.
class ReceiveJob
{
public:
    ReceiveJob(BoardSession &session, const DataFileRef &file) : m_session(session), m_file(file) {}
    ReceiveResult run();

private:
    ReceiveResult receive();

    BoardSession &m_session;
    DataFileRef m_file;
    int m_board = -1;
};
