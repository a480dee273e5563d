#pragma once

#include <QString>

#include <optional>

// The controlling terminal of a command-line run.
namespace Terminal {
// Whether standard input (0), output (1) or error (2) is a terminal.
bool isTerminal(int fd);
// The width of the terminal on fd in columns; 80 when fd is not a terminal or does not say.
int columns(int fd);
// Writes prompt on the terminal and reads one line from it with echo off; nullopt when there
// is no terminal or the read failed (end of input).
std::optional<QString> readSecret(const QString &prompt);
} // namespace Terminal
