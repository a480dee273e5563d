#include "BoardRun.h"

#include "BoardSession.h"
#include "CompareJob.h"
#include "Comunicacion_TZR.h"
#include "CsvText.h"
#include "FileData.h"
#include "ImageJobs.h"
#include "SendChangesJob.h"
#include "TextLookup.h"
#include "SendJob.h"
#include "SystemImage.h"
#include "TransferReport.h"

#include <QDir>
#include <QElapsedTimer>

// Stands between the jobs and the front end's observer: passes everything on, and when the
// board in hand has been silent for the silence limit, gives that board up so the run can go on
// to the next (an unattended run would otherwise wait out every remaining exchange).
class BoardRun::SilenceGuard : public JobObserver, public ProgressView
{
public:
    SilenceGuard(BoardRun &run, JobObserver &outer) : m_run(run), m_outer(outer) {}

    ProgressView *progress() override { return this; }
    MessageView *messages() override { return m_outer.messages(); }
    void started() override { m_outer.started(); }
    void workDone() override { m_outer.workDone(); }

    void display() override { forward([](ProgressView &p) { p.display(); }); }
    void dismiss() override { forward([](ProgressView &p) { p.dismiss(); }); }
    void setMessage(const QString &text) override { forward([&](ProgressView &p) { p.setMessage(text); }); }
    void setMaximum(int maximum) override { forward([&](ProgressView &p) { p.setMaximum(maximum); }); }
    void setPosition(int position) override
    {
        m_position = position;
        forward([&](ProgressView &p) { p.setPosition(position); });
    }
    int position() const override { return m_position; }
    void setCounter(const QString &text) override { forward([&](ProgressView &p) { p.setCounter(text); }); }
    void setUserInHand(const QString &text) override
    {
        forward([&](ProgressView &p) { p.setUserInHand(text); });
    }
    void setNotAnswering(bool on) override
    {
        forward([&](ProgressView &p) { p.setNotAnswering(on); });
        if (on && !m_run.m_boardSilent) {
            m_run.m_boardSilent = true;
            m_run.m_session.requestStop();
        }
    }

private:
    template<typename F>
    void forward(F f)
    {
        if (ProgressView *p = m_outer.progress())
            f(*p);
    }

    BoardRun &m_run;
    JobObserver &m_outer;
    int m_position = 0;
};

QString BoardRun::imageFileName(int board, QDate date)
{
    return QStringLiteral("board-%1-%2.tzrimg")
        .arg(board, 2, 10, QLatin1Char('0'))
        .arg(date.toString(Qt::ISODate));
}

void BoardRun::requestStop()
{
    m_stopRequested = true;
    m_session.requestStop();
}

BoardRunReport BoardRun::run(const QList<int> &boards, BoardRunObserver *observer)
{
    BoardRunObserver none;
    BoardRunObserver &outer = observer ? *observer : none;
    SilenceGuard guard(*this, outer);
    const BoardSession::Observing observing(m_session, guard);
    Comunicacion_TZR &link = m_session.link();
    const int previousBoard = link.board();
    m_stopRequested = false;
    m_portLost = false;

    BoardRunReport report;
    report.compared = m_kind == Kind::Compare;
    m_typedCode.reset();
    for (qsizetype i = 0; i < boards.size(); ++i) {
        const int board = boards.at(i);
        BoardRunEntry entry;
        entry.board = board;
        if (m_stopRequested || m_portLost) {
            entry.outcome = BoardOutcome::NotDone;
        } else if (m_notAnswering.contains(board)) {
            outer.boardStarted(board, static_cast<int>(i + 1), static_cast<int>(boards.size()));
            entry.outcome = BoardOutcome::NotAnswering;
        } else {
            link.setBoard(board);
            outer.boardStarted(board, static_cast<int>(i + 1), static_cast<int>(boards.size()));
            entry = runBoard(board, outer);
        }
        report.boards.append(entry);
        outer.boardFinished(entry);
    }
    report.stopped = m_stopRequested;
    link.setBoard(previousBoard);
    link.setParada(false);
    return report;
}

