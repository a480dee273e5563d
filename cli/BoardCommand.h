#pragma once

#include "BoardContext.h"
#include "BoardSession.h"
#include "DataFileRef.h"
#include "DataFileSession.h"
#include "Failure.h"
#include "FileLog.h"
#include "JobEnd.h"
#include "Lenguaje.h"
#include "Options.h"
#include "Output.h"
#include "TerminalObserver.h"
#include "TerminalProgress.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>

#include <memory>

class BoardRun;
class InterruptWatch;
struct FilaRechazada;

// One subcommand's run. The preamble every subcommand shares is done here once: configuration,
// log, progress line, the port with its link and session; then the code check and the data
// file as each subcommand asks for them. Failures are thrown as Failure.
class BoardCommand
{
public:
    BoardCommand(Output &output, const Options &options);
    virtual ~BoardCommand();

    // The preamble, then the subcommand; the port opened first when needsPort.
    int run(bool needsPort);
    // The progress line ended, before a failure is printed.
    void closeProgress();

protected:
    virtual int execute() = 0;

    void openPort();
    QString code(QChar letra);
    void checkCode(QChar letra);
    // Names the data file FILE; one that does not exist yet is only made by createDataFile. A
    // command that writes it holds its lock from here (from createDataFile for a new one), so
    // that the window and other commands keep off it.
    using Access = DataFileSession::Access;
    void dataFile(const QString &path, bool createFromTemplate, Access access);
    // Makes the new data file under a working name beside it; publishCreatedFile puts it in place.
    void createDataFile();
    void publishCreatedFile();
    // Removes the file createDataFile made, when the command did not fill it.
    void dropCreatedFile();
    void note(const QString &text) { m_output.note(text); }
    QString say(const char *key, const QString &english) const { return m_output.say(key, english); }
    QString counted(const char *key, int n, const QString &one, const QString &many) const
    {
        return m_output.counted(key, n, one, many);
    }
    void printJson(const QJsonValue &value) { m_output.printJson(value); }
    QString rowRefused(const FilaRechazada &rechazo) const;
    // The board did not open the transfer: nothing was done.
    Failure notOpened() const;
    DataFileRef file() const { return m_data->file(); }
    // Ends the subcommand unless the job ran to its end.
    void jobFailed(const JobStatus &status);
    void notRemembered(const QString &error);
    // Names the users a send leaves out because their end date has passed; nothing when none.
    void leftOut(const QStringList &names);
    // From here on Ctrl+C stops the board command at its next exchange (after the code prompt,
    // which Ctrl+C ends at once).
    void watchInterrupt();

    Output &m_output;
    QTextStream &m_out;
    QTextStream &m_err;
    Options m_options;
    QString m_korvel;
    QString m_comPort = QStringLiteral("1");
    QString m_idioma = QStringLiteral("ENGLISH");
    std::unique_ptr<Lenguaje> m_texts;
    std::unique_ptr<BoardContext> m_context;
    BoardSession *m_session = nullptr;
    std::unique_ptr<TerminalObserver> m_observer;
    std::unique_ptr<InterruptWatch> m_interrupt;
    std::unique_ptr<FileLog> m_log;
    std::unique_ptr<TerminalProgress> m_progress;
    BoardRun *m_boardRun = nullptr;
    std::unique_ptr<DataFileSession> m_data;

private:
    void readConfiguration();
    // What stops the command from using its data file, as the failure it ends with.
    Failure refused(const DataFileSession::Refusal &refusal) const;
};
