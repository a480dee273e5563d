#include "TzrTool.h"

#include "Clock.h"
#include "CompareReport.h"
#include "Comunicacion_TZR.h"
#include "ContraPlaca.h"
#include "CsvText.h"
#include "FileData.h"
#include "FileLog.h"
#include "BoardRun.h"
#include "BoardSession.h"
#include "CompareJob.h"
#include "CodeEntry.h"
#include "Configuracion.h"
#include "DataFileLock.h"
#include "FicheroActual.h"
#include "ImageJobs.h"
#include "InterruptWatch.h"
#include "JobObserver.h"
#include "Lenguaje.h"
#include "ReceiveJob.h"
#include "ScanJob.h"
#include "SyncImageStore.h"
#include "SendChangesJob.h"
#include "SendJob.h"
#include "ParametersJob.h"
#include "Parametros.h"
#include "PortList.h"
#include "PrivateFile.h"
#include "ProfileFile.h"
#include "QtSerialPort.h"
#include "NetworkAddress.h"
#include "NetworkPort.h"
#include "NetworkPortList.h"
#include "RoutingPort.h"
#include "RegistroPlaca.h"
#include "SpecialFolder.h"
#include "SyncTransfers.h"
#include "SystemImage.h"
#include "Table.h"
#include "TableFamily.h"
#include "TableStore.h"
#include "Terminal.h"
#include "TerminalProgress.h"
#include "TestPlacas.h"
#include "Transferencias.h"
#include "TzrError.h"
#include "UsersExport.h"
#include "UsersImport.h"
#include "UsersTableRules.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

// Ends a subcommand with an exit status and the message for standard error.
struct Failure
{
    int status;
    QString message;
};

constexpr int PLACAS_BUS = 32;
// A code file holds a code or a few lines of codes; anything larger is not one.
constexpr qint64 CODE_FILE_LIMIT = 64 * 1024;

struct Options
{
    QString port;
    int board = 1;
    // --board with a list or "all": the command runs over several boards.
    bool severalBoards = false;
    bool allBoards = false;
    QList<int> boards;
    bool json = false;
    bool quiet = false;
    QString log;
    QString codeFile;
    QStringList arguments;
    QCommandLineParser *parser = nullptr;
};

class Run;
using Handler = int (Run::*)();

struct Command
{
    const char *name;
    const char *synopsis;
    const char *summary;
    // Names of the options of this subcommand beyond the common ones.
    QStringList options;
    int minArguments;
    int maxArguments;
    Handler handler;
    bool needsPort;
};

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
        {QStringLiteral("keep"),
         QStringLiteral("With several boards: save into a new dated folder inside the folder given and "
                        "keep only the last N such folders."),
         QStringLiteral("N")},
    };
    return list;
}

// The parameter keys of "params", in the order the parameter window shows them.
const QStringList &parameterKeys()
{
    static const QStringList keys{QStringLiteral("panel"),
                                  QStringLiteral("code-length"),
                                  QStringLiteral("language"),
                                  QStringLiteral("reader"),
                                  QStringLiteral("time-a"),
                                  QStringLiteral("time-b"),
                                  QStringLiteral("programming-code"),
                                  QStringLiteral("master-code")};
    return keys;
}

// The codes, which never come from --set.
const QStringList &codeKeys()
{
    static const QStringList keys{QStringLiteral("programming-code"), QStringLiteral("master-code")};
    return keys;
}

QString *parameterField(CamposParametros &c, const QString &key)
{
    QString *fields[] = {&c.Edit1, &c.Edit2, &c.Edit3, &c.Edit4, &c.Edit5, &c.Edit6, &c.Edit7, &c.Edit8};
    const qsizetype i = parameterKeys().indexOf(key);
    return i < 0 ? nullptr : fields[i];
}

// Transfer messages (the two lines of the message box) on standard error.
class StderrMessages : public MessageView
{
public:
    explicit StderrMessages(QTextStream &err) : m_err(err) {}
    void mostrarMensaje(const QString &line1, const QString &line2) override
    {
        m_err << "tzr: " << line1;
        if (!line2.isEmpty())
            m_err << ' ' << line2;
        m_err << '\n';
        m_err.flush();
    }

private:
    QTextStream &m_err;
};

// The terminal's side of a job: the progress line and the transfers' messages.
class TerminalObserver : public JobObserver
{
public:
    TerminalObserver(ProgressView *progress, QTextStream &err) : m_progress(progress), m_messages(err) {}
    ProgressView *progress() override { return m_progress; }
    MessageView *messages() override { return &m_messages; }

private:
    ProgressView *m_progress;
    StderrMessages m_messages;
};

class Run
{
public:
    Run(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}

    int main(const QStringList &arguments);

    int ports();
    int scan();
    int test();
    int receive();
    int receiveInto();
    int send();
    int compare();
    int sendChanges();
    int params();
    // The new codes asked for, into their fields; the keys of those given.
    QStringList newCodes(CamposParametros &campos);
    int backup();
    int restore();
    int exportUsers();
    int importUsers();
    // send, compare and backup over the boards of --board LIST or all.
    int runBoards(const Command &command);

private:
    const QList<Command> &commands() const;
    int usage(const QString &message);
    void printToolHelp();
    void printCommandHelp(const Command &command, const QList<QCommandLineOption> &options);

    void readConfiguration();
    void openPort();
    QString code(QChar letra);
    void checkCode(QChar letra);
    BoardCodes boardCodes(QChar letra);
    // The scan's boards and those the data file remembers; silent: the remembered ones that did
    // not answer.
    QList<int> boardsToRun(const QList<int> &remembered, QList<int> &silent);
    // Names the data file FILE; one that does not exist yet is only made by createDataFile. A
    // command that writes it holds its lock from here (from createDataFile for a new one), so
    // that the window and other commands keep off it.
    enum class Access
    {
        Reads,
        Writes
    };
    void dataFile(const QString &path, bool createFromTemplate, Access access);
    void lockDataFile(const QString &base);
    QString templateBase() const;
    QString foreignSchema(const ForeignSchema &e) const;
    // Makes the new data file under a working name beside it; publishCreatedFile puts it in place.
    void createDataFile();
    void publishCreatedFile();
    // Removes the file createDataFile made, when the command did not fill it.
    void dropCreatedFile();
    void note(const QString &text);
    // A message in the configured language, from the language file; english until it is read.
    QString say(const char *key, const QString &english) const;
    // "1 user", "5 users": the count with its noun in the right number (key, key + "_ONE").
    QString counted(const char *key, int n, const QString &one, const QString &many) const;
    void printJson(const QJsonValue &value);
    QString rowRefused(const FilaRechazada &rechazo) const;
    QString restoreSummary(const ImageResult &result) const;
    QString codeFromEnvironmentOrPrompt(bool master, const QString &prompt);
    static QString checkedCode(const QString &text);
    DataFileRef file() const
    {
        return {m_directory,
                m_workingBase.isEmpty() ? m_tableName : QFileInfo(m_workingBase).fileName() + QStringLiteral(".db")};
    }
    // Ends the subcommand unless the job ran to its end.
    void jobFailed(const JobStatus &status);
    void notRemembered(const QString &error);
    // From here on Ctrl+C stops the board command at its next exchange (after the code prompt,
    // which Ctrl+C ends at once).
    void watchInterrupt();

    QTextStream &m_out;
    QTextStream &m_err;
    Options m_options;
    QString m_korvel;
    QString m_comPort = QStringLiteral("1");
    QString m_idioma = QStringLiteral("ENGLISH");
    std::unique_ptr<Lenguaje> m_texts;
    PortList m_ports;
    std::unique_ptr<QtSerialPort> m_serial;
    std::unique_ptr<NetworkPort> m_network;
    std::unique_ptr<RoutingPort> m_port;
    std::unique_ptr<Comunicacion_TZR> m_link;
    std::unique_ptr<BoardSession> m_session;
    std::unique_ptr<TerminalObserver> m_observer;
    std::unique_ptr<InterruptWatch> m_interrupt;
    std::unique_ptr<FileLog> m_log;
    std::unique_ptr<TerminalProgress> m_progress;
    BoardRun *m_boardRun = nullptr;
    QString m_directory;
    QString m_tableName;
    QString m_newFileBase;
    QString m_workingBase;
    bool m_createdFile = false;
    bool m_writesFile = false;
    DataFileLock m_fileLock;
};

