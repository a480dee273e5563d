#pragma once

#include "BoardCommand.h"

// A data file's users to a spreadsheet or comma-separated file.
class ExportCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;
};
