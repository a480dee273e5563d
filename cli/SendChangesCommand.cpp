#include "SendChangesCommand.h"

#include "Failure.h"
#include "SendChangesJob.h"
#include "SlotText.h"
#include "TzrTool.h"

#include <QJsonArray>
#include <QJsonObject>

int SendChangesCommand::execute()
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
                .arg(m_data->tableName())
                .arg(m_options.board)};
    leftOut(plan.leftOut);
    m_session->purge();
    const SendChangesResult result = job.run(preparacion);
    m_progress->dismiss();
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
        throw notOpened();
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
                .arg(SlotText::slotList(r.comprobacion.slotsCambiados))};
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
                              {QStringLiteral("codesDiffer"), SlotText::slotsAndNames(r.resultado.codigosDistintos,
                                                                            r.resultado.usuariosDistintos)},
                              {QStringLiteral("leftOut"), QJsonArray::fromStringList(plan.leftOut)},
                              {QStringLiteral("complete"), r.resultado.completo()}});
    if (!r.resultado.codigosDistintos.isEmpty()) {
        m_err << "tzr: "
              << say("CLI_CODES_DIFFER", QStringLiteral("board %1 does not hold the codes sent to slots %2"))
                     .arg(m_options.board)
                     .arg(SlotText::slotNameList(r.resultado.codigosDistintos, r.resultado.usuariosDistintos))
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
