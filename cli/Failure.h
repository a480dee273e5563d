#pragma once

#include <QString>

// Ends a subcommand with an exit status and the message for standard error.
struct Failure
{
    int status;
    QString message;
};
