#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QStringList>

#include <memory>

class BoardCommand;
class Output;
struct Options;

// One subcommand of tzr, in the manner of git's command table: what it is called, how it is
// used, and what it needs before it runs.
struct Command
{
    using Factory = std::unique_ptr<BoardCommand> (*)(Output &output, const Options &options);

    const char *name;
    const char *synopsis;
    const char *summary;
    // Names of the options of this subcommand beyond the common ones.
    QStringList options;
    int minArguments;
    int maxArguments;
    Factory make;
    bool needsPort;
};

namespace CommandTable {
const QList<Command> &commands();
// The options every subcommand takes, --help last.
QList<QCommandLineOption> commonOptions();
// The options some subcommands take, named in their Command::options.
const QList<QCommandLineOption> &extraOptions();
// The options of command beyond the common ones, as its help describes them.
QList<QCommandLineOption> optionsOf(const Command &command);
} // namespace CommandTable
