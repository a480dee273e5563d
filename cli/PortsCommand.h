#pragma once

#include "BoardCommand.h"

// Lists the serial ports and the network ports, as the port menu does.
class PortsCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;
};
