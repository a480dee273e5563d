#pragma once

#include "BoardCommand.h"

// The boards that answer on the bus.
class ScanCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;
};
