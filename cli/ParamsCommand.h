#pragma once

#include "BoardCommand.h"

struct CamposParametros;

// The board's parameters shown, or some of them set; the codes changed.
class ParamsCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;

private:
    // The new codes asked for, into their fields; the keys of those given.
    QStringList newCodes(CamposParametros &campos);
};
