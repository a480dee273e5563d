#include "SendCommand.h"

#include "Failure.h"
#include "SendJob.h"
#include "SlotText.h"
#include "TzrTool.h"

#include <QJsonArray>
#include <QJsonObject>

int SendCommand::execute()
{
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
    leftOut(plan.leftOut);
    m_session->purge();
    const SendResult resultado = job.run(plan.records);
    m_progress->dismiss();
    if (resultado.end == JobEnd::NotOpened || resultado.end == JobEnd::Failed)
        jobFailed(resultado);
    const QStringList fallidos = resultado.failedNames();
    // Those that got no acknowledgement, then those the send never reached (a lost port).
    QStringList sinEscribir = fallidos;
    int reached = 0;
    for (const RegistroEnvio &r : plan.records) {
        if (!r.leftOut && reached++ >= resultado.sent.usuarios)
            sinEscribir << r.fila.NOMBRE.trimmed();
    }
    if (m_options.json)
        printJson(QJsonObject{{QStringLiteral("board"), m_options.board},
                              {QStringLiteral("users"), resultado.sent.usuarios},
                              {QStringLiteral("total"), resultado.total},
                              {QStringLiteral("failedUsers"), QJsonArray::fromStringList(fallidos)},
                              {QStringLiteral("failedErases"), resultado.sent.borradosFallidos},
                              {QStringLiteral("codesDiffer"), SlotText::slotsAndNames(resultado.codesDiffer, resultado.namesDiffer)},
                              {QStringLiteral("leftOut"), QJsonArray::fromStringList(plan.leftOut)},
                              {QStringLiteral("complete"), resultado.complete()}});
    if (!resultado.codesDiffer.isEmpty())
        m_err << "tzr: "
              << say("CLI_CODES_DIFFER", QStringLiteral("board %1 does not hold the codes sent to slots %2"))
                     .arg(m_options.board)
                     .arg(SlotText::slotNameList(resultado.codesDiffer, resultado.namesDiffer))
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
    note(say("CLI_SENT", QStringLiteral("Sent %1 users to board %2")).arg(resultado.total).arg(m_options.board));
    return TzrTool::Success;
}
