#pragma once

#include "BoardCommand.h"

class BoardCodes;

// send, compare and backup over the boards of --board LIST or all: a line per board, then the
// run's report.
class SeveralBoardsCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;

private:
    BoardCodes boardCodes(QChar letra);
    // The scan's boards and those the data file remembers; silent: the remembered ones that did
    // not answer.
    QList<int> boardsToRun(const QList<int> &remembered, QList<int> &silent);
};
