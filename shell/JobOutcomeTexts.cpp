#include "JobOutcomeTexts.h"

#include "CompareJob.h"
#include "ImageJobs.h"
#include "SendChangesJob.h"
#include "SendJob.h"
#include "TextLookup.h"

#include <QStringList>

QString JobOutcomeTexts::text(const char *key, const char *fallback) const
{
    return m_texts.texto(QString::fromLatin1(key), QString::fromUtf8(fallback));
}

OutcomeLines JobOutcomeTexts::noAnswer() const
{
    return {text("F_SHOW_M3", "¿¿??"), text("F_SHOW_M4", "¿¿??")};
}

OutcomeLines JobOutcomeTexts::rowRefused(const FilaRechazada &row) const
{
    return {text("F_SHOW_M18", "Send refused: call code or TZR not a number."),
            text("F_SHOW_M19", "Correct user %1. The board was not touched.")
                .arg(QStringLiteral("%1 (%2)").arg(row.posicion + 1).arg(row.nombre))};
}

QString JobOutcomeTexts::withLeftOut(const QString &question, const QStringList &leftOut) const
{
    return leftOut.isEmpty() ? question : question + QLatin1Char('\n') + this->leftOut(leftOut);
}

QString JobOutcomeTexts::leftOut(const QStringList &names) const
{
    if (names.size() == 1)
        return text("VU_SEND_LEFT_OUT_ONE", "%1 user is left out: their end date has passed.").arg(1);
    return text("VU_SEND_LEFT_OUT", "%1 users are left out: their end date has passed.").arg(names.size());
}

QString JobOutcomeTexts::sendOthers() const
{
    return text("VU_SEND_ANYWAY", "Send the others?");
}

QString JobOutcomeTexts::receiveIncomplete() const
{
    return text("F_SHOW_M14", "Receive incomplete: the file was not changed.");
}

QString JobOutcomeTexts::sendIncomplete() const
{
    return text("F_SHOW_M16", "Send incomplete.");
}

QString JobOutcomeTexts::compareIncomplete() const
{
    return text("SYNC_COMPARE_INCOMPLETE", "Compare incomplete.");
}

QString JobOutcomeTexts::imageNotSaved() const
{
    return text("SYNC_IMAGE_INCOMPLETE_2", "No image was saved.");
}

QString JobOutcomeTexts::stopped(bool cancelled) const
{
    return cancelled ? text("LINE_CANCELLED", "Cancelled.")
                     : text("LINE_STOPPED", "Stopped while the board was not answering.");
}

QString JobOutcomeTexts::repliesMismatched() const
{
    return text("LINE_REPLIES_MISMATCHED",
                "A reply came that answered no request: what was read or written cannot be trusted. Run it again.");
}

QString JobOutcomeTexts::sendDetail(const SendResult &result) const
{
    const QStringList names = result.failedNames();
    QString detail = text("F_SHOW_M17", "Users not written: %1")
                         .arg(names.isEmpty() ? QStringLiteral("-") : names.join(QStringLiteral(", ")));
    if (!result.codesDiffer.isEmpty() && result.sent.completo()) {
        QStringList where;
        for (qsizetype i = 0; i < result.codesDiffer.size(); ++i)
            where << QStringLiteral("%1 (%2)").arg(result.codesDiffer[i] + 1).arg(result.namesDiffer.value(i));
        detail = text("SYNC_CODES_DIFFER", "The board does not hold the codes sent to slots %1")
                     .arg(where.join(QStringLiteral(", ")));
    }
    // Stopped or cut off: the users after the last one written never left the PC.
    if (result.sent.interrupcion != Interrupcion::Ninguna) {
        const QString written = text("LINE_SENT", "Users written: %1 of %2; the rest were not sent.")
                                    .arg(result.sent.usuarios)
                                    .arg(result.total);
        detail = names.isEmpty() ? written : written + QLatin1Char(' ') + detail;
    }
    return detail;
}

OutcomeLines JobOutcomeTexts::compareOutcome(const CompareResult &result) const
{
    const ResultadoComparacion &r = result.comparison;
    switch (r.estado) {
    case ResultadoComparacion::Estado::FilaRechazada:
        return rowRefused(r.rechazo);
    case ResultadoComparacion::Estado::SinRespuesta:
        return noAnswer();
    case ResultadoComparacion::Estado::Incompleta:
        return {compareIncomplete(), text("F_SHOW_M15", "%1 user slots could not be read.").arg(r.slotsFallidos)};
    case ResultadoComparacion::Estado::Hecha:
        break;
    }
    return {};
}

QString JobOutcomeTexts::changesCutOff(const SendChangesResult &result) const
{
    return text("LINE_SENT", "Users written: %1 of %2; the rest were not sent.")
        .arg(result.sent.resultado.escritos)
        .arg(result.sent.plan.escribir.size());
}