BoardRunEntry BoardRun::runBoard(int board, BoardRunObserver &observer)
{
    BoardRunEntry entry;
    entry.board = board;
    QElapsedTimer clock;
    clock.start();
    qint64 waited = 0;
    m_boardSilent = false;
    const bool master = m_kind == Kind::SaveImage;
    const QChar letra = master ? QLatin1Char('M') : QLatin1Char('P');
    try {
        QString code = m_codes.codeFor(board);
        // A shared code refused once is likely mistyped: the code typed for an earlier board is
        // tried before the user is asked again.
        bool triedTyped = !m_typedCode || *m_typedCode == code;
        bool typed = false;
        for (;;) {
            const CodeCheck check = m_session.checkCode(letra, code);
            if (check == CodeCheck::Accepted)
                break;
            if (check == CodeCheck::NoAnswer) {
                entry.outcome = BoardOutcome::NotAnswering;
                break;
            }
            if (!triedTyped) {
                triedTyped = true;
                code = *m_typedCode;
                continue;
            }
            // The time spent typing is the user's, not the board's.
            QElapsedTimer asking;
            asking.start();
            const std::optional<QString> other = observer.askCode(board, master);
            waited += asking.elapsed();
            if (!other) {
                entry.outcome = BoardOutcome::CodeRefused;
                break;
            }
            code = *other;
            typed = true;
        }
        if (entry.outcome == BoardOutcome::NotDone && typed)
            m_typedCode = code;
        if (entry.outcome == BoardOutcome::NotDone) {
            // Kept for this run only, should the same board come again.
            m_codes.setCode(board, code);
            if (!master)
                m_session.readReaderType();
            m_session.purge();
            runJob(entry);
        }
    } catch (const std::exception &e) {
        const JobStatus status = failureStatus(e);
        entry.outcome = status.end == JobEnd::Stopped ? BoardOutcome::Stopped : BoardOutcome::Failed;
        entry.detail = status.error;
        m_portLost = status.end == JobEnd::PortLost;
    }
    if (entry.outcome == BoardOutcome::Stopped && m_boardSilent && !m_stopRequested)
        entry.outcome = BoardOutcome::NotAnswering;
    // Only a board in hand can lose the port: the later ones are not started.
    entry.portLost = m_portLost;
    m_session.link().setParada(m_stopRequested);
    entry.milliseconds = clock.elapsed() - waited;
    return entry;
}

namespace {

// The outcome of a job that did not run to its end; false when it did.
bool endedEarly(const JobStatus &status, BoardRunEntry &entry, bool &portLost)
{
    switch (status.end) {
    case JobEnd::Done:
        return false;
    case JobEnd::NotOpened:
        entry.outcome = BoardOutcome::NotAnswering;
        return true;
    case JobEnd::Stopped:
        entry.outcome = BoardOutcome::Stopped;
        return true;
    case JobEnd::PortLost:
    case JobEnd::PortUnavailable:
        portLost = true;
        break;
    case JobEnd::RowRefused:
    case JobEnd::Failed:
    case JobEnd::RepliesMismatched:
        break;
    }
    entry.outcome = BoardOutcome::Failed;
    entry.detail = status.error;
    return true;
}

} // namespace