const QList<Command> &Run::commands() const
{
    static const QList<Command> list{
        {"ports",
         "ports",
         "List the serial ports as the port menu lists them, with their devices.",
         {},
         0,
         0,
         &Run::ports,
         false},
        {"scan", "scan", "List the boards that answer on the bus (00 to 31).", {}, 0, 0, &Run::scan, true},
        {"test",
         "test",
         "Run the board test: code length and reader of every board that answers.",
         {},
         0,
         0,
         &Run::test,
         true},
        {"receive",
         "receive FILE",
         "Receive the board's users into the data file FILE (created from the template when it does not "
         "exist). Needs the programming code.",
         {},
         1,
         1,
         &Run::receive,
         true},
        {"send",
         "send FILE [--by-name] [--changes] [--verify]",
         "Send the data file FILE to the board, replacing its users. Needs the programming code.",
         {QStringLiteral("by-name"), QStringLiteral("changes"), QStringLiteral("verify")},
         1,
         1,
         &Run::send,
         true},
        {"compare",
         "compare FILE [--by-name]",
         "Compare the board's users with the data file FILE.",
         {QStringLiteral("by-name")},
         1,
         1,
         &Run::compare,
         true},
        {"params",
         "params [--set KEY=VALUE]... [--new-code KEY]... [--new-codes-file FILE] [--show-codes]",
         "Show the board's parameters, or set some of them (the others keep their values). The codes show "
         "as set or unset unless --show-codes is given. Needs the master code.",
         {QStringLiteral("set"), QStringLiteral("new-code"), QStringLiteral("new-codes-file"),
          QStringLiteral("show-codes")},
         0,
         0,
         &Run::params,
         true},
        {"backup",
         "backup IMAGE | backup --board LIST|all [--keep N] FOLDER",
         "Save the board's parameters and users into the image file IMAGE, or every board's into FOLDER as "
         "board-NN-DATE.tzrimg. Needs the master code.",
         {QStringLiteral("keep")},
         1,
         1,
         &Run::backup,
         true},
        {"restore",
         "restore IMAGE",
         "Write the image file IMAGE back to the board. Needs the master code.",
         {},
         1,
         1,
         &Run::restore,
         true},
        {"export",
         "export FILE OUT.xls|OUT.csv [--by-name]",
         "Write the users of the data file FILE to a spreadsheet (.xls) or comma-separated (.csv) file, one "
         "row per user, no title row.",
         {QStringLiteral("by-name")},
         2,
         2,
         &Run::exportUsers,
         false},
        {"import",
         "import FILE IN.csv|IN.xls [--append] [--dry-run]",
         "Read users from a .csv or .xls file into the data file FILE (created from the template when it does "
         "not exist), every row through the grid's entry "
         "rules; rows that cannot be taken are reported with their line.",
         {QStringLiteral("append"), QStringLiteral("dry-run")},
         2,
         2,
         &Run::importUsers,
         false},
    };
    return list;
}

int Run::usage(const QString &message)
{
    m_err << "tzr: " << message << "\nTry 'tzr --help'.\n";
    m_err.flush();
    return TzrTool::Usage;
}

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
    return std::max(Terminal::columns(1), 40);
}

void Run::printToolHelp()
{
    const int width = helpWidth();
    m_out << wrapped(QStringLiteral("Usage: "), QStringLiteral("tzr SUBCOMMAND [OPTIONS] [ARGUMENTS]"), 2, width)
          << '\n'
          << wrapped({}, QStringLiteral("Works with TZR door-entry panel boards on a serial bus and with TZRUsers "
                                        "data files."),
                     0, width)
          << "\nSubcommands:\n";
    for (const Command &c : commands())
        m_out << wrapped(QStringLiteral("  "), QString::fromLatin1(c.synopsis), 4, width)
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
    m_out << '\n';
    for (const QString &paragraph : paragraphs)
        m_out << wrapped({}, paragraph, 0, width);
    m_out.flush();
}

void Run::printCommandHelp(const Command &command, const QList<QCommandLineOption> &options)
{
    const int width = helpWidth();
    m_out << wrapped(QStringLiteral("Usage: "), QStringLiteral("tzr %1 [OPTIONS]").arg(QString::fromLatin1(command.synopsis)),
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
        m_out << wrapped(QStringLiteral("  ") + names.leftJustified(24) + QLatin1Char(' '), o.description(), 27,
                         width);
    }
    m_out.flush();
}

