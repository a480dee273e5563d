#include "ReceiveCommand.h"

#include "Failure.h"
#include "ReceiveJob.h"
#include "TzrTool.h"

#include <QJsonArray>
#include <QJsonObject>

int ReceiveCommand::execute()
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

int ReceiveCommand::receiveInto()
{
    m_session->readReaderType();
    m_session->purge();
    const ReceiveResult resultado = ReceiveJob(*m_session, file()).run();
    m_progress->dismiss();

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
             .arg(m_data->tableName()));
    return TzrTool::Success;
}
