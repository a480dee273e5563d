#include "TzrTool.h"

#include "BoardCommand.h"
#include "CommandTable.h"
#include "Failure.h"
#include "Help.h"
#include "Options.h"
#include "Output.h"
#include "SeveralBoardsCommand.h"

#include "History.h"
#include "TzrError.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QTextStream>

#include <memory>

namespace {

int usage(Output &output, const QString &message)
{
    output.err() << "tzr: " << message << "\nTry 'tzr --help'.\n";
    output.err().flush();
    return TzrTool::Usage;
}

} // namespace

int TzrTool::run(const QStringList &arguments)
{
    History::setProgram(QStringLiteral("tzr"), QStringLiteral(TZR_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);
    Output output(out, err);
    Options parsed;
    QStringList args = arguments.mid(1);
    // A code on the command line would be visible to every user of the machine.
    static const QRegularExpression plainCode(
        QStringLiteral("^--?(code|master-code|programming-code|password|pwd|pin)(=.*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    for (const QString &a : args) {
        if (plainCode.match(a).hasMatch())
            return usage(output, 
                QStringLiteral("codes are never taken from the command line (other users can see it); "
                               "use --code-file FILE, TZR_CODE / TZR_MASTER_CODE or the prompt"));
    }
    // The common options may also come before the subcommand ("tzr --port NET1 scan").
    static const QStringList withValue{QStringLiteral("--port"), QStringLiteral("--board"), QStringLiteral("--log"),
                                       QStringLiteral("--code-file")};
    static const QStringList flags{QStringLiteral("--json"), QStringLiteral("--quiet")};
    QStringList leading;
    qsizetype first = 0;
    while (first < args.size()) {
        const QString &a = args.at(first);
        if (withValue.contains(a.section(QLatin1Char('='), 0, 0))) {
            leading << a;
            if (!a.contains(QLatin1Char('=')) && first + 1 < args.size())
                leading << args.at(++first);
        } else if (flags.contains(a)) {
            leading << a;
        } else {
            break;
        }
        ++first;
    }
    if (first >= args.size())
        return usage(output, QStringLiteral("no subcommand given"));
    if (!leading.isEmpty())
        args = args.mid(first, 1) + leading + args.mid(first + 1);
    const QString name = args.first();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        Help::printToolHelp(out);
        return TzrTool::Success;
    }
    if (name == QLatin1String("--version")) {
        out << "tzr " << TZR_VERSION << '\n';
        out.flush();
        return TzrTool::Success;
    }
    const Command *command = nullptr;
    for (const Command &c : CommandTable::commands()) {
        if (name == QLatin1String(c.name))
            command = &c;
    }
    if (!command)
        return usage(output, QStringLiteral("unknown subcommand '%1'").arg(name));

    QList<QCommandLineOption> options = CommandTable::commonOptions();
    options << CommandTable::optionsOf(*command);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const QCommandLineOption &o : options)
        parser.addOption(o);
    if (!parser.parse(QStringList{QStringLiteral("tzr")} + args.mid(1)))
        return usage(output, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        Help::printCommandHelp(out, *command, options);
        return TzrTool::Success;
    }
    parsed.parser = &parser;
    parsed.arguments = parser.positionalArguments();
    if (parsed.arguments.size() < command->minArguments ||
        parsed.arguments.size() > command->maxArguments)
        return usage(output, QStringLiteral("usage: tzr %1").arg(QString::fromLatin1(command->synopsis)));
    parsed.json = parser.isSet(QStringLiteral("json"));
    parsed.quiet = parser.isSet(QStringLiteral("quiet"));
    parsed.log = parser.value(QStringLiteral("log"));
    parsed.codeFile = parser.value(QStringLiteral("code-file"));
    parsed.port = parser.value(QStringLiteral("port"));
    if (parser.isSet(QStringLiteral("board"))) {
        const QString value = parser.value(QStringLiteral("board")).trimmed();
        const bool several = value == QLatin1String("all") || value.contains(QLatin1Char(','));
        static const QStringList takesSeveral{QStringLiteral("send"), QStringLiteral("compare"),
                                              QStringLiteral("backup"), QStringLiteral("sync")};
        if (several && !takesSeveral.contains(QLatin1String(command->name)))
            return usage(output, QStringLiteral("a list of boards or all is taken by send, compare and backup only"));
        parsed.severalBoards = several;
        parsed.allBoards = value == QLatin1String("all");
        if (!parsed.allBoards) {
            for (const QString &part : value.split(QLatin1Char(','))) {
                bool ok = false;
                const int board = part.trimmed().toInt(&ok);
                if (!ok || board < 0 || board >= PLACAS_BUS)
                    return usage(output, QStringLiteral("--board takes a number from 0 to 31, a list of them, or all"));
                if (!parsed.boards.contains(board))
                    parsed.boards << board;
            }
            parsed.board = parsed.boards.constFirst();
        }
    }
    if (command->options.contains(QStringLiteral("keep")) && parser.isSet(QStringLiteral("keep")) &&
        !parsed.severalBoards)
        return usage(output, QStringLiteral("--keep goes with --board LIST or all"));

    parsed.command = QLatin1String(command->name);
    output.setQuiet(parsed.quiet);
    // sync always runs over several boards, in a command of its own.
    const bool sync = parsed.command == QLatin1String("sync");
    const std::unique_ptr<BoardCommand> board =
        parsed.severalBoards && !sync ? std::make_unique<SeveralBoardsCommand>(output, parsed)
                                : command->make(output, parsed);
    try {
        return board->run(command->needsPort);
    } catch (const Failure &f) {
        board->closeProgress();
        err << "tzr: " << f.message << '\n';
        err.flush();
        return f.status;
    } catch (const SheetTooLarge &e) {
        err << "tzr: "
              << output.say("CLI_SHEET_TOO_LARGE", QStringLiteral("%1 declares %2 rows; a board holds at most %3 users and a title row: refused unread"))
                     .arg(e.path())
                     .arg(e.rows())
                     .arg(e.users())
              << '\n';
        err.flush();
        return TzrTool::FileFailure;
    } catch (const FileTooLarge &e) {
        err << "tzr: "
              << output.say("CLI_TOO_LARGE", QStringLiteral("%1 is larger than %2 KiB; refused unread"))
                     .arg(e.path())
                     .arg(e.limit() / 1024)
              << '\n';
        err.flush();
        return TzrTool::FileFailure;
    } catch (const IoError &e) {
        err << "tzr: " << e.message() << '\n';
        err.flush();
        return TzrTool::FileFailure;
    } catch (const TzrError &e) {
        err << "tzr: " << e.message() << '\n';
        err.flush();
        return TzrTool::FileFailure;
    }
}
