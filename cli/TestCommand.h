#pragma once

#include "BoardCommand.h"

// The board test: code length and reader of every board that answers.
class TestCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;
};
