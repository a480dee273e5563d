#pragma once

#include "BoardCommand.h"

// The board's users into a data file, made from the template when there is none.
class ReceiveCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;

private:
    int receiveInto();
};
