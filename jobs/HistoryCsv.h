#pragma once

#include "History.h"

// Writes entries of a data file's history to a file of their own, as a report is saved.
namespace HistoryCsv {
// Raises TzrError with the system's message when the file cannot be written.
void save(const QString &path, const QList<HistoryEntry> &entries);
} // namespace HistoryCsv
