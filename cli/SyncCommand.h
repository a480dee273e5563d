#pragma once

#include "SeveralBoardsCommand.h"

// The data file's changes to every board it has met in full (or to those of --board), as a send
// of changes over several boards does; made to run unattended from a timer.
class SyncCommand : public SeveralBoardsCommand
{
public:
    using SeveralBoardsCommand::SeveralBoardsCommand;

protected:
    int execute() override;

private:
    // Under --quiet nothing may wait for a terminal: the code must come from a file or the
    // environment.
    void requireUnattendedCode() const;
    void printSummary();
};
