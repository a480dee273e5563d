#include "ParametersJob.h"

#include "BoardSession.h"
#include "JobHistory.h"
#include "Comunicacion_TZR.h"
#include "ContraPlaca.h"
#include "TextLookup.h"

namespace {

bool digitsOnly(const QString &text, qsizetype maxLength)
{
    if (text.isEmpty() || text.size() > maxLength)
        return false;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

bool oneOf(const QString &text, char16_t from, char16_t to)
{
    return text.size() == 1 && text.at(0).unicode() >= from && text.at(0).unicode() <= to;
}

// What the field's key filter and length let through: 0-9, A, B, at most the code's length.
bool codeCharacters(const QString &text)
{
    if (text.size() > LONGITUD_CODIGO)
        return false;
    for (const QChar c : text)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('A') || c == QLatin1Char('B')))
            return false;
    return true;
}

} // namespace

ParametersJob::ParametersJob(Comunicacion_TZR &link, bool logChange) : m_link(link), m_logChange(logChange)
{
    setInterval(true);
}

ParametersJob::~ParametersJob()
{
    setInterval(false);
}

void ParametersJob::setInterval(bool slow)
{
    const std::chrono::milliseconds time = slow ? TIEMPO_RESPUESTA_LENTO : TIEMPO_RESPUESTA;
    m_link.setIntervalo(time);
    if (m_logChange)
        m_link.printDebug(
            QStringLiteral("TF_Test.IniciarClick: Cambiamos TimerRecepcion.Interval a %1").arg(time.count()));
}

bool ParametersJob::validate(const CamposParametros &c, const EtiquetasParametros &e, QString &mensaje)
{
    if (!Valida_Parametros(c, e, mensaje))
        return false;
    // Values the window's fields cannot hold but a typed command line can: the board would store
    // them cut or out of range.
    struct Rule
    {
        bool ok;
        const QString &label;
    };
    const Rule rules[] = {
        {digitsOnly(c.Edit1, 2), e.Label1},
        {oneOf(c.Edit4, u'0', u'1'), e.Label4},
        {idiomasPlaca().contains(c.Edit3), e.Label3},
        {oneOf(c.Edit2, u'4', u'6'), e.Label2},
        {digitsOnly(c.Edit5, 2), e.Label5},
        {digitsOnly(c.Edit6, 2), e.Label6},
        {codeCharacters(c.Edit7), e.Label9},
        {codeCharacters(c.Edit8), e.Label11},
    };
    for (const Rule &r : rules) {
        if (!r.ok) {
            mensaje = r.label;
            return false;
        }
    }
    return true;
}

ParametersJob::ParametersJob(BoardSession &session, bool logChange) : ParametersJob(session.link(), logChange)
{
}

ParametersRead ParametersJob::readInto(BoardSession &session, const QString &num_placa, const CamposParametros &start)
{
    return readInto(session.link(), num_placa, start);
}

namespace {

QString codeState(EscrituraParametros::Codigo code)
{
    switch (code) {
    case EscrituraParametros::Codigo::Cambiado:
        return QStringLiteral("written");
    case EscrituraParametros::Codigo::NoCambiado:
        return QStringLiteral("not changed");
    case EscrituraParametros::Codigo::Incierto:
        break;
    }
    return QStringLiteral("uncertain");
}

} // namespace

