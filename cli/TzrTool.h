#pragma once

#include <QStringList>

// The tzr command: one subcommand per run, in the manner of git ("tzr receive users.db"). Data
// goes to standard output, messages and progress to standard error.
class TzrTool
{
public:
    // The documented exit statuses.
    enum Exit
    {
        Success = 0,
        Incomplete = 1, // a difference found, an incomplete transfer, rows not imported
        Usage = 2,      // bad usage, or a feature this build does not have
        NoAnswer = 3,   // the port, or the board, did not answer, or the code was refused
        FileFailure = 4,
    };

    // arguments as QCoreApplication gives them, the program name first.
    int run(const QStringList &arguments);
};
