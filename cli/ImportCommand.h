#pragma once

#include "BoardCommand.h"

// Users from a comma-separated or spreadsheet file into a data file, through the grid's entry rules.
class ImportCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;
};
