#include "CommandTable.h"

#include "BackupCommand.h"
#include "CompareCommand.h"
#include "ExportCommand.h"
#include "HistoryCommand.h"
#include "ImportCommand.h"
#include "ParamsCommand.h"
#include "PortsCommand.h"
#include "ReceiveCommand.h"
#include "RestoreCommand.h"
#include "ScanCommand.h"
#include "SendChangesCommand.h"
#include "SendCommand.h"
#include "SyncCommand.h"
#include "TestCommand.h"
#include "Options.h"

#include <QCommandLineParser>

namespace {

template<class T>
std::unique_ptr<BoardCommand> make(Output &output, const Options &options)
{
    return std::make_unique<T>(output, options);
}

std::unique_ptr<BoardCommand> makeSend(Output &output, const Options &options)
{
    // A send of changes always reads back what it wrote: --verify adds nothing to it.
    if (options.parser->isSet(QStringLiteral("changes")))
        return std::make_unique<SendChangesCommand>(output, options);
    return std::make_unique<SendCommand>(output, options);
}

} // namespace

namespace CommandTable {

const QList<Command> &commands()
{
    static const QList<Command> list{
        {"ports",
         "ports",
         "List the serial ports as the port menu lists them, with their devices.",
         {},
         0,
         0,
         &make<PortsCommand>,
         false},
        {"scan", "scan", "List the boards that answer on the bus (00 to 31).", {}, 0, 0, &make<ScanCommand>, true},
        {"test",
         "test",
         "Run the board test: code length and reader of every board that answers.",
         {},
         0,
         0,
         &make<TestCommand>,
         true},
        {"receive",
         "receive FILE",
         "Receive the board's users into the data file FILE (created from the template when it does not "
         "exist). Needs the programming code.",
         {},
         1,
         1,
         &make<ReceiveCommand>,
         true},
        {"send",
         "send FILE [--by-name] [--changes] [--verify]",
         "Send the data file FILE to the board, replacing its users. Needs the programming code.",
         {QStringLiteral("by-name"), QStringLiteral("changes"), QStringLiteral("verify")},
         1,
         1,
         &makeSend,
         true},
        {"sync",
         "sync FILE [--board LIST|all] [--by-name] [--quiet]",
         "Send the changes of the data file FILE to every board it has met in full (after a send, a "
         "receive or a compare that found no difference), or to the boards of --board; for a timer. "
         "Users whose end date has passed are emptied from the boards. Needs the programming code, from "
         "--code-file or TZR_CODE with --quiet.",
         {QStringLiteral("by-name")},
         1,
         1,
         &make<SyncCommand>,
         true},
        {"compare",
         "compare FILE [--by-name]",
         "Compare the board's users with the data file FILE.",
         {QStringLiteral("by-name")},
         1,
         1,
         &make<CompareCommand>,
         true},
        {"params",
         "params [--set KEY=VALUE]... [--new-code KEY]... [--new-codes-file FILE] [--show-codes]",
         "Show the board's parameters, or set some of them (the others keep their values). The codes show "
         "as set or unset unless --show-codes is given. Needs the master code.",
         {QStringLiteral("set"), QStringLiteral("new-code"), QStringLiteral("new-codes-file"),
          QStringLiteral("show-codes")},
         0,
         0,
         &make<ParamsCommand>,
         true},
        {"backup",
         "backup IMAGE | backup --board LIST|all [--keep N] FOLDER",
         "Save the board's parameters and users into the image file IMAGE, or every board's into FOLDER as "
         "board-NN-DATE.tzrimg. Needs the master code.",
         {QStringLiteral("keep")},
         1,
         1,
         &make<BackupCommand>,
         true},
        {"restore",
         "restore IMAGE",
         "Write the image file IMAGE back to the board. Needs the master code.",
         {},
         1,
         1,
         &make<RestoreCommand>,
         true},
        {"export",
         "export FILE OUT.xls|OUT.csv [--by-name]",
         "Write the users of the data file FILE to a spreadsheet (.xls) or comma-separated (.csv) file, one "
         "row per user, no title row.",
         {QStringLiteral("by-name")},
         2,
         2,
         &make<ExportCommand>,
         false},
        {"import",
         "import FILE IN.csv|IN.xls [--append] [--dry-run]",
         "Read users from a .csv or .xls file into the data file FILE (created from the template when it does "
         "not exist), every row through the grid's entry "
         "rules; rows that cannot be taken are reported with their line.",
         {QStringLiteral("append"), QStringLiteral("dry-run")},
         2,
         2,
         &make<ImportCommand>,
         false},
        {"history",
         "history FILE [--board N] [--user NAME] [--since DATE] [--json] [--csv] [--verify]",
         "List the jobs run with the data file FILE, newest last, one line per entry and slot; or check "
         "with --verify that no entry was changed, removed or moved, and print the last entry's hash.",
         {QStringLiteral("user"), QStringLiteral("since"), QStringLiteral("csv"), QStringLiteral("verify")},
         1,
         1,
         &make<HistoryCommand>,
         false},
    };
    return list;
}

QList<QCommandLineOption> commonOptions()
{
    return {
        {QStringLiteral("port"), QStringLiteral("Port: COMn, a network port's name, or tcp://HOST:PORT or rfc2217://HOST:PORT (default: the configured ComPort)."),
         QStringLiteral("COMn")},
        {QStringLiteral("board"),
         QStringLiteral("Board number 0 to 31 (default 1); for send, compare and backup also a list "
                        "(1,3,17) or all (the boards that answer a scan)."),
         QStringLiteral("N")},
        {QStringLiteral("json"), QStringLiteral("Machine-readable output on standard output.")},
        {QStringLiteral("quiet"), QStringLiteral("No messages or progress, only errors.")},
        {QStringLiteral("log"), QStringLiteral("Write the debug log of the run to FILE."),
         QStringLiteral("FILE")},
        {QStringLiteral("code-file"),
         QStringLiteral("Read the code from FILE: a line NN=CODE is board NN's own, a line without a number "
                        "the code of the others."),
         QStringLiteral("FILE")},
        {{QStringLiteral("help"), QStringLiteral("h")}, QStringLiteral("Show this help.")},
    };
}

const QList<QCommandLineOption> &extraOptions()
{
    static const QList<QCommandLineOption> list{
        {QStringLiteral("changes"),
         QStringLiteral("Write only the slots that differ from the last synchronisation.")},
        {QStringLiteral("by-name"),
         QStringLiteral("Users in order of name (as with ordering on), not the file's order.")},
        {QStringLiteral("verify"),
         QStringLiteral("After a full send, read back every slot's access code; a slot that differs is written once "
                        "more, then reported.")},
        {QStringLiteral("set"),
         QStringLiteral("Set a parameter: panel, code-length, language, reader, time-a, time-b. Repeatable."),
         QStringLiteral("KEY=VALUE")},
        {QStringLiteral("new-code"),
         QStringLiteral("Change a code: programming-code or master-code. The new code comes from "
                        "--new-codes-file, TZR_NEW_PROGRAMMING_CODE / TZR_NEW_MASTER_CODE, or a prompt "
                        "without echo, asked twice. Repeatable."),
         QStringLiteral("KEY")},
        {QStringLiteral("new-codes-file"),
         QStringLiteral("Change the codes listed in FILE, one KEY=CODE line each."),
         QStringLiteral("FILE")},
        {QStringLiteral("append"),
         QStringLiteral("Add the imported users after the table's users (default: replace them).")},
        {QStringLiteral("dry-run"), QStringLiteral("Check and report only; change nothing.")},
        {QStringLiteral("show-codes"),
         QStringLiteral("Print the board's codes themselves (without it, only whether each is set).")},
        {QStringLiteral("user"),
         QStringLiteral("Only the slots of users whose name holds NAME, in any letter case."),
         QStringLiteral("NAME")},
        {QStringLiteral("since"),
         QStringLiteral("Only the entries from DATE on: YYYY-MM-DD (local midnight) or a time "
                        "YYYY-MM-DDTHH:MM:SS (local, unless it ends in Z or an offset)."),
         QStringLiteral("DATE")},
        {QStringLiteral("csv"),
         QStringLiteral("Comma-separated output, a title line first, one line per entry and slot.")},
        {QStringLiteral("keep"),
         QStringLiteral("With several boards: save into a new dated folder inside the folder given and "
                        "keep only the last N such folders."),
         QStringLiteral("N")},
    };
    return list;
}

QList<QCommandLineOption> optionsOf(const Command &command)
{
    QList<QCommandLineOption> list;
    const bool history = qstrcmp(command.name, "history") == 0;
    for (const QCommandLineOption &o : extraOptions()) {
        if (!command.options.contains(o.names().constFirst()))
            continue;
        // The same word asks the history for a check of its chain, not a read-back of slots.
        if (history && o.names().constFirst() == QLatin1String("verify"))
            list << QCommandLineOption(QStringLiteral("verify"),
                                       QStringLiteral("Check that every entry is as written and in its place; print "
                                                      "the count and the last entry's hash (exit 0), or the first "
                                                      "entry that does not fit (exit 1). The listing options are "
                                                      "then ignored."));
        else
            list << o;
    }
    return list;
}

} // namespace CommandTable
