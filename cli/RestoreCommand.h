#pragma once

#include "BoardCommand.h"

struct ImageResult;

// An image file written back to the board.
class RestoreCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;

private:
    // What a restore wrote, in one line: the user slots, then the parameters and codes.
    QString restoreSummary(const ImageResult &result) const;
};
