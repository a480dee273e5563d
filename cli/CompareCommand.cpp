#include "CompareCommand.h"

#include "CompareJob.h"
#include "Failure.h"
#include "TzrTool.h"

#include <QJsonArray>
#include <QJsonObject>

int CompareCommand::execute()
{
    dataFile(m_options.arguments.at(0), false, Access::Reads);
    checkCode(QLatin1Char('P'));
    m_session->readReaderType();
    m_session->purge();
    const CompareResult result = CompareJob(*m_session, file()).run(m_options.parser->isSet(QStringLiteral("by-name")));
    m_progress->dismiss();
    if (!result.done() && result.end != JobEnd::Failed)
        m_err << "tzr: " << say("CLI_CMP_INCOMPLETE", QStringLiteral("compare incomplete")) << '\n';
    jobFailed(result);
    const ResultadoComparacion &r = result.comparison;
    switch (r.estado) {
    case ResultadoComparacion::Estado::FilaRechazada:
        throw Failure{TzrTool::FileFailure, rowRefused(r.rechazo)};
    case ResultadoComparacion::Estado::SinRespuesta:
        throw notOpened();
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
                                   {QStringLiteral("boardName"), e.boardName},
                                   {QStringLiteral("fileName"), e.fileName},
                                   {QStringLiteral("fields"), QJsonArray::fromStringList(e.fields)},
                                   {QStringLiteral("boardSlot"), e.boardSlot >= 0 ? e.boardSlot + 1 : 0},
                                   {QStringLiteral("filePosition"), e.filePosition >= 0 ? e.filePosition + 1 : 0}};
        printJson(QJsonObject{{QStringLiteral("board"), m_options.board},
                              {QStringLiteral("boardUsers"), informe.boardUsers},
                              {QStringLiteral("fileUsers"), informe.fileUsers},
                              {QStringLiteral("onlyOnBoard"), informe.onlyOnBoard},
                              {QStringLiteral("onlyInFile"), informe.onlyInFile},
                              {QStringLiteral("different"), informe.different},
                              {QStringLiteral("moved"), informe.moved},
                              {QStringLiteral("expiredOnBoard"), informe.expiredOnBoard},
                              {QStringLiteral("entries"), entries}});
    } else {
        m_out << QString::fromUtf8(informe.toCsv());
        m_out.flush();
    }
    if (informe.noDifferences()) {
        note(say("CLI_SAME", QStringLiteral("Board %1 and %2 hold the same %3 users"))
                 .arg(m_options.board)
                 .arg(m_data->tableName())
                 .arg(informe.fileUsers));
        return TzrTool::Success;
    }
    note(say("CLI_DIFFERENCES", QStringLiteral("%1 only on the board, %2 only in the file, %3 different (%4 merely moved)"))
             .arg(informe.onlyOnBoard)
             .arg(informe.onlyInFile)
             .arg(informe.different)
             .arg(informe.moved));
    if (informe.expiredOnBoard > 0)
        note(counted("CLI_VU_EXPIRED_ON_BOARD", informe.expiredOnBoard,
                     QStringLiteral("%1 user whose end date has passed is still on the board; a send empties its slot"),
                     QStringLiteral("%1 users whose end date has passed are still on the board; a send empties their slots")));
    return TzrTool::Incomplete;
}
