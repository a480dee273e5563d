#pragma once

#include "BoardCommand.h"

struct HistoryEntry;

// A data file's history of jobs: listed, filtered, or checked link by link.
class HistoryCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;

private:
    int verify();
    void printLines(const QList<HistoryEntry> &entries);
    // The word for a job, outcome or change key in the configured language; the key itself
    // for one this build does not know.
    QString word(const QString &key) const;
};
