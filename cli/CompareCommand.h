#pragma once

#include "BoardCommand.h"

// The board's users against the data file.
class CompareCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;
};
