#include "BoardCommand.h"

#include "BoardCodes.h"
#include "BoardRun.h"
#include "Configuracion.h"
#include "Failure.h"
#include "Prompt.h"
#include "SendJob.h"
#include "TzrTool.h"

#include "FicheroActual.h"
#include "InterruptWatch.h"

BoardCommand::BoardCommand(Output &output, const Options &options)
    : m_output(output), m_out(output.out()), m_err(output.err()), m_options(options)
{
}

BoardCommand::~BoardCommand() = default;

int BoardCommand::run(bool needsPort)
{
    readConfiguration();
    if (!m_options.log.isEmpty()) {
        m_log = std::make_unique<FileLog>();
        if (!m_log->open(m_options.log))
            throw Failure{
                TzrTool::FileFailure,
                say("CLI_LOG", QStringLiteral("cannot write the log %1: %2")).arg(m_options.log, m_log->errorString())};
    }
    m_progress = std::make_unique<TerminalProgress>(m_err, !m_options.quiet && Output::errorIsTerminal());
    if (needsPort)
        openPort();
    const int status = execute();
    if (m_session)
        m_session->closePort();
    return status;
}

void BoardCommand::closeProgress()
{
    if (m_progress)
        m_progress->dismiss();
}

void BoardCommand::readConfiguration()
{
    m_korvel = DataFileSession::korvelFolder();
    m_data = std::make_unique<DataFileSession>(m_korvel);
    FicheroActual fichero;
    Configuracion configuration(fichero, m_korvel);
    configuration.Lee_Configuracion();
    m_comPort = configuration.ComPort();
    m_idioma = configuration.IDIOMA();
    if (m_idioma.isEmpty())
        m_idioma = QStringLiteral("ENGLISH");
    m_texts = std::make_unique<Lenguaje>(m_korvel + QStringLiteral("/TZR_LANG.ini"),
                                         [idioma = m_idioma] { return idioma; });
    m_output.setTexts(m_texts.get());
}

void BoardCommand::openPort()
{
    m_context = std::make_unique<BoardContext>(m_korvel + QStringLiteral("/TZR_USR.ini"), m_texts.get());
    const BoardContext::PortChoice choice = m_context->choosePort(m_options.port, m_comPort);
    switch (choice.kind) {
    case BoardContext::PortKind::Serial:
    case BoardContext::PortKind::NetworkName:
    case BoardContext::PortKind::Address:
        break;
    case BoardContext::PortKind::BadAddress:
        throw Failure{TzrTool::Usage,
                      QStringLiteral("'%1' is not a network address (tcp://HOST:PORT or rfc2217://HOST:PORT)")
                          .arg(choice.name)};
    case BoardContext::PortKind::Unknown:
        throw Failure{TzrTool::Usage,
                      QStringLiteral("'%1' is not a port name (COM followed by its number, a network port's name "
                                     "or address)")
                          .arg(choice.name)};
    }
    const QString name = choice.name;
    m_context->setDebugLog(m_log.get());
    const int board = m_options.board;
    m_context->setBoard(board);
    m_session = &m_context->session();
    m_progress->setBoard(board);
    m_observer = std::make_unique<TerminalObserver>(m_progress.get(), m_err);
    m_session->setObserver(m_observer.get());
    if (!m_context->open(choice)) {
        // The window's words (plug it in again, the port menu) do not fit a port named on the
        // command line that may never have existed.
        if (m_session->portGone())
            throw Failure{TzrTool::NoAnswer,
                          say("CLI_NO_SUCH_PORT", QStringLiteral("there is no port %1; 'tzr ports' lists the ports there are"))
                              .arg(name)};
        const OpenFailureText why = m_session->openFailureText();
        throw Failure{TzrTool::NoAnswer,
                      say("CLI_CANNOT_OPEN", QStringLiteral("cannot open %1: %2"))
                          .arg(name, why.known() ? why.line1 + QLatin1Char(' ') + why.line2 : m_session->portError())};
    }
    QObject::connect(m_session, &BoardSession::echoDetected, [this](const QString &port) {
        note(say("CLI_ECHO", QStringLiteral("the line on %1 echoes what is sent; echo handling is now on for it")).arg(port));
    });
    QObject::connect(m_session, &BoardSession::notRecorded, [this](const QString &error) {
        note(say("CLI_HIST_NOT_RECORDED", QStringLiteral("the data file's history could not take this operation's entry: %1"))
                 .arg(error));
    });
    QObject::connect(m_session, &BoardSession::echoGone, [this](const QString &port) {
        note(say("CLI_NOECHO", QStringLiteral("the line on %1 does not echo what is sent; echo handling is now off for it"))
                 .arg(port));
    });
    m_session->purge();
}

QString BoardCommand::code(QChar letra)
{
    const bool master = letra == QLatin1Char('M');
    QString text;
    if (!m_options.codeFile.isEmpty()) {
        const QString content = BoardCodes::fileText(m_options.codeFile);
        text = content.section(QLatin1Char('\n'), 0, 0).trimmed();
    } else {
        text = Prompt::codeFromEnvironmentOrPrompt(
            master, master ? say("CLI_PROMPT_MASTER", QStringLiteral("Master code of board %1: ")).arg(m_options.board)
                           : say("CLI_PROMPT_PROG", QStringLiteral("Programming code of board %1: ")).arg(m_options.board));
    }
    return Prompt::checkedCode(text);
}

