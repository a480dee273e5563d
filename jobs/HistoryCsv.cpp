#include "HistoryCsv.h"

#include "FileData.h"

void HistoryCsv::save(const QString &path, const QList<HistoryEntry> &entries)
{
    FileData::write(path, History::toCsv(entries));
}