void BoardRun::runJob(BoardRunEntry &entry)
{
    switch (m_kind) {
    case Kind::Send: {
        SendJob job(m_session, m_file);
        job.setVerify(m_verify);
        const SendPlan plan = job.prepare(m_byName);
        if (plan.end == JobEnd::RowRefused) {
            entry.outcome = BoardOutcome::Failed;
            entry.detail = QStringLiteral("user %1 (%2): %3")
                               .arg(plan.refused.posicion + 1)
                               .arg(plan.refused.nombre.trimmed(), plan.refused.motivo);
            return;
        }
        entry.leftOut = plan.leftOut;
        if (endedEarly(plan, entry, m_portLost))
            return;
        const SendResult result = job.run(plan.records);
        entry.written = result.sent.usuarios;
        entry.total = result.total;
        entry.failedUsers = result.failedNames();
        if (endedEarly(result, entry, m_portLost))
            return;
        entry.outcome = result.complete() ? BoardOutcome::Done : BoardOutcome::FailedUsers;
        return;
    }
    case Kind::SendChanges: {
        SendChangesJob job(m_session, m_file);
        const SendChangesPlan plan = job.prepare(m_byName);
        if (plan.end == JobEnd::RowRefused) {
            entry.outcome = BoardOutcome::Failed;
            entry.detail = QStringLiteral("user %1 (%2): %3")
                               .arg(plan.preparation.rechazo.posicion + 1)
                               .arg(plan.preparation.rechazo.nombre.trimmed(), plan.preparation.rechazo.motivo);
            return;
        }
        entry.leftOut = plan.leftOut;
        if (endedEarly(plan, entry, m_portLost))
            return;
        if (plan.preparation.estado == PreparacionCambios::Estado::SinImagen) {
            entry.outcome = BoardOutcome::NoImage;
            return;
        }
        const SendChangesResult result = job.run(plan.preparation);
        const ResultadoEnvioCambios &sent = result.sent;
        entry.written = sent.resultado.escritos + sent.resultado.vaciados;
        entry.total = static_cast<int>(sent.plan.escribir.size() + sent.plan.vaciar.size());
        entry.failedUsers = result.failedNames();
        if (endedEarly(result, entry, m_portLost))
            return;
        switch (sent.estado) {
        case ResultadoEnvioCambios::Estado::SinRespuesta:
        case ResultadoEnvioCambios::Estado::PlacaNoLeida:
            entry.outcome = BoardOutcome::NotAnswering;
            return;
        case ResultadoEnvioCambios::Estado::PlacaCambiada: {
            entry.outcome = BoardOutcome::GuardRefused;
            QStringList changed;
            for (int slot : sent.comprobacion.slotsCambiados)
                changed << QString::number(slot + 1);
            entry.detail = changed.join(QLatin1Char(' '));
            return;
        }
        case ResultadoEnvioCambios::Estado::Hecho:
            break;
        }
        entry.outcome = result.complete() ? BoardOutcome::Done : BoardOutcome::FailedUsers;
        return;
    }
    case Kind::Compare: {
        const CompareResult result = CompareJob(m_session, m_file).run(m_byName);
        if (endedEarly(result, entry, m_portLost))
            return;
        const ResultadoComparacion &r = result.comparison;
        switch (r.estado) {
        case ResultadoComparacion::Estado::FilaRechazada:
            entry.outcome = BoardOutcome::Failed;
            entry.detail = QStringLiteral("user %1 (%2): %3")
                               .arg(r.rechazo.posicion + 1)
                               .arg(r.rechazo.nombre.trimmed(), r.rechazo.motivo);
            return;
        case ResultadoComparacion::Estado::SinRespuesta:
            entry.outcome = BoardOutcome::NotAnswering;
            return;
        case ResultadoComparacion::Estado::Incompleta:
            entry.outcome = BoardOutcome::FailedUsers;
            entry.detail = QString::number(r.slotsFallidos);
            return;
        case ResultadoComparacion::Estado::Hecha:
            break;
        }
        entry.differences = static_cast<int>(r.informe.entries.size());
        entry.outcome = r.informe.noDifferences() ? BoardOutcome::Done : BoardOutcome::Different;
        return;
    }
    case Kind::SaveImage: {
        const QString path = QDir(m_folder).filePath(imageFileName(entry.board, m_date));
        SystemImage image;
        const ImageResult result = ImageJobs(m_session).save(image, path);
        if (endedEarly(result, entry, m_portLost))
            return;
        if (result.image.sinRespuesta) {
            entry.outcome = BoardOutcome::NotAnswering;
            return;
        }
        if (!result.image.completo()) {
            entry.outcome = BoardOutcome::FailedUsers;
            entry.detail = QString::number(result.image.fallidos);
            return;
        }
        entry.written = image.usuarios.users();
        entry.total = entry.written;
        entry.detail = path;
        entry.outcome = BoardOutcome::Done;
        return;
    }
    }
}