void BoardCommand::checkCode(QChar letra)
{
    const QString typed = code(letra);
    watchInterrupt();
    switch (m_session->checkCode(letra, typed)) {
    case CodeCheck::Accepted:
        return;
    case CodeCheck::NoAnswer:
        throw Failure{
            TzrTool::NoAnswer,
            say("CLI_NO_ANSWER", QStringLiteral("board %1 did not answer on %2")).arg(m_options.board).arg(m_session->portName())};
    case CodeCheck::Refused:
        break;
    }
    throw Failure{TzrTool::NoAnswer, (letra == QLatin1Char('M')
                                          ? say("CLI_REFUSED_M", QStringLiteral("board %1 refused the master code"))
                                          : say("CLI_REFUSED_P",
                                                QStringLiteral("board %1 refused the programming code")))
                                         .arg(m_options.board)};
}

Failure BoardCommand::refused(const DataFileSession::Refusal &refusal) const
{
    using Kind = DataFileSession::Refusal::Kind;
    switch (refusal.kind) {
    case Kind::None:
        break;
    case Kind::NoFile:
        return Failure{TzrTool::FileFailure, say("CLI_NO_FILE", QStringLiteral("no data file %1.db")).arg(refusal.file)};
    case Kind::NoTemplate:
        return Failure{TzrTool::FileFailure,
                       say("CLI_NO_TEMPLATE", QStringLiteral("the template %1.db is missing; is TZRUsers installed?"))
                           .arg(refusal.file)};
    case Kind::Foreign:
        return Failure{TzrTool::FileFailure,
                       say("DATA_FOREIGN",
                           QStringLiteral("%1 holds what this tool never makes (%2): refused, the file was not changed"))
                           .arg(refusal.file, refusal.found.join(QStringLiteral(", ")))};
    case Kind::Busy:
        return Failure{TzrTool::FileFailure,
                       refusal.program.isEmpty()
                           ? say("CLI_FILE_BUSY_ANY", QStringLiteral("%1 is in use by another program; close it there, "
                                                                     "then run the command again"))
                                 .arg(refusal.file)
                           : say("CLI_FILE_BUSY", QStringLiteral("%1 is in use by %2; close it there, then run the "
                                                                 "command again"))
                                 .arg(refusal.file,
                                      say("LINE_BUSY_PROCESS", QStringLiteral("%1 (process %2)"))
                                          .arg(refusal.program)
                                          .arg(refusal.pid))};
    case Kind::LockFailed:
        break;
    }
    return Failure{TzrTool::FileFailure, refusal.error};
}

void BoardCommand::dataFile(const QString &path, bool createFromTemplate, Access access)
{
    switch (m_data->name(path, access)) {
    case DataFileSession::Recovered::Nothing:
        break;
    case DataFileSession::Recovered::Finished:
        note(say("DATA_FINISHED", QStringLiteral("%1 was being saved when the tool was cut short; the save was finished"))
                 .arg(m_data->tableName()));
        break;
    case DataFileSession::Recovered::Removed:
        note(say("DATA_REMOVED", QStringLiteral("%1: a copy left unfinished when the tool was cut short was removed; the file is as it was"))
                 .arg(m_data->tableName()));
        break;
    }
    if (const DataFileSession::Refusal refusal = m_data->open(createFromTemplate))
        throw refused(refusal);
}

void BoardCommand::createDataFile()
{
    if (!m_data->createWorking())
        return;
    if (const DataFileSession::Refusal refusal = m_data->lockWorking())
        throw refused(refusal);
    note(say("CLI_CREATED", QStringLiteral("Created %1 from the template")).arg(m_data->tableName()));
}

void BoardCommand::dropCreatedFile()
{
    m_data->discard();
}

void BoardCommand::publishCreatedFile()
{
    m_data->publish();
}

QString BoardCommand::rowRefused(const FilaRechazada &rechazo) const
{
    return say("CLI_ROW_REFUSED", QStringLiteral("send refused, the board was not touched: user %1 (%2): %3"))
        .arg(rechazo.posicion + 1)
        .arg(rechazo.nombre.trimmed(), rechazo.motivo);
}

Failure BoardCommand::notOpened() const
{
    return Failure{TzrTool::NoAnswer,
                   say("CLI_NOT_OPENED", QStringLiteral("board %1 did not open the transfer")).arg(m_options.board)};
}

void BoardCommand::jobFailed(const JobStatus &status)
{
    switch (status.end) {
    case JobEnd::Done:
        return;
    case JobEnd::NotOpened:
        throw notOpened();
    case JobEnd::PortLost:
    case JobEnd::PortUnavailable: {
        const OpenFailureText gone = m_session->goneText(m_session->portName());
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

void BoardCommand::watchInterrupt()
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
    QObject::connect(m_interrupt.get(), &InterruptWatch::quitting, [this] { m_data->abandon(); });
}

void BoardCommand::notRemembered(const QString &error)
{
    // The transfer itself is done; a send of changes will ask for a full send or a compare.
    if (!error.isEmpty())
        note(say("CLI_NOT_REMEMBERED", QStringLiteral("the data file could not remember board %1: %2")).arg(m_options.board).arg(error));
}

void BoardCommand::leftOut(const QStringList &names)
{
    if (names.isEmpty())
        return;
    note(counted("CLI_VU_LEFT_OUT", int(names.size()),
                 QStringLiteral("%1 user left out: their end date has passed (%2)"),
                 QStringLiteral("%1 users left out: their end date has passed (%2)"))
             .arg(names.join(QStringLiteral(", "))));
}
