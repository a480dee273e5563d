#pragma once

#include "BoardCommand.h"

// Only the slots that differ from the last synchronisation, after checking the board was not changed since.
class SendChangesCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;
};