QString BoardRunReport::outcomeKey(BoardOutcome outcome)
{
    switch (outcome) {
    case BoardOutcome::Done:
        return QStringLiteral("done");
    case BoardOutcome::Different:
        return QStringLiteral("different");
    case BoardOutcome::GuardRefused:
        return QStringLiteral("refused-by-guard");
    case BoardOutcome::NoImage:
        return QStringLiteral("no-image");
    case BoardOutcome::CodeRefused:
        return QStringLiteral("code-refused");
    case BoardOutcome::NotAnswering:
        return QStringLiteral("not-answering");
    case BoardOutcome::Stopped:
        return QStringLiteral("stopped");
    case BoardOutcome::FailedUsers:
        return QStringLiteral("failed-users");
    case BoardOutcome::NotDone:
        return QStringLiteral("not-done");
    case BoardOutcome::Failed:
        return QStringLiteral("failed");
    }
    return QString();
}

void BoardRunReport::saveCsv(const QString &path) const
{
    FileData::write(path, toCsv());
}

QByteArray BoardRunReport::toCsv() const
{
    QList<QStringList> rows{{QStringLiteral("board"), QStringLiteral("outcome"), QStringLiteral("written"),
                             QStringLiteral("total"), QStringLiteral("failed users"), QStringLiteral("differences"),
                             QStringLiteral("seconds"), QStringLiteral("detail")}};
    for (const BoardRunEntry &e : boards)
        rows << QStringList{QString::number(e.board),
                            outcomeKey(e.outcome),
                            QString::number(e.written),
                            QString::number(e.total),
                            e.failedUsers.join(QStringLiteral("; ")),
                            QString::number(e.differences),
                            QString::number(static_cast<double>(e.milliseconds) / 1000.0, 'f', 1),
                            e.detail};
    return CsvText::write(rows);
}

namespace {

QString texto(const TextLookup &texts, const char *key, const char *fallback)
{
    return texts.texto(QString::fromLatin1(key), QString::fromUtf8(fallback));
}

} // namespace

QString BoardRunReport::outcomeText(const TextLookup &texts, BoardOutcome outcome)
{
    switch (outcome) {
    case BoardOutcome::Done:
        return texto(texts, "MULTI_OUT_DONE", "Done");
    case BoardOutcome::Different:
        return texto(texts, "MULTI_OUT_DIFFERENT", "Differs from the file");
    case BoardOutcome::GuardRefused:
        return texto(texts, "MULTI_OUT_GUARD", "Refused: changed on the board since the last send");
    case BoardOutcome::NoImage:
        return texto(texts, "MULTI_OUT_NO_IMAGE", "Refused: the file has no record of this board");
    case BoardOutcome::CodeRefused:
        return texto(texts, "MULTI_OUT_CODE", "Code refused");
    case BoardOutcome::NotAnswering:
        return texto(texts, "MULTI_OUT_SILENT", "Not answering");
    case BoardOutcome::Stopped:
        return texto(texts, "MULTI_OUT_STOPPED", "Stopped");
    case BoardOutcome::FailedUsers:
        return texto(texts, "MULTI_OUT_FAILED_USERS", "Incomplete");
    case BoardOutcome::NotDone:
        return texto(texts, "MULTI_OUT_NOT_DONE", "Not done");
    case BoardOutcome::Failed:
        return texto(texts, "MULTI_OUT_FAILED", "Failed");
    }
    return QString();
}
