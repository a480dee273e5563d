#pragma once

#include "DataFileRef.h"
#include "History.h"
#include "JobEnd.h"

class BoardSession;

// The entry a job leaves in the open data file's history, once for both front ends.
namespace JobHistory {
// The outcome key of a job's end; complete says whether every exchange of a finished job was
// answered.
QString outcomeOf(const JobStatus &status, bool complete);
// An entry stamped now for the session's port and board.
HistoryEntry start(const BoardSession &session, const QString &job, int board);
// Appends the entry to the file's history, when there is a file. When it cannot be, the status's
// notRecorded says why and the session tells its front end; the job's outcome stands either way.
void record(BoardSession &session, const DataFileRef &file, HistoryEntry &entry, JobStatus &status);
} // namespace JobHistory
