#pragma once

#include "BoardCommand.h"

// The data file to the board, replacing its users.
class SendCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;
};
