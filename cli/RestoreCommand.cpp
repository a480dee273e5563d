#include "RestoreCommand.h"

#include "Failure.h"
#include "ImageJobs.h"
#include "SlotText.h"
#include "TzrTool.h"

#include <QJsonArray>
#include <QJsonObject>

QString RestoreCommand::restoreSummary(const ImageResult &result) const
{
    const ResultadoImagen &r = result.image;
    QString parameters;
    if (!r.parametrosDistintos.isEmpty())
        parameters = say("CLI_RESTORE_PARAMS_DIFFER",
                         QStringLiteral("written, but addresses %1 read back otherwise (the board's number and codes "
                                        "are uncertain)"))
                         .arg(SlotText::addressList(r.parametrosDistintos));
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
                      .arg(SlotText::slotList(r.slotsDistintos)));
}

int RestoreCommand::execute()
{
    // A damaged or foreign file is refused before the board is asked anything.
    const SystemImage imagen = SystemImage::load(m_options.arguments.at(0));
    checkCode(QLatin1Char('M'));
    const ImageResult result = ImageJobs(*m_session).restore(imagen);
    m_progress->dismiss();
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
