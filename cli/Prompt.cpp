#include "Prompt.h"

#include "BoardCodes.h"
#include "Failure.h"
#include "Output.h"
#include "TzrTool.h"

bool Prompt::interactive()
{
    return Output::inputIsTerminal();
}

QString Prompt::codeFromEnvironmentOrPrompt(bool master, const QString &prompt)
{
    const char *variable = master ? "TZR_MASTER_CODE" : "TZR_CODE";
    if (qEnvironmentVariableIsSet(variable))
        return qEnvironmentVariable(variable).trimmed();
    if (!interactive())
        throw Failure{TzrTool::Usage,
                      QStringLiteral("the %1 code is needed: give --code-file FILE or set %2")
                          .arg(master ? QStringLiteral("master") : QStringLiteral("programming"),
                               QString::fromLatin1(variable))};
    const auto typed = Output::readSecret(prompt);
    if (!typed)
        throw Failure{TzrTool::Usage, QStringLiteral("no code entered")};
    return typed->trimmed();
}

QString Prompt::checkedCode(const QString &text)
{
    if (text.size() > BoardCodes::longestCode())
        throw Failure{TzrTool::Usage, QStringLiteral("a code has at most %1 characters").arg(BoardCodes::longestCode())};
    return text.toUpper();
}

QString Prompt::newCodeTwice(const QString &prompt, const QString &again, const QString &differ)
{
    const auto first = Output::readSecret(prompt);
    const auto second = first ? Output::readSecret(again) : std::nullopt;
    if (!first || !second)
        throw Failure{TzrTool::Usage, QStringLiteral("no code entered")};
    if (first->trimmed() != second->trimmed())
        throw Failure{TzrTool::Usage, differ};
    return first->trimmed();
}

std::optional<QString> Prompt::boardOwnCode(int board, bool master)
{
    if (!interactive())
        return std::nullopt;
    const auto typed = Output::readSecret(
        QStringLiteral("Board %1 refused the code; its own %2 code (empty to skip the board): ")
            .arg(board)
            .arg(master ? QStringLiteral("master") : QStringLiteral("programming")));
    if (!typed || typed->trimmed().isEmpty())
        return std::nullopt;
    return typed->trimmed().toUpper().left(BoardCodes::longestCode());
}