ParametersWrite ParametersJob::writeFields(BoardSession &session, CamposParametros &fields,
                                           const EtiquetasParametros &labels, const QString &num_placa,
                                           const DataFileRef &file)
{
    bool ok = false;
    const int board = num_placa.toInt(&ok);
    HistoryEntry entry = JobHistory::start(session, History::Job::Parameters, ok ? board : -1);
    ParametersWrite written;
    try {
        written = writeFields(session.link(), fields, labels, num_placa);
    } catch (const std::exception &e) {
        JobStatus status = failureStatus(e);
        entry.outcome = JobHistory::outcomeOf(status, false);
        JobHistory::record(session, file, entry, status);
        throw;
    }
    if (!written.refused.isEmpty())
        return written; // nothing was sent
    JobStatus status;
    entry.outcome = JobHistory::outcomeOf(status, written.complete());
    // The settings as written; the codes only as written or not.
    entry.detail = QStringLiteral("%1 %2, %3 %4, %5 %6, %7 %8, %9 %10, %11 %12; %13 %14; %15 %16")
                       .arg(labels.Label1, fields.Edit1, labels.Label2, fields.Edit2, labels.Label3, fields.Edit3,
                            labels.Label4, fields.Edit4, labels.Label5)
                       .arg(fields.Edit5, labels.Label6, fields.Edit6, labels.Label9,
                            codeState(written.board.programacion), labels.Label11, codeState(written.board.maestro));
    if (!written.board.noEscritos.isEmpty())
        entry.detail += QStringLiteral("; not as written: ") + written.board.noEscritos.join(QStringLiteral(", "));
    JobHistory::record(session, file, entry, status);
    written.notRecorded = status.notRecorded;
    return written;
}

ParametersRead ParametersJob::readInto(Comunicacion_TZR &link, const QString &num_placa,
                                       const CamposParametros &start)
{
    const Comunicacion_TZR::Reserva reserva(link);
    ParametersRead result;
    result.fields = start;
    Parametros(link).Lee_Parametros(result.fields, num_placa, result.languageInvalid);
    return result;
}

ParametersWrite ParametersJob::writeFields(Comunicacion_TZR &link, CamposParametros &fields,
                                          const EtiquetasParametros &labels, const QString &num_placa)
{
    ParametersWrite result;
    if (!validate(fields, labels, result.refused))
        return result;
    const Comunicacion_TZR::Reserva reserva(link);
    result.written = true;
    result.board = Parametros(link).Escribe_Parametros(fields, labels);
    result.renumbers = fields.Edit1.toInt() != num_placa.toInt();
    // Still to the number the board had before: it takes the new one only at the restart.
    link.Envia_Reinicio();
    return result;
}

QStringList ParametersJob::describe(const ParametersWrite &write, const TextLookup &texts)
{
    QStringList lines;
    if (!write.written || write.board.completa())
        return lines;
    using Codigo = EscrituraParametros::Codigo;
    const auto code = [&](Codigo state, const char *changed, const char *notChanged, const char *uncertain,
                          const QString &changedText, const QString &notChangedText, const QString &uncertainText) {
        switch (state) {
        case Codigo::Cambiado:
            return texts.texto(QLatin1String(changed), changedText);
        case Codigo::NoCambiado:
            return texts.texto(QLatin1String(notChanged), notChangedText);
        case Codigo::Incierto:
            break;
        }
        return texts.texto(QLatin1String(uncertain), uncertainText);
    };
    lines << code(write.board.programacion, "PARAM_PROG_CHANGED", "PARAM_PROG_NOT_CHANGED", "PARAM_PROG_UNCERTAIN",
                  QStringLiteral("The programming code was changed."),
                  QStringLiteral("The programming code was not changed."),
                  QStringLiteral("The programming code may be partly changed; the board's programming code is not known."));
    lines << code(write.board.maestro, "PARAM_MASTER_CHANGED", "PARAM_MASTER_NOT_CHANGED", "PARAM_MASTER_UNCERTAIN",
                  QStringLiteral("The master code was changed."), QStringLiteral("The master code was not changed."),
                  QStringLiteral("The master code may be partly changed; the board's master code is not known."));
    if (!write.board.noEscritos.isEmpty())
        lines << texts.texto(QStringLiteral("PARAM_NOT_WRITTEN"), QStringLiteral("Not written: %1."))
                     .arg(write.board.noEscritos.join(QStringLiteral(", ")));
    return lines;
}
