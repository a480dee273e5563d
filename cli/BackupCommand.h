#pragma once

#include "BoardCommand.h"

// The board's parameters and users into an image file.
class BackupCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;
};
