#pragma once

#include <QString>

#include <optional>

// Where codes come from: the environment, or a prompt without echo on a terminal. Never an option.
class Prompt
{
public:
    // A terminal on standard input, to ask on.
    static bool interactive();
    // The code from TZR_MASTER_CODE or TZR_CODE, else asked without echo on a terminal.
    static QString codeFromEnvironmentOrPrompt(bool master, const QString &prompt);
    // As the password dialog's edit takes it: upper case, at most five characters.
    static QString checkedCode(const QString &text);
    // A new code typed twice; differ: the message when the two do not match.
    static QString newCodeTwice(const QString &prompt, const QString &again, const QString &differ);
    // A board's own code after it refused the common one; nothing to skip the board.
    static std::optional<QString> boardOwnCode(int board, bool master);
};