int Run::main(const QStringList &arguments)
{
    QStringList args = arguments.mid(1);
    // A code on the command line would be visible to every user of the machine.
    static const QRegularExpression plainCode(
        QStringLiteral("^--?(code|master-code|programming-code|password|pwd|pin)(=.*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    for (const QString &a : args) {
        if (plainCode.match(a).hasMatch())
            return usage(
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
        return usage(QStringLiteral("no subcommand given"));
    if (!leading.isEmpty())
        args = args.mid(first, 1) + leading + args.mid(first + 1);
    const QString name = args.first();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        printToolHelp();
        return TzrTool::Success;
    }
    if (name == QLatin1String("--version")) {
        m_out << "tzr " << TZR_VERSION << '\n';
        m_out.flush();
        return TzrTool::Success;
    }
    const Command *command = nullptr;
    for (const Command &c : commands()) {
        if (name == QLatin1String(c.name))
            command = &c;
    }
    if (!command)
        return usage(QStringLiteral("unknown subcommand '%1'").arg(name));

    QList<QCommandLineOption> options{
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
    for (const QCommandLineOption &o : extraOptions()) {
        if (command->options.contains(o.names().constFirst()))
            options << o;
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const QCommandLineOption &o : options)
        parser.addOption(o);
    if (!parser.parse(QStringList{QStringLiteral("tzr")} + args.mid(1)))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printCommandHelp(*command, options);
        return TzrTool::Success;
    }
    m_options.parser = &parser;
    m_options.arguments = parser.positionalArguments();
    if (m_options.arguments.size() < command->minArguments ||
        m_options.arguments.size() > command->maxArguments)
        return usage(QStringLiteral("usage: tzr %1").arg(QString::fromLatin1(command->synopsis)));
    m_options.json = parser.isSet(QStringLiteral("json"));
    m_options.quiet = parser.isSet(QStringLiteral("quiet"));
    m_options.log = parser.value(QStringLiteral("log"));
    m_options.codeFile = parser.value(QStringLiteral("code-file"));
    m_options.port = parser.value(QStringLiteral("port"));
    if (parser.isSet(QStringLiteral("board"))) {
        const QString value = parser.value(QStringLiteral("board")).trimmed();
        const bool several = value == QLatin1String("all") || value.contains(QLatin1Char(','));
        static const QStringList takesSeveral{QStringLiteral("send"), QStringLiteral("compare"),
                                              QStringLiteral("backup")};
        if (several && !takesSeveral.contains(QLatin1String(command->name)))
            return usage(QStringLiteral("a list of boards or all is taken by send, compare and backup only"));
        m_options.severalBoards = several;
        m_options.allBoards = value == QLatin1String("all");
        if (!m_options.allBoards) {
            for (const QString &part : value.split(QLatin1Char(','))) {
                bool ok = false;
                const int board = part.trimmed().toInt(&ok);
                if (!ok || board < 0 || board >= PLACAS_BUS)
                    return usage(QStringLiteral("--board takes a number from 0 to 31, a list of them, or all"));
                if (!m_options.boards.contains(board))
                    m_options.boards << board;
            }
            m_options.board = m_options.boards.constFirst();
        }
    }
    if (command->options.contains(QStringLiteral("keep")) && parser.isSet(QStringLiteral("keep")) &&
        !m_options.severalBoards)
        return usage(QStringLiteral("--keep goes with --board LIST or all"));

    try {
        readConfiguration();
        if (!m_options.log.isEmpty()) {
            m_log = std::make_unique<FileLog>();
            if (!m_log->open(m_options.log))
                throw Failure{
                    TzrTool::FileFailure,
                    say("CLI_LOG", QStringLiteral("cannot write the log %1: %2")).arg(m_options.log, m_log->errorString())};
        }
        m_progress = std::make_unique<TerminalProgress>(m_err, !m_options.quiet && Terminal::isTerminal(2));
        if (command->needsPort)
            openPort();
        const int status = m_options.severalBoards ? runBoards(*command) : (this->*command->handler)();
        if (m_port)
            m_port->close();
        return status;
    } catch (const Failure &f) {
        if (m_progress)
            m_progress->cerrar();
        m_err << "tzr: " << f.message << '\n';
        m_err.flush();
        return f.status;
    } catch (const SheetTooLarge &e) {
        m_err << "tzr: "
              << say("CLI_SHEET_TOO_LARGE", QStringLiteral("%1 declares %2 rows; a board holds at most %3 users and a title row: refused unread"))
                     .arg(e.path())
                     .arg(e.rows())
                     .arg(e.users())
              << '\n';
        m_err.flush();
        return TzrTool::FileFailure;
    } catch (const FileTooLarge &e) {
        m_err << "tzr: "
              << say("CLI_TOO_LARGE", QStringLiteral("%1 is larger than %2 KiB; refused unread"))
                     .arg(e.path())
                     .arg(e.limit() / 1024)
              << '\n';
        m_err.flush();
        return TzrTool::FileFailure;
    } catch (const IoError &e) {
        m_err << "tzr: " << e.message() << '\n';
        m_err.flush();
        return TzrTool::FileFailure;
    } catch (const TzrError &e) {
        m_err << "tzr: " << e.message() << '\n';
        m_err.flush();
        return TzrTool::FileFailure;
    }
}

void Run::readConfiguration()
{
    m_korvel = SpecialFolder::korvelFolder();
    FicheroActual fichero;
    Configuracion configuration(fichero, m_korvel);
    configuration.Lee_Configuracion();
    m_comPort = configuration.ComPort();
    m_idioma = configuration.IDIOMA();
    if (m_idioma.isEmpty())
        m_idioma = QStringLiteral("ENGLISH");
    m_texts = std::make_unique<Lenguaje>(m_korvel + QStringLiteral("/TZR_LANG.ini"),
                                         [idioma = m_idioma] { return idioma; });
}

QString Run::say(const char *key, const QString &english) const
{
    return m_texts ? m_texts->texto(QString::fromLatin1(key), english) : english;
}

QString Run::counted(const char *key, int n, const QString &one, const QString &many) const
{
    const QByteArray oneKey = QByteArray(key) + "_ONE";
    return (n == 1 ? say(oneKey.constData(), one) : say(key, many)).arg(n);
}

void Run::note(const QString &text)
{
    if (m_options.quiet)
        return;
    m_err << text << '\n';
    m_err.flush();
}

void Run::printJson(const QJsonValue &value)
{
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    m_out << doc.toJson(QJsonDocument::Compact) << '\n';
    m_out.flush();
}

void Run::openPort()
{
    const QString iniPath = m_korvel + QStringLiteral("/TZR_USR.ini");
    const NetworkPortList networkPorts(iniPath);
    QString name = m_options.port.trimmed();
    static const QRegularExpression number(QStringLiteral("^[0-9]+$"));
    // ComPort holds a serial port's number, or the name of a network port.
    if (name.isEmpty())
        name = number.match(m_comPort.trimmed()).hasMatch() ? QStringLiteral("COM") + m_comPort.trimmed()
                                                             : m_comPort.trimmed();
    static const QRegularExpression comName(QStringLiteral("^COM[0-9]+$"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (NetworkAddress::looksLikeAddress(name)) {
        if (!NetworkAddress::parse(name))
            throw Failure{TzrTool::Usage,
                          QStringLiteral("'%1' is not a network address (tcp://HOST:PORT or rfc2217://HOST:PORT)")
                              .arg(name)};
    } else if (networkPorts.contains(name)) {
        name = name.toUpper();
    } else if (comName.match(name).hasMatch()) {
        name = name.toUpper();
    } else {
        throw Failure{TzrTool::Usage,
                      QStringLiteral("'%1' is not a port name (COM followed by its number, a network port's name "
                                     "or address)")
                          .arg(name)};
    }
    m_ports = PortList::system();
    m_serial = std::make_unique<QtSerialPort>(m_ports);
    m_network = std::make_unique<NetworkPort>(
        [iniPath](const QString &portName) { return NetworkPortList(iniPath).addressFor(portName); });
    m_port = std::make_unique<RoutingPort>(*m_serial, *m_network, [iniPath](const QString &portName) {
        return NetworkPortList(iniPath).contains(portName);
    });
    m_link = std::make_unique<Comunicacion_TZR>();
    m_link->setPuerto(m_port.get());
    m_link->setDebugLog(m_log.get());
    const int board = m_options.board;
    m_link->setFuentePlaca([board] { return QString::number(board); });
    m_session = std::make_unique<BoardSession>(*m_port, *m_link, *m_texts, iniPath);
    m_progress->setBoard(board);
    m_observer = std::make_unique<TerminalObserver>(m_progress.get(), m_err);
    m_session->setObserver(m_observer.get());
    if (!m_session->openPort(name)) {
        // The window's words (plug it in again, the port menu) do not fit a port named on the
        // command line that may never have existed.
        if (m_port->openFailure().kind == PortOpenFailure::Kind::Gone)
            throw Failure{TzrTool::NoAnswer,
                          say("CLI_NO_SUCH_PORT", QStringLiteral("there is no port %1; 'tzr ports' lists the ports there are"))
                              .arg(name)};
        const OpenFailureText why = m_session->openFailureText();
        throw Failure{TzrTool::NoAnswer,
                      say("CLI_CANNOT_OPEN", QStringLiteral("cannot open %1: %2"))
                          .arg(name, why.known() ? why.line1 + QLatin1Char(' ') + why.line2 : m_port->errorString())};
    }
    QObject::connect(m_session.get(), &BoardSession::echoDetected, [this](const QString &port) {
        note(say("CLI_ECHO", QStringLiteral("the line on %1 echoes what is sent; echo handling is now on for it")).arg(port));
    });
    QObject::connect(m_session.get(), &BoardSession::echoGone, [this](const QString &port) {
        note(say("CLI_NOECHO", QStringLiteral("the line on %1 does not echo what is sent; echo handling is now off for it"))
                 .arg(port));
    });
    m_port->purge();
}

QString Run::code(QChar letra)
{
    const bool master = letra == QLatin1Char('M');
    QString text;
    if (!m_options.codeFile.isEmpty()) {
        const QString content = QString::fromUtf8(FileData::read(m_options.codeFile, CODE_FILE_LIMIT));
        text = content.section(QLatin1Char('\n'), 0, 0).trimmed();
    } else {
        text = codeFromEnvironmentOrPrompt(
            master, master ? say("CLI_PROMPT_MASTER", QStringLiteral("Master code of board %1: ")).arg(m_options.board)
                           : say("CLI_PROMPT_PROG", QStringLiteral("Programming code of board %1: ")).arg(m_options.board));
    }
    return checkedCode(text);
}

// The code from TZR_MASTER_CODE or TZR_CODE, else asked without echo on a terminal.
QString Run::codeFromEnvironmentOrPrompt(bool master, const QString &prompt)
{
    const char *variable = master ? "TZR_MASTER_CODE" : "TZR_CODE";
    if (qEnvironmentVariableIsSet(variable))
        return qEnvironmentVariable(variable).trimmed();
    if (!Terminal::isTerminal(0))
        throw Failure{TzrTool::Usage,
                      QStringLiteral("the %1 code is needed: give --code-file FILE or set %2")
                          .arg(master ? QStringLiteral("master") : QStringLiteral("programming"),
                               QString::fromLatin1(variable))};
    const auto typed = Terminal::readSecret(prompt);
    if (!typed)
        throw Failure{TzrTool::Usage, QStringLiteral("no code entered")};
    return typed->trimmed();
}

// As the password dialog's edit takes it: upper case, at most five characters.
QString Run::checkedCode(const QString &text)
{
    if (text.size() > LONGITUD_CODIGO)
        throw Failure{TzrTool::Usage, QStringLiteral("a code has at most %1 characters").arg(LONGITUD_CODIGO)};
    return text.toUpper();
}

void Run::checkCode(QChar letra)
{
    const QString typed = code(letra);
    watchInterrupt();
    switch (m_session->checkCode(letra, typed)) {
    case CodeCheck::Accepted:
        return;
    case CodeCheck::NoAnswer:
        throw Failure{
            TzrTool::NoAnswer,
            say("CLI_NO_ANSWER", QStringLiteral("board %1 did not answer on %2")).arg(m_options.board).arg(m_port->portName())};
    case CodeCheck::Refused:
        break;
    }
    throw Failure{TzrTool::NoAnswer, (letra == QLatin1Char('M')
                                          ? say("CLI_REFUSED_M", QStringLiteral("board %1 refused the master code"))
                                          : say("CLI_REFUSED_P",
                                                QStringLiteral("board %1 refused the programming code")))
                                         .arg(m_options.board)};
}

void Run::lockDataFile(const QString &base)
{
    try {
        m_fileLock.lock(base);
    } catch (const DataFileBusy &busy) {
        const DataFileLock::Holder holder = busy.holder();
        throw Failure{TzrTool::FileFailure,
                      holder.program.isEmpty()
                          ? say("CLI_FILE_BUSY_ANY", QStringLiteral("%1 is in use by another program; close it there, "
                                                                    "then run the command again"))
                                .arg(busy.file())
                          : say("CLI_FILE_BUSY", QStringLiteral("%1 is in use by %2; close it there, then run the "
                                                                "command again"))
                                .arg(busy.file(),
                                     say("LINE_BUSY_PROCESS", QStringLiteral("%1 (process %2)"))
                                         .arg(holder.program)
                                         .arg(holder.pid))};
    } catch (const TzrError &e) {
        throw Failure{TzrTool::FileFailure, e.message()};
    }
}

void Run::dataFile(const QString &path, bool createFromTemplate, Access access)
{
    const QString base = TableFamily::baseOf(QFileInfo(path).absoluteFilePath());
    const QFileInfo info(base);
    m_directory = info.absolutePath() + QLatin1Char('/');
    m_tableName = info.fileName() + QStringLiteral(".db");
    m_newFileBase.clear();
    m_writesFile = access == Access::Writes;
    switch (TableFamily::recover(base)) {
    case TableFamily::Recovery::Nothing:
        break;
    case TableFamily::Recovery::Finished:
        note(say("DATA_FINISHED", QStringLiteral("%1 was being saved when the tool was cut short; the save was finished"))
                 .arg(m_tableName));
        break;
    case TableFamily::Recovery::Removed:
        note(say("DATA_REMOVED", QStringLiteral("%1: a copy left unfinished when the tool was cut short was removed; the file is as it was"))
                 .arg(m_tableName));
        break;
    }
    if (TableFamily::exists(base)) {
        // A file from elsewhere is refused before a board is asked anything; other faults of
        // the file are the command's own to report.
        try {
            TableStore probe;
            probe.open(base);
        } catch (const ForeignSchema &e) {
            throw Failure{TzrTool::FileFailure, foreignSchema(e)};
        } catch (const TzrError &) {
        }
        if (m_writesFile)
            lockDataFile(base);
        return;
    }
    if (!createFromTemplate)
        throw Failure{TzrTool::FileFailure, say("CLI_NO_FILE", QStringLiteral("no data file %1.db")).arg(base)};
    // Only checked here: the file is made once the board has taken the code (createDataFile).
    if (!TableFamily::exists(templateBase()))
        throw Failure{TzrTool::FileFailure,
                      say("CLI_NO_TEMPLATE", QStringLiteral("the template %1.db is missing; is TZRUsers installed?")).arg(templateBase())};
    m_newFileBase = base;
}

QString Run::foreignSchema(const ForeignSchema &e) const
{
    return say("DATA_FOREIGN", QStringLiteral("%1 holds what this tool never makes (%2): refused, the file was not changed"))
        .arg(e.path(), e.found().join(QStringLiteral(", ")));
}

QString Run::templateBase() const
{
    return m_korvel + QStringLiteral("/Patron");
}

void Run::createDataFile()
{
    if (m_newFileBase.isEmpty() || TableFamily::exists(m_newFileBase))
        return;
    m_workingBase = TableFamily::copyToWorking(templateBase(), m_newFileBase);
    m_createdFile = true;
    // Held on the working copy: the lock stays with its member when it is published by rename.
    if (m_writesFile)
        lockDataFile(m_workingBase);
    note(say("CLI_CREATED", QStringLiteral("Created %1 from the template")).arg(m_tableName));
}

void Run::dropCreatedFile()
{
    // A file this run made and did not fill would be taken later for a board's real, empty list.
    if (!m_createdFile)
        return;
    m_createdFile = false;
    TableFamily::discardWorking(m_workingBase);
    m_workingBase.clear();
}

void Run::publishCreatedFile()
{
    if (!m_createdFile)
        return;
    // Only a complete receive is ever seen under the file's name.
    TableFamily::publish(m_workingBase, m_newFileBase);
    m_createdFile = false;
    m_workingBase.clear();
}

QString Run::rowRefused(const FilaRechazada &rechazo) const
{
    return say("CLI_ROW_REFUSED", QStringLiteral("send refused, the board was not touched: user %1 (%2): %3"))
        .arg(rechazo.posicion + 1)
        .arg(rechazo.nombre.trimmed(), rechazo.motivo);
}

void Run::jobFailed(const JobStatus &status)
{
    switch (status.end) {
    case JobEnd::Done:
        return;
    case JobEnd::NotOpened:
        throw Failure{TzrTool::NoAnswer,
                      say("CLI_NOT_OPENED", QStringLiteral("board %1 did not open the transfer")).arg(m_options.board)};
    case JobEnd::PortLost:
    case JobEnd::PortUnavailable: {
        const OpenFailureText gone = m_session->goneText(m_port->portName());
        throw Failure{TzrTool::NoAnswer,
                      status.error.isEmpty()
                          ? gone.line1
                          : gone.line1 + QLatin1Char(' ') +
                                say("CLI_SYSTEM_REASON", QStringLiteral("(the system said: %1)")).arg(status.error)};
    }
    case JobEnd::Stopped:
        throw Failure{TzrTool::Incomplete, say("CLI_STOPPED", QStringLiteral("stopped before the end"))};
    case JobEnd::RepliesMismatched:
        throw Failure{TzrTool::Incomplete,
                      say("CLI_REPLIES_MISMATCHED", QStringLiteral("a reply came that answered no request; what was read "
                                                                   "or acknowledged cannot be trusted: run the command again"))};
    case JobEnd::RowRefused:
    case JobEnd::Failed:
        break;
    }
    throw Failure{TzrTool::FileFailure, status.error};
}

void Run::watchInterrupt()
{
    if (m_interrupt || !m_session)
        return;
    m_interrupt = std::make_unique<InterruptWatch>();
    QObject::connect(m_interrupt.get(), &InterruptWatch::interrupted, [this] {
        m_err << "\ntzr: "
              << say("CLI_STOPPING", QStringLiteral("stopping at the next exchange (Ctrl+C again to quit at once)"))
              << '\n';
        m_err.flush();
        if (m_boardRun)
            m_boardRun->requestStop();
        else
            m_session->requestStop();
    });
    // Quitting at once still leaves the data file as it was: no journal, no file of its own making.
    QObject::connect(m_interrupt.get(), &InterruptWatch::quitting, [this] {
        TableStore::rollBackAll();
        dropCreatedFile();
    });
}

void Run::notRemembered(const QString &error)
{
    // The transfer itself is done; a send of changes will ask for a full send or a compare.
    if (!error.isEmpty())
        note(say("CLI_NOT_REMEMBERED", QStringLiteral("the data file could not remember board %1: %2")).arg(m_options.board).arg(error));
}

QString slotList(const QList<int> &slotNumbers)
{
    QStringList numbers;
    for (int slot : slotNumbers)
        numbers << QString::number(slot + 1);
    return numbers.join(QLatin1Char(' '));
}

QString addressList(const QList<int> &addresses)
{
    QStringList numbers;
    for (int address : addresses)
        numbers << QString::number(address);
    return numbers.join(QLatin1Char(' '));
}

// "3 (EVE), 5 (ANA)": slots counted from 1, each with the user it was meant for.
QString slotNameList(const QList<int> &slotNumbers, const QStringList &names)
{
    QStringList items;
    for (qsizetype i = 0; i < slotNumbers.size(); ++i)
        items << QStringLiteral("%1 (%2)").arg(slotNumbers[i] + 1).arg(i < names.size() ? names[i].trimmed() : QString());
    return items.join(QStringLiteral(", "));
}

QJsonArray slotsAndNames(const QList<int> &slotNumbers, const QStringList &names)
{
    QJsonArray items;
    for (qsizetype i = 0; i < slotNumbers.size(); ++i)
        items.append(QJsonObject{{QStringLiteral("slot"), slotNumbers[i] + 1},
                                 {QStringLiteral("name"), i < names.size() ? names[i].trimmed() : QString()}});
    return items;
}

int Run::ports()
{
    const PortList list = PortList::system();
    const QList<NetworkPortList::Entry> networkPorts =
        NetworkPortList(m_korvel + QStringLiteral("/TZR_USR.ini")).entries();
    if (m_options.json) {
        QJsonArray array;
        for (const PortList::Port &p : list.ports())
            array << QJsonObject{{QStringLiteral("name"), p.name},
                                 {QStringLiteral("number"), p.number},
                                 {QStringLiteral("device"), p.device}};
        for (const NetworkPortList::Entry &e : networkPorts)
            array << QJsonObject{{QStringLiteral("name"), e.name}, {QStringLiteral("address"), e.address}};
        printJson(array);
    } else {
        for (const PortList::Port &p : list.ports())
            m_out << p.name << '\t' << p.device << '\n';
        for (const NetworkPortList::Entry &e : networkPorts)
            m_out << e.name << '\t' << e.address << '\n';
        m_out.flush();
    }
    return TzrTool::Success;
}

int Run::scan()
{
    watchInterrupt();
    const ScanResult result = ScanJob(*m_session).run();
    if (!result.done())
        jobFailed(result);
    const QList<int> &found = result.boards;
    if (m_options.json) {
        QJsonArray boards;
        for (int b : found)
            boards << b;
        printJson(
            QJsonObject{{QStringLiteral("port"), m_port->portName()}, {QStringLiteral("boards"), boards}});
    } else {
        for (int b : found)
            m_out << QStringLiteral("%1").arg(b, 2, 10, QLatin1Char('0')) << '\n';
        m_out.flush();
    }
    if (found.isEmpty())
        throw Failure{TzrTool::NoAnswer, say("CLI_NO_BOARD", QStringLiteral("no board answered on %1")).arg(m_port->portName())};
    return TzrTool::Success;
}

int Run::test()
{
    TestPlacas prueba(*m_link, *m_texts);
    QJsonArray boards;
    QStringList lines;
    int current = 0;
    TestPlacas::Vista vista;
    m_progress->setMensaje(say("CLI_BOARD_TEST", QStringLiteral("Board test")));
    m_progress->setMaximo(PLACAS_BUS - 1);
    vista.numP = [&](int n) {
        current = n;
        m_progress->setPosicion(n);
        m_progress->setContador(QStringLiteral("%1/%2").arg(n).arg(PLACAS_BUS - 1));
    };
    vista.linea = [&](const QString &line) {
        lines << line;
        // The line ends with "<length> -- <reader>".
        QString reader = line.section(QStringLiteral(" -- "), -1);
        // The JSON names the reader in English whatever the language of the line.
        for (int tipo = 0; tipo <= 2; ++tipo) {
            if (reader == say(claveTipoCode(tipo).toLatin1().constData(), Texto_Lector(tipo)))
                reader = Texto_Lector(tipo);
        }
        const QString length = line.section(QStringLiteral(" -- "), 0, -2).section(QStringLiteral(" : "), -1);
        boards << QJsonObject{{QStringLiteral("board"), current},
                              {QStringLiteral("codeLength"), length.toInt()},
                              {QStringLiteral("reader"), reader},
                              {QStringLiteral("line"), line}};
    };
    prueba.ejecuta(vista);
    m_progress->cerrar();
    if (m_options.json) {
        printJson(
            QJsonObject{{QStringLiteral("port"), m_port->portName()}, {QStringLiteral("boards"), boards}});
    } else {
        for (const QString &line : lines)
            m_out << line << '\n';
        m_out.flush();
    }
    if (lines.isEmpty())
        throw Failure{TzrTool::NoAnswer, say("CLI_NO_BOARD", QStringLiteral("no board answered on %1")).arg(m_port->portName())};
    return TzrTool::Success;
}

int Run::receive()
{
    dataFile(m_options.arguments.at(0), true, Access::Writes);
    checkCode(QLatin1Char('P'));
    createDataFile();
    try {
        const int status = receiveInto();
        if (status != TzrTool::Success)
            dropCreatedFile();
        return status;
    } catch (...) {
        dropCreatedFile();
        throw;
    }
}

int Run::receiveInto()
{
    m_session->readReaderType();
    m_port->purge();
    const ReceiveResult resultado = ReceiveJob(*m_session, file()).run();
    m_progress->cerrar();

    if (!resultado.done() && resultado.end != JobEnd::Failed)
        m_err << "tzr: " << say("CLI_RECV_INCOMPLETE", QStringLiteral("receive incomplete; the file was not changed"))
              << '\n';
    jobFailed(resultado);
    if (m_options.json)
        printJson(QJsonObject{{QStringLiteral("board"), m_options.board},
                              {QStringLiteral("users"), resultado.users},
                              {QStringLiteral("failedSlots"), resultado.failedSlots},
                              {QStringLiteral("complete"), resultado.complete()}});
    if (!resultado.complete()) {
        m_err << "tzr: "
              << say("CLI_RECV_SLOTS",
                     QStringLiteral("receive incomplete: %1 user slots could not be read; the file was not changed"))
                     .arg(resultado.failedSlots)
              << '\n';
        m_err.flush();
        return TzrTool::Incomplete;
    }
    publishCreatedFile();
    notRemembered(resultado.notRemembered);
    note(say("CLI_RECEIVED", QStringLiteral("Received %1 users from board %2 into %3"))
             .arg(resultado.users)
             .arg(m_options.board)
             .arg(m_tableName));
    return TzrTool::Success;
}

int Run::send()
{
    // A send of changes always reads back what it wrote: --verify adds nothing to it.
    if (m_options.parser->isSet(QStringLiteral("changes")))
        return sendChanges();
    // The send remembers what it wrote in the data file.
    dataFile(m_options.arguments.at(0), false, Access::Writes);
    checkCode(QLatin1Char('P'));
    m_session->readReaderType();
    SendJob job(*m_session, file());
    job.setVerify(m_options.parser->isSet(QStringLiteral("verify")));
    // Every row is encoded, for this board's reader, before anything is written to the board.
    const SendPlan plan = job.prepare(m_options.parser->isSet(QStringLiteral("by-name")));
    if (plan.end == JobEnd::RowRefused)
        throw Failure{TzrTool::FileFailure, rowRefused(plan.refused)};
    jobFailed(plan);
    m_port->purge();
    const SendResult resultado = job.run(plan.records);
    m_progress->cerrar();
    if (resultado.end == JobEnd::NotOpened || resultado.end == JobEnd::Failed)
        jobFailed(resultado);
    const QStringList fallidos = resultado.failedNames();
    // Those that got no acknowledgement, then those the send never reached (a lost port).
    QStringList sinEscribir = fallidos;
    for (qsizetype i = resultado.sent.usuarios; i < plan.records.size(); ++i)
        sinEscribir << plan.records.at(i).fila.NOMBRE.trimmed();
    if (m_options.json)
        printJson(QJsonObject{{QStringLiteral("board"), m_options.board},
                              {QStringLiteral("users"), resultado.sent.usuarios},
                              {QStringLiteral("total"), resultado.total},
                              {QStringLiteral("failedUsers"), QJsonArray::fromStringList(fallidos)},
                              {QStringLiteral("failedErases"), resultado.sent.borradosFallidos},
                              {QStringLiteral("codesDiffer"), slotsAndNames(resultado.codesDiffer, resultado.namesDiffer)},
                              {QStringLiteral("complete"), resultado.complete()}});
    if (!resultado.codesDiffer.isEmpty())
        m_err << "tzr: "
              << say("CLI_CODES_DIFFER", QStringLiteral("board %1 does not hold the codes sent to slots %2"))
                     .arg(m_options.board)
                     .arg(slotNameList(resultado.codesDiffer, resultado.namesDiffer))
              << '\n';
    if (!resultado.complete()) {
        m_err << "tzr: "
              << say("CLI_SEND_INCOMPLETE_N",
                     QStringLiteral("send incomplete; users written: %1 of %2; not written: %3 (%4)"))
                     .arg(resultado.total - static_cast<int>(sinEscribir.size()))
                     .arg(resultado.total)
                     .arg(sinEscribir.size())
                     .arg(sinEscribir.join(QStringLiteral(", ")))
              << '\n';
        m_err.flush();
        if (!resultado.done())
            jobFailed(resultado);
        return TzrTool::Incomplete;
    }
    notRemembered(resultado.notRemembered);
    note(say("CLI_SENT", QStringLiteral("Sent %1 users to board %2")).arg(plan.records.size()).arg(m_options.board));
    return TzrTool::Success;
}

int Run::compare()
{
    dataFile(m_options.arguments.at(0), false, Access::Reads);
    checkCode(QLatin1Char('P'));
    m_session->readReaderType();
    m_port->purge();
    const CompareResult result = CompareJob(*m_session, file()).run(m_options.parser->isSet(QStringLiteral("by-name")));
    m_progress->cerrar();
    if (!result.done() && result.end != JobEnd::Failed)
        m_err << "tzr: " << say("CLI_CMP_INCOMPLETE", QStringLiteral("compare incomplete")) << '\n';
    jobFailed(result);
    const ResultadoComparacion &r = result.comparison;
    switch (r.estado) {
    case ResultadoComparacion::Estado::FilaRechazada:
        throw Failure{TzrTool::FileFailure, rowRefused(r.rechazo)};
    case ResultadoComparacion::Estado::SinRespuesta:
        throw Failure{TzrTool::NoAnswer,
                      say("CLI_NOT_OPENED", QStringLiteral("board %1 did not open the transfer")).arg(m_options.board)};
    case ResultadoComparacion::Estado::Incompleta:
        throw Failure{
            TzrTool::Incomplete,
            say("CLI_CMP_SLOTS", QStringLiteral("compare incomplete: %1 user slots could not be read")).arg(r.slotsFallidos)};
    case ResultadoComparacion::Estado::Hecha:
        break;
    }
    const CompareReport &informe = r.informe;
    if (m_options.json) {
        QJsonArray entries;
        for (const CompareEntry &e : informe.entries)
            entries << QJsonObject{{QStringLiteral("slot"), e.slot + 1},
                                   {QStringLiteral("kind"), CompareReport::kindName(e.kind)},
                                   {QStringLiteral("boardName"), e.nombrePlaca},
                                   {QStringLiteral("fileName"), e.nombreFichero},
                                   {QStringLiteral("fields"), QJsonArray::fromStringList(e.campos)},
                                   {QStringLiteral("boardSlot"), e.enPlaca >= 0 ? e.enPlaca + 1 : 0},
                                   {QStringLiteral("filePosition"), e.enFichero >= 0 ? e.enFichero + 1 : 0}};
        printJson(QJsonObject{{QStringLiteral("board"), m_options.board},
                              {QStringLiteral("boardUsers"), informe.usuariosPlaca},
                              {QStringLiteral("fileUsers"), informe.usuariosFichero},
                              {QStringLiteral("onlyOnBoard"), informe.soloPlaca},
                              {QStringLiteral("onlyInFile"), informe.soloFichero},
                              {QStringLiteral("different"), informe.distintos},
                              {QStringLiteral("moved"), informe.movidos},
                              {QStringLiteral("entries"), entries}});
    } else {
        m_out << QString::fromUtf8(informe.toCsv());
        m_out.flush();
    }
    if (informe.sinDiferencias()) {
        note(say("CLI_SAME", QStringLiteral("Board %1 and %2 hold the same %3 users"))
                 .arg(m_options.board)
                 .arg(m_tableName)
                 .arg(informe.usuariosFichero));
        return TzrTool::Success;
    }
    note(say("CLI_DIFFERENCES", QStringLiteral("%1 only on the board, %2 only in the file, %3 different (%4 merely moved)"))
             .arg(informe.soloPlaca)
             .arg(informe.soloFichero)
             .arg(informe.distintos)
             .arg(informe.movidos));
    return TzrTool::Incomplete;
}

int Run::sendChanges()
{
    dataFile(m_options.arguments.at(0), false, Access::Writes);
    checkCode(QLatin1Char('P'));
    m_session->readReaderType();
    SendChangesJob job(*m_session, file());
    const SendChangesPlan plan = job.prepare(m_options.parser->isSet(QStringLiteral("by-name")));
    const PreparacionCambios &preparacion = plan.preparation;
    if (plan.end == JobEnd::RowRefused)
        throw Failure{TzrTool::FileFailure, rowRefused(preparacion.rechazo)};
    jobFailed(plan);
    if (preparacion.estado == PreparacionCambios::Estado::SinImagen)
        throw Failure{
            TzrTool::Incomplete,
            say("CLI_NO_MEMORY", QStringLiteral("%1 remembers nothing of board %2: send it whole (tzr send) or compare first"))
                .arg(m_tableName)
                .arg(m_options.board)};
    m_port->purge();
    const SendChangesResult result = job.run(preparacion);
    m_progress->cerrar();
    if (!result.done()) {
        const QStringList failed = result.failedNames();
        m_err << "tzr: "
              << say("CLI_CHG_INCOMPLETE_SLOTS", QStringLiteral("send of changes incomplete; slots written: %1 of %2, "
                                                                "emptied: %3 of %4; users not written: %5"))
                     .arg(result.sent.resultado.escritos)
                     .arg(result.sent.plan.escribir.size())
                     .arg(result.sent.resultado.vaciados)
                     .arg(result.sent.plan.vaciar.size())
                     .arg(failed.isEmpty() ? QStringLiteral("-") : failed.join(QStringLiteral(", ")))
              << '\n';
        jobFailed(result);
    }
    const ResultadoEnvioCambios &r = result.sent;
    switch (r.estado) {
    case ResultadoEnvioCambios::Estado::SinRespuesta:
        throw Failure{TzrTool::NoAnswer,
                      say("CLI_NOT_OPENED", QStringLiteral("board %1 did not open the transfer")).arg(m_options.board)};
    case ResultadoEnvioCambios::Estado::PlacaNoLeida:
        throw Failure{
            TzrTool::NoAnswer,
            say("CLI_NOT_CHECKED", QStringLiteral("board %1 could not be checked; nothing was written")).arg(m_options.board)};
    case ResultadoEnvioCambios::Estado::PlacaCambiada:
        throw Failure{
            TzrTool::Incomplete,
            say("CLI_CHANGED", QStringLiteral("board %1 was changed since %2 (slots %3); nothing was written: compare first"))
                .arg(m_options.board)
                .arg(preparacion.imagen.momento.toLocalTime().toString(Qt::ISODate))
                .arg(slotList(r.comprobacion.slotsCambiados))};
    case ResultadoEnvioCambios::Estado::Hecho:
        break;
    }
    const QStringList fallidos = result.failedNames();
    if (m_options.json)
        printJson(QJsonObject{{QStringLiteral("board"), m_options.board},
                              {QStringLiteral("written"), r.resultado.escritos},
                              {QStringLiteral("emptied"), r.resultado.vaciados},
                              {QStringLiteral("failedUsers"), QJsonArray::fromStringList(fallidos)},
                              {QStringLiteral("failedEmpties"), r.resultado.vaciadosFallidos},
                              {QStringLiteral("codesDiffer"), slotsAndNames(r.resultado.codigosDistintos,
                                                                            r.resultado.usuariosDistintos)},
                              {QStringLiteral("complete"), r.resultado.completo()}});
    if (!r.resultado.codigosDistintos.isEmpty()) {
        m_err << "tzr: "
              << say("CLI_CODES_DIFFER", QStringLiteral("board %1 does not hold the codes sent to slots %2"))
                     .arg(m_options.board)
                     .arg(slotNameList(r.resultado.codigosDistintos, r.resultado.usuariosDistintos))
              << '\n';
    }
    if (!r.resultado.completo()) {
        m_err << "tzr: "
              << say("CLI_CHG_INCOMPLETE", QStringLiteral("send of changes incomplete; users not written: %1"))
                     .arg(fallidos.isEmpty() ? QStringLiteral("-") : fallidos.join(QStringLiteral(", ")))
              << '\n';
        m_err.flush();
        return TzrTool::Incomplete;
    }
    note(say("CLI_CHG_SENT_N", QStringLiteral("Sent the changes to board %1: %2 written, %3 emptied"))
             .arg(m_options.board)
             .arg(counted("COUNT_SLOTS", r.resultado.escritos, QStringLiteral("%1 slot"), QStringLiteral("%1 slots")))
             .arg(r.resultado.vaciados));
    return TzrTool::Success;
}

int Run::backup()
{
    const QString path = m_options.arguments.at(0);
    checkCode(QLatin1Char('M'));
    SystemImage imagen;
    const ImageResult result = ImageJobs(*m_session).save(imagen, path);
    m_progress->cerrar();
    if (!result.done() && result.end != JobEnd::Failed)
        m_err << "tzr: " << say("CLI_BACKUP_INCOMPLETE", QStringLiteral("backup incomplete; no image saved")) << '\n';
    jobFailed(result);
    const ResultadoImagen &r = result.image;
    if (r.sinRespuesta)
        throw Failure{TzrTool::NoAnswer,
                      say("CLI_NOT_OPENED", QStringLiteral("board %1 did not open the transfer")).arg(m_options.board)};
    if (!r.completo())
        throw Failure{TzrTool::Incomplete,
                      say("CLI_BACKUP_PARTIAL", QStringLiteral("board %1 could not be read whole (%2 reads failed); no image saved"))
                          .arg(m_options.board)
                          .arg(r.fallidos)};
    if (m_options.json)
        printJson(QJsonObject{{QStringLiteral("board"), m_options.board},
                              {QStringLiteral("users"), imagen.usuarios.users()},
                              {QStringLiteral("file"), path}});
    note(say("CLI_SAVED", QStringLiteral("Saved board %1 (%2 users) to %3; it holds the codes in clear, readable by you only"))
             .arg(m_options.board)
             .arg(imagen.usuarios.users())
             .arg(path));
    return TzrTool::Success;
}

// What a restore wrote, in one line: the user slots, then the parameters and codes.
QString Run::restoreSummary(const ImageResult &result) const
{
    const ResultadoImagen &r = result.image;
    QString parameters;
    if (!r.parametrosDistintos.isEmpty())
        parameters = say("CLI_RESTORE_PARAMS_DIFFER",
                         QStringLiteral("written, but addresses %1 read back otherwise (the board's number and codes "
                                        "are uncertain)"))
                         .arg(addressList(r.parametrosDistintos));
    else if (result.parametersWritten())
        parameters = say("CLI_RESTORE_PARAMS_WRITTEN", QStringLiteral("written"));
    else if (!result.parametersTouched())
        parameters = say("CLI_RESTORE_PARAMS_NOT", QStringLiteral("not written (the board keeps its number and codes)"));
    else
        parameters = say("CLI_RESTORE_PARAMS_PART",
                         QStringLiteral("%1 of %2 bytes written, %3 not acknowledged (the board's number and codes "
                                        "are uncertain)"))
                         .arg(r.parametrosIntentados)
                         .arg(SystemImage::PARAMETER_COUNT + SystemImage::CODE_COUNT)
                         .arg(r.parametrosFallidos);
    return say("CLI_RESTORE_SUMMARY",
               QStringLiteral("user slots written: %1 of %2, not acknowledged: %3; parameters and codes: %4"))
        .arg(r.slotsEscritos)
        .arg(MAX_USUARIOS)
        .arg(r.slotsFallidos)
        .arg(parameters) +
           (r.slotsDistintos.isEmpty()
                ? QString()
                : say("CLI_RESTORE_SLOTS_DIFFER", QStringLiteral("; slots whose codes read back otherwise: %1"))
                      .arg(slotList(r.slotsDistintos)));
}

int Run::restore()
{
    // A damaged or foreign file is refused before the board is asked anything.
    const SystemImage imagen = SystemImage::load(m_options.arguments.at(0));
    checkCode(QLatin1Char('M'));
    const ImageResult result = ImageJobs(*m_session).restore(imagen);
    m_progress->cerrar();
    const ResultadoImagen &r = result.image;
    const int newBoard = result.parametersTouched() ? imagen.parametros[0] : m_options.board;
    if (!r.sinRespuesta) {
        // tzr opens no data file here; the files that remember this board find out at their next send of
        // changes, whose check reads the board first.
        note(say("CLI_RESTORE_OTHER_FILES",
                 QStringLiteral("Data files that remember board %1 are not changed; a send of changes from them "
                                "checks the board first and will ask for a compare or a full send"))
                 .arg(newBoard == m_options.board
                          ? QString::number(newBoard)
                          : say("CLI_BOARD_OR", QStringLiteral("%1 or %2")).arg(m_options.board).arg(newBoard)));
    }
    if (!result.done() && result.end != JobEnd::Failed)
        m_err << "tzr: " << say("CLI_RESTORE_INCOMPLETE", QStringLiteral("restore incomplete: %1")).arg(restoreSummary(result))
              << '\n';
    jobFailed(result);
    if (m_options.json)
        printJson(QJsonObject{{QStringLiteral("board"), m_options.board},
                              {QStringLiteral("newBoard"), newBoard},
                              {QStringLiteral("failedWrites"), r.fallidos},
                              {QStringLiteral("slotsWritten"), r.slotsEscritos},
                              {QStringLiteral("slotsFailed"), r.slotsFallidos},
                              {QStringLiteral("parametersWritten"), result.parametersWritten()},
                              {QStringLiteral("complete"), r.completo()}});
    if (r.sinRespuesta)
        throw Failure{TzrTool::NoAnswer,
                      say("CLI_RESTORE_NOT_OPENED", QStringLiteral("board %1 did not open the transfer; nothing was written"))
                          .arg(m_options.board)};
    if (!r.completo())
        throw Failure{TzrTool::Incomplete,
                      say("CLI_RESTORE_INCOMPLETE", QStringLiteral("restore incomplete: %1")).arg(restoreSummary(result))};
    note(say("CLI_RESTORED", QStringLiteral("Restored board %1 from the image of %2; it restarts as board %3"))
             .arg(m_options.board)
             .arg(imagen.momento.toLocalTime().toString(Qt::ISODate))
             .arg(imagen.parametros[0]));
    return TzrTool::Success;
}

QStringList Run::newCodes(CamposParametros &campos)
{
    // The keys of the codes to change: named by --new-code, or listed in --new-codes-file.
    QStringList keys;
    for (const QString &k : m_options.parser->values(QStringLiteral("new-code"))) {
        const QString key = k.trimmed().toLower();
        if (!codeKeys().contains(key))
            throw Failure{TzrTool::Usage, QStringLiteral("--new-code takes %1").arg(codeKeys().join(QStringLiteral(" or ")))};
        if (!keys.contains(key))
            keys << key;
    }
    QHash<QString, QString> fromFile;
    const QString path = m_options.parser->value(QStringLiteral("new-codes-file"));
    if (!path.isEmpty()) {
        const QStringList lines = QString::fromUtf8(FileData::read(path, CODE_FILE_LIMIT)).split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString line = lines.at(i).trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            const QString key = line.section(QLatin1Char('='), 0, 0).trimmed().toLower();
            if (!line.contains(QLatin1Char('=')) || !codeKeys().contains(key))
                throw Failure{TzrTool::Usage,
                              QStringLiteral("%1:%2: a line of the new-codes file is KEY=CODE with KEY %3")
                                  .arg(path)
                                  .arg(i + 1)
                                  .arg(codeKeys().join(QStringLiteral(" or ")))};
            fromFile.insert(key, line.section(QLatin1Char('='), 1).trimmed());
            if (!keys.contains(key))
                keys << key;
        }
    }
    for (const QString &key : keys) {
        const bool master = key == codeKeys().at(1);
        const char *variable = master ? "TZR_NEW_MASTER_CODE" : "TZR_NEW_PROGRAMMING_CODE";
        const QString what = master ? QStringLiteral("master") : QStringLiteral("programming");
        QString value;
        if (fromFile.contains(key)) {
            value = fromFile.value(key);
        } else if (qEnvironmentVariableIsSet(variable)) {
            value = qEnvironmentVariable(variable).trimmed();
        } else if (Terminal::isTerminal(0)) {
            const QString prompt = master ? say("CLI_NEW_CODE_PROMPT_M", QStringLiteral("New master code of board %1: "))
                                          : say("CLI_NEW_CODE_PROMPT_P", QStringLiteral("New programming code of board %1: "));
            const auto first = Terminal::readSecret(prompt.arg(m_options.board));
            const auto second =
                first ? Terminal::readSecret(say("CLI_NEW_CODE_AGAIN", QStringLiteral("The same code again: "))) : std::nullopt;
            if (!first || !second)
                throw Failure{TzrTool::Usage, QStringLiteral("no code entered")};
            if (first->trimmed() != second->trimmed())
                throw Failure{TzrTool::Usage, say("CLI_NEW_CODES_DIFFER",
                                                  QStringLiteral("the two codes typed differ; nothing was written"))};
            value = first->trimmed();
        } else {
            throw Failure{TzrTool::Usage,
                          QStringLiteral("the new %1 code is needed: give --new-codes-file FILE or set %2")
                              .arg(what, QString::fromLatin1(variable))};
        }
        *parameterField(campos, key) = value.toUpper();
    }
    return keys;
}

int Run::params()
{
    const QStringList sets = m_options.parser->values(QStringLiteral("set"));
    // Check the keys before the board is asked anything.
    QList<std::pair<QString, QString>> changes;
    for (const QString &s : sets) {
        const QString key = s.section(QLatin1Char('='), 0, 0).trimmed().toLower();
        if (codeKeys().contains(key))
            throw Failure{TzrTool::Usage,
                          QStringLiteral("new codes are never taken from the command line (other users can see "
                                         "it); use --new-codes-file FILE, TZR_NEW_PROGRAMMING_CODE / "
                                         "TZR_NEW_MASTER_CODE or --new-code KEY for a prompt")};
        if (!s.contains(QLatin1Char('=')) || !parameterKeys().contains(key))
            throw Failure{TzrTool::Usage, QStringLiteral("--set takes KEY=VALUE with KEY one of: %1")
                                              .arg(parameterKeys().join(QStringLiteral(", ")))};
        changes.append({key, s.section(QLatin1Char('='), 1).trimmed()});
    }
    CamposParametros nuevos;
    const QStringList codes = newCodes(nuevos);
    ParametersJob job(*m_link, false);
    checkCode(QLatin1Char('M'));
    const QString placa = QString::number(m_options.board);
    ParametersRead leidos = job.read(placa);
    CamposParametros &campos = leidos.fields;
    if (!changes.isEmpty() || !codes.isEmpty()) {
        for (const auto &[key, value] : changes) {
            // As the fields take them: language names in upper case.
            *parameterField(campos, key) = key == QLatin1String("language") ? value.toUpper() : value;
        }
        for (const QString &key : codes)
            *parameterField(campos, key) = *parameterField(nuevos, key);
        const ParametersWrite written = job.write(campos, EtiquetasParametros{}, placa);
        if (!written.written)
            throw Failure{TzrTool::Usage,
                          say("CLI_NO_CHANGES", QStringLiteral("No changes made: %1"))
                              .arg(written.refused.isEmpty() ? say("CLI_NOT_A_NUMBER", QStringLiteral("a value is not a number"))
                                                             : written.refused)};
        if (!written.complete()) {
            // Only what the board was read back to hold is said; the values asked for are not printed.
            m_err << "tzr: " << say("CLI_PARAMS_INCOMPLETE", QStringLiteral("parameters not all written on board %1"))
                                    .arg(m_options.board)
                  << '\n';
            for (const QString &line : ParametersJob::describe(written, *m_texts))
                m_err << "tzr: " << line << '\n';
            m_err.flush();
            return TzrTool::Incomplete;
        }
        note(say("CLI_PARAMS_WRITTEN", QStringLiteral("Parameters written; the board restarts as panel %1")).arg(campos.Edit1));
    }
    // Standard output ends up in logs and terminals' scroll-back: the codes only when asked for.
    const bool showCodes = m_options.parser->isSet(QStringLiteral("show-codes"));
    const auto shown = [showCodes](const QString &code) {
        return showCodes ? code : code.isEmpty() ? QStringLiteral("unset") : QStringLiteral("set");
    };
    const QString values[] = {campos.Edit1, campos.Edit2, campos.Edit3,        campos.Edit4,
                              campos.Edit5, campos.Edit6, shown(campos.Edit7), shown(campos.Edit8)};
    if (m_options.json) {
        QJsonObject object;
        for (qsizetype i = 0; i < parameterKeys().size(); ++i)
            object.insert(parameterKeys().at(i), values[i]);
        object.insert(QStringLiteral("board"), m_options.board);
        printJson(object);
    } else {
        for (qsizetype i = 0; i < parameterKeys().size(); ++i)
            m_out << parameterKeys().at(i) << '=' << values[i] << '\n';
        m_out.flush();
    }
    if (leidos.languageInvalid)
        note(say("CLI_LANGUAGE_BYTE", QStringLiteral("the board's language byte is not one of the known languages")));
    return TzrTool::Success;
}

int Run::exportUsers()
{
    dataFile(m_options.arguments.at(0), false, Access::Reads);
    const QString out = m_options.arguments.at(1);
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != QLatin1String("xls") && suffix != QLatin1String("csv"))
        throw Failure{TzrTool::Usage, QStringLiteral("the export file must end in .xls or .csv")};
    Table tabla;
    tabla.setDirectory(m_directory);
    tabla.setTableName(m_tableName);
    tabla.open();
    tabla.setGetTextHook(Campo::CODIGO, codigoGetText);
    if (m_options.parser->isSet(QStringLiteral("by-name")))
        tabla.setIndexName(INDICE_NOMBRE);
    const int rows = tabla.recordCount();
    if (rows == 0) {
        note(say("CLI_NO_USERS", QStringLiteral("%1 holds no users; nothing written")).arg(m_tableName));
    } else if (suffix == QLatin1String("xls")) {
        ToolExcelClick(tabla, out, kindsInCurrentLanguage(*m_texts));
    } else {
        FileData::write(out, CsvText::write(exportRows(tabla, kindsInCurrentLanguage(*m_texts))));
    }
    tabla.close();
    if (m_options.json)
        printJson(
            QJsonObject{{QStringLiteral("users"), rows}, {QStringLiteral("file"), rows ? out : QString()}});
    else if (rows)
        note(say("CLI_EXPORTED", QStringLiteral("Exported %1 users to %2")).arg(rows).arg(out));
    return TzrTool::Success;
}

int Run::importUsers()
{
    const bool dryRun = m_options.parser->isSet(QStringLiteral("dry-run"));
    // A file that does not exist yet is made from the template, as a receive makes it.
    dataFile(m_options.arguments.at(0), true, dryRun ? Access::Reads : Access::Writes);
    const QString in = m_options.arguments.at(1);
    const ImportMode mode =
        m_options.parser->isSet(QStringLiteral("append")) ? ImportMode::Append : ImportMode::Replace;
    UsersImport import(*m_texts, m_korvel + QStringLiteral("/TZR_LANG.ini"));
    const QList<SheetRow> rows = UsersImport::readFile(in);
    const int existing = m_newFileBase.isEmpty() ? UsersImport::rowCount(m_directory, m_tableName) : 0;
    const ImportPlan plan = import.plan(rows, mode, existing);
    if (!dryRun) {
        createDataFile();
        try {
            // A new file is filled under its working name and appears under its own only whole.
            UsersImport::apply(m_directory, file().table, plan, mode);
            publishCreatedFile();
        } catch (...) {
            dropCreatedFile();
            throw;
        }
    }
    if (m_options.json) {
        QJsonArray problems;
        for (const ImportProblem &p : plan.problems)
            problems << QJsonObject{{QStringLiteral("line"), p.line}, {QStringLiteral("reason"), p.reason}};
        printJson(
            QJsonObject{{QStringLiteral("imported"), dryRun ? 0 : static_cast<int>(plan.rows.size())},
                        {QStringLiteral("accepted"), static_cast<int>(plan.rows.size())},
                        {QStringLiteral("header"), plan.header},
                        {QStringLiteral("mode"),
                         mode == ImportMode::Append ? QStringLiteral("append") : QStringLiteral("replace")},
                        {QStringLiteral("rejected"), problems}});
    }
    if (!m_options.quiet) {
        for (const ImportProblem &p : plan.problems)
            m_err << in << ':' << p.line << ": " << p.reason << '\n';
    }
    const QString users = counted("COUNT_USERS", static_cast<int>(plan.rows.size()), QStringLiteral("%1 user"),
                                  QStringLiteral("%1 users"));
    const QString rowsNotTaken = counted("COUNT_ROWS", static_cast<int>(plan.problems.size()),
                                         QStringLiteral("%1 row"), QStringLiteral("%1 rows"));
    note(dryRun ? say("CLI_IMPORT_DRY_N", QStringLiteral("%1 would be imported, %2 not taken; nothing changed"))
                      .arg(users, rowsNotTaken)
                : say("CLI_IMPORTED_N", QStringLiteral("Imported %1 into %2, %3 not taken"))
                      .arg(users, m_tableName, rowsNotTaken));
    return plan.problems.isEmpty() ? TzrTool::Success : TzrTool::Incomplete;
}

// The terminal's side of a run over several boards: a line per board on standard error, one JSON
// object per board with --json, and a prompt for a board's own code when one is refused.
class TerminalRunObserver : public BoardRunObserver
{
public:
    // boardLine: the line that starts each board, with the board, its place and the count.
    TerminalRunObserver(TerminalObserver &job, TerminalProgress &progress, QString boardLine,
                        std::function<void(const QString &)> note, std::function<void(const BoardRunEntry &)> finished)
        : m_job(job), m_progress(progress), m_boardLine(std::move(boardLine)), m_note(std::move(note)),
          m_finished(std::move(finished))
    {
    }
    ProgressView *progress() override { return m_job.progress(); }
    MessageView *messages() override { return m_job.messages(); }
    void boardStarted(int board, int index, int count) override
    {
        m_progress.setBoard(board);
        m_note(m_boardLine.arg(board).arg(index).arg(count));
    }
    void boardFinished(const BoardRunEntry &entry) override
    {
        m_progress.cerrar();
        m_finished(entry);
    }
    std::optional<QString> askCode(int board, bool master) override
    {
        if (!Terminal::isTerminal(0))
            return std::nullopt;
        const auto typed = Terminal::readSecret(
            QStringLiteral("Board %1 refused the code; its own %2 code (empty to skip the board): ")
                .arg(board)
                .arg(master ? QStringLiteral("master") : QStringLiteral("programming")));
        if (!typed || typed->trimmed().isEmpty())
            return std::nullopt;
        return typed->trimmed().toUpper().left(LONGITUD_CODIGO);
    }

private:
    TerminalObserver &m_job;
    TerminalProgress &m_progress;
    QString m_boardLine;
    std::function<void(const QString &)> m_note;
    std::function<void(const BoardRunEntry &)> m_finished;
};

int boardStatus(BoardOutcome outcome)
{
    switch (outcome) {
    case BoardOutcome::Done:
        return TzrTool::Success;
    case BoardOutcome::Different:
    case BoardOutcome::GuardRefused:
    case BoardOutcome::NoImage:
    case BoardOutcome::Stopped:
    case BoardOutcome::FailedUsers:
    case BoardOutcome::NotDone:
        return TzrTool::Incomplete;
    case BoardOutcome::CodeRefused:
    case BoardOutcome::NotAnswering:
        return TzrTool::NoAnswer;
    case BoardOutcome::Failed:
        break;
    }
    return TzrTool::FileFailure;
}

const QRegularExpression &runFolderName()
{
    static const QRegularExpression name(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}-\\d{2}-\\d{2}$"));
    return name;
}

BoardCodes Run::boardCodes(QChar letra)
{
    BoardCodes codes;
    if (!m_options.codeFile.isEmpty()) {
        QString error;
        if (!BoardCodes::parse(QString::fromUtf8(FileData::read(m_options.codeFile, CODE_FILE_LIMIT)), codes, error))
            throw Failure{TzrTool::Usage, QStringLiteral("%1: %2").arg(m_options.codeFile, error)};
        return codes;
    }
    const bool master = letra == QLatin1Char('M');
    codes.setDefault(checkedCode(codeFromEnvironmentOrPrompt(
        master, master ? say("CLI_PROMPT_MASTER_ALL", QStringLiteral("Master code, tried on every board: "))
                       : say("CLI_PROMPT_PROG_ALL", QStringLiteral("Programming code, tried on every board: ")))));
    return codes;
}

QList<int> Run::boardsToRun(const QList<int> &remembered, QList<int> &silent)
{
    if (!m_options.allBoards)
        return m_options.boards;
    // Each probe retried as reads are: one unanswered probe must not drop a board from the run.
    ScanJob scan(*m_session);
    scan.setAttempts(3);
    const ScanResult result = scan.run();
    m_progress->cerrar();
    jobFailed(result);
    // A board the data file has met in full is expected: silent, it gets its row all the same.
    QList<int> boards = result.boards;
    for (int board : remembered) {
        if (!boards.contains(board)) {
            boards << board;
            silent << board;
        }
    }
    std::sort(boards.begin(), boards.end());
    if (boards.isEmpty())
        throw Failure{TzrTool::NoAnswer, QStringLiteral("no board answered on %1").arg(m_port->portName())};
    return boards;
}

int Run::runBoards(const Command &command)
{
    const QString name = QLatin1String(command.name);
    const bool backup = name == QLatin1String("backup");
    BoardRun::Kind kind = BoardRun::Kind::Compare;
    if (backup)
        kind = BoardRun::Kind::SaveImage;
    else if (name == QLatin1String("send"))
        kind = m_options.parser->isSet(QStringLiteral("changes")) ? BoardRun::Kind::SendChanges : BoardRun::Kind::Send;
    int keep = 0;
    if (backup && m_options.parser->isSet(QStringLiteral("keep"))) {
        bool ok = false;
        keep = m_options.parser->value(QStringLiteral("keep")).toInt(&ok);
        if (!ok || keep < 1)
            throw Failure{TzrTool::Usage, QStringLiteral("--keep takes a number of runs, 1 or more")};
    }
    if (!backup)
        dataFile(m_options.arguments.at(0), false,
                 kind == BoardRun::Kind::Compare ? Access::Reads : Access::Writes);
    const BoardCodes codes = boardCodes(backup ? QLatin1Char('M') : QLatin1Char('P'));
    watchInterrupt();
    const QList<int> remembered =
        backup ? QList<int>{} : SyncImageStore(file().directory, file().table).boards();
    QList<int> silent;
    const QList<int> boards = boardsToRun(remembered, silent);

    const QDateTime now = QDateTime::currentDateTime();
    const QString root = m_options.arguments.at(0);
    QString folder = root;
    if (backup) {
        if (keep > 0)
            folder = QDir(root).filePath(now.toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss")));
        // The images hold the boards' codes in clear: the folders are the owner's alone.
        try {
            PrivateFile::makeFolder(folder);
        } catch (const IoError &) {
            throw Failure{TzrTool::FileFailure, QStringLiteral("cannot create the folder %1").arg(folder)};
        }
    }

    BoardRun run(*m_session, kind);
    run.setFile(file());
    run.setByName(!backup && m_options.parser->isSet(QStringLiteral("by-name")));
    run.setVerify(kind == BoardRun::Kind::Send && m_options.parser->isSet(QStringLiteral("verify")));
    run.setImageFolder(folder, now.date());
    run.setCodes(codes);
    run.setNotAnswering(silent);
    TerminalRunObserver observer(
        *m_observer, *m_progress, say("CLI_RUN_BOARD", QStringLiteral("Board %1 (%2 of %3)")),
        [this](const QString &text) { note(text); },
        [this](const BoardRunEntry &e) {
            if (m_options.json)
                printJson(QJsonObject{{QStringLiteral("board"), e.board},
                                      {QStringLiteral("outcome"), BoardRunReport::outcomeKey(e.outcome)},
                                      {QStringLiteral("written"), e.written},
                                      {QStringLiteral("total"), e.total},
                                      {QStringLiteral("failedUsers"), QJsonArray::fromStringList(e.failedUsers)},
                                      {QStringLiteral("differences"), e.differences},
                                      {QStringLiteral("seconds"), static_cast<double>(e.milliseconds) / 1000.0},
                                      {QStringLiteral("detail"), e.detail}});
            else
                note(say("CLI_RUN_OUTCOME", QStringLiteral("Board %1: %2"))
                         .arg(e.board)
                         .arg(BoardRunReport::outcomeText(*m_texts, e.outcome)));
        });
    m_boardRun = &run;
    const BoardRunReport report = run.run(boards, &observer);
    m_boardRun = nullptr;
    m_progress->cerrar();
    if (!m_options.json) {
        // The report on standard output, without the byte-order mark a spreadsheet file gets.
        QByteArray csv = report.toCsv();
        if (csv.startsWith("\xEF\xBB\xBF"))
            csv.remove(0, 3);
        m_out << QString::fromUtf8(csv);
        m_out.flush();
    }
    int status = TzrTool::Success;
    int saved = 0;
    for (const BoardRunEntry &e : report.boards) {
        // A lost port is the port not answering, as for one board.
        status = std::max(status, e.portLost ? int(TzrTool::NoAnswer) : boardStatus(e.outcome));
        saved += e.outcome == BoardOutcome::Done ? 1 : 0;
    }
    // Older runs go only once this one has saved something: a night of dead boards must not
    // cost the last good backups (nor leave an empty run among them).
    if (backup && keep > 0 && saved == 0)
        QDir().rmdir(folder);
    if (backup && keep > 0 && saved > 0) {
        QStringList runs = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        runs.removeIf([](const QString &n) { return !runFolderName().match(n).hasMatch(); });
        while (runs.size() > keep) {
            const QString old = QDir(root).filePath(runs.takeFirst());
            if (!QDir(old).removeRecursively())
                note(say("CLI_RUN_NOT_REMOVED", QStringLiteral("could not remove the old run %1")).arg(old));
            else
                note(say("CLI_RUN_REMOVED", QStringLiteral("Removed the old run %1")).arg(old));
        }
    }
    return status;
}

} // namespace

int TzrTool::run(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    Run run(out, err);
    return run.main(arguments);
}