OutcomeLines JobOutcomeTexts::changesOutcome(const SendChangesResult &result) const
{
    const ResultadoEnvioCambios &r = result.sent;
    switch (r.estado) {
    case ResultadoEnvioCambios::Estado::SinRespuesta:
        return noAnswer();
    case ResultadoEnvioCambios::Estado::PlacaNoLeida:
        return {text("SYNC_UNREAD_1", "The board could not be checked."), text("SYNC_UNREAD_2", "Nothing was sent.")};
    case ResultadoEnvioCambios::Estado::PlacaCambiada:
        return {};
    case ResultadoEnvioCambios::Estado::Hecho:
        break;
    }
    if (!r.resultado.codigosDistintos.isEmpty()) {
        // Acknowledged but read back otherwise: say where, so the installer checks those doors.
        QStringList where;
        for (qsizetype i = 0; i < r.resultado.codigosDistintos.size(); ++i)
            where << QStringLiteral("%1 (%2)")
                         .arg(r.resultado.codigosDistintos[i] + 1)
                         .arg(r.resultado.usuariosDistintos.value(i).trimmed());
        return {sendIncomplete(), text("SYNC_CODES_DIFFER", "The board does not hold the codes sent to slots %1")
                                      .arg(where.join(QStringLiteral(", ")))};
    }
    if (!r.resultado.completo()) {
        const QStringList names = result.failedNames();
        return {sendIncomplete(), text("F_SHOW_M17", "Users not written: %1")
                                      .arg(names.isEmpty() ? QStringLiteral("-") : names.join(QStringLiteral(", ")))};
    }
    if (r.plan.vacio())
        return {text("SYNC_NOTHING_1", "The board already holds this file."),
                text("SYNC_NOTHING_2", "Nothing was written."), true};
    return {text("SYNC_SENT_1", "Changes sent."),
            text("SYNC_SENT_2", "Users written: %1. Slots emptied: %2.").arg(r.resultado.escritos).arg(r.resultado.vaciados),
            true};
}

OutcomeLines JobOutcomeTexts::imageSaved(const ImageResult &result, const QString &path) const
{
    const ResultadoImagen &r = result.image;
    if (r.sinRespuesta)
        return noAnswer();
    if (!r.completo())
        return {text("SYNC_IMAGE_INCOMPLETE_1", "The board could not be read whole."), imageNotSaved()};
    return {text("SYNC_IMAGE_SAVED", "System image saved."), path, true};
}

QString JobOutcomeTexts::restoreIncomplete(const ImageResult &result) const
{
    return text("SYNC_RESTORE_INCOMPLETE", "Restore incomplete: %1 writes were not acknowledged.")
        .arg(result.image.fallidos + (result.image.sinRespuesta ? 1 : 0));
}

QString JobOutcomeTexts::restoreSummary(const ImageResult &result) const
{
    const ResultadoImagen &r = result.image;
    QString parameters;
    QStringList addresses;
    for (int address : r.parametrosDistintos)
        addresses << QString::number(address);
    QStringList positions;
    for (int slot : r.slotsDistintos)
        positions << QString::number(slot + 1);
    if (!r.parametrosDistintos.isEmpty())
        parameters = text("SYNC_RESTORE_PARAMS_DIFFER",
                          "written, but addresses %1 read back otherwise; the board's number and codes are uncertain.")
                         .arg(addresses.join(QLatin1Char(' ')));
    else if (result.parametersWritten())
        parameters = text("SYNC_RESTORE_PARAMS_WRITTEN", "written.");
    else if (!result.parametersTouched())
        parameters = text("SYNC_RESTORE_PARAMS_NOT_WRITTEN", "not written; the board keeps its number and codes.");
    else
        parameters = text("SYNC_RESTORE_PARAMS_PARTLY",
                          "%1 of %2 bytes written, %3 not acknowledged; the board's number and codes are uncertain.")
                         .arg(r.parametrosIntentados)
                         .arg(SystemImage::PARAMETER_COUNT + SystemImage::CODE_COUNT)
                         .arg(r.parametrosFallidos);
    QString summary =
        text("SYNC_RESTORE_DETAIL", "User slots written: %1 of %2, not acknowledged: %3. Parameters and codes: %4")
            .arg(r.slotsEscritos)
            .arg(MAX_USUARIOS)
            .arg(r.slotsFallidos)
            .arg(parameters);
    if (!positions.isEmpty())
        summary += QLatin1Char(' ') + text("SYNC_RESTORE_SLOTS_DIFFER", "Slots whose codes read back otherwise: %1.")
                                          .arg(positions.join(QLatin1Char(' ')));
    return summary;
}
