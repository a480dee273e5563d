#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QTextStream>

struct Command;

// tzr's help, laid out for the terminal's width.
namespace Help {
void printToolHelp(QTextStream &out);
void printCommandHelp(QTextStream &out, const Command &command, const QList<QCommandLineOption> &options);
} // namespace Help
