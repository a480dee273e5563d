#include "Help.h"

#include "CommandTable.h"
#include "Output.h"

#include <algorithm>

namespace {

// text laid out in lines of at most width columns, broken only between words: the first line
// starts with first, the others with indent spaces. A word longer than a line stays whole.
QString wrapped(const QString &first, const QString &text, int indent, int width)
{
    QString out = first;
    qsizetype column = first.size();
    bool lineHasWord = false;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (lineHasWord && column + 1 + word.size() > width) {
            out += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            column = indent;
            lineHasWord = false;
        }
        if (lineHasWord) {
            out += QLatin1Char(' ');
            ++column;
        }
        out += word;
        column += word.size();
        lineHasWord = true;
    }
    return out + QLatin1Char('\n');
}

// The width the help is laid out for: the terminal's, and never so narrow that the option
// descriptions get no room at all.
int helpWidth()
{
    return std::max(Output::columns(), 40);
}

} // namespace

namespace Help {

void printToolHelp(QTextStream &out)
{
    const int width = helpWidth();
    out << wrapped(QStringLiteral("Usage: "), QStringLiteral("tzr SUBCOMMAND [OPTIONS] [ARGUMENTS]"), 2, width)
          << '\n'
          << wrapped({}, QStringLiteral("Works with TZR door-entry panel boards on a serial bus and with TZRUsers "
                                        "data files."),
                     0, width)
          << "\nSubcommands:\n";
    for (const Command &c : CommandTable::commands())
        out << wrapped(QStringLiteral("  "), QString::fromLatin1(c.synopsis), 4, width)
              << wrapped(QStringLiteral("      "), QString::fromLatin1(c.summary), 6, width);
    const QString paragraphs[] = {
        QStringLiteral("Common options: --port COMn|NAME|ADDRESS, --board N|LIST|all, --json, --quiet, --log FILE, --code-file FILE."),
        QStringLiteral("Codes come from --code-file, TZR_CODE (programming) or TZR_MASTER_CODE (master), or a "
                       "prompt without echo on a terminal; never from an option."),
        QStringLiteral("Exit status: 0 success, 1 difference or incomplete, 2 bad usage, 3 no answer or code "
                       "refused, 4 file error."),
        QStringLiteral("'tzr SUBCOMMAND --help' describes one subcommand; 'man tzr' all of them; 'tzr "
                       "--version' prints the version."),
    };
    out << '\n';
    for (const QString &paragraph : paragraphs)
        out << wrapped({}, paragraph, 0, width);
    out.flush();
}

void printCommandHelp(QTextStream &out, const Command &command, const QList<QCommandLineOption> &options)
{
    const int width = helpWidth();
    out << wrapped(QStringLiteral("Usage: "), QStringLiteral("tzr %1 [OPTIONS]").arg(QString::fromLatin1(command.synopsis)),
                     2, width)
          << '\n'
          << wrapped({}, QString::fromLatin1(command.summary), 0, width) << "\nOptions:\n";
    for (const QCommandLineOption &o : options) {
        QString names;
        for (const QString &n : o.names())
            names += (names.isEmpty() ? QString() : QStringLiteral(", ")) +
                     (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
        if (!o.valueName().isEmpty())
            names += QLatin1Char(' ') + o.valueName();
        out << wrapped(QStringLiteral("  ") + names.leftJustified(24) + QLatin1Char(' '), o.description(), 27,
                         width);
    }
    out.flush();
}

} // namespace Help
