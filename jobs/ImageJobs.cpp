#include "ImageJobs.h"

#include "BoardMemory.h"
#include "BoardSession.h"
#include "Clock.h"
#include "Comunicacion_TZR.h"
#include "JobHistory.h"
#include "JobObserver.h"
#include "SilenceWatch.h"
#include "TransferReport.h"

template<typename Work>
ImageResult ImageJobs::run(Work work, bool restoring)
{
    ImageResult result;
    Comunicacion_TZR &link = m_session.link();
    const Comunicacion_TZR::Reserva reserva(link);
    JobObserver none;
    JobObserver &observer = m_session.observer() ? *m_session.observer() : none;
    ProgressView *progress = observer.progress();
    Clock clock;
    SystemImageTransfer transfer(link, m_session.texts(), clock);
    transfer.setProgreso(progress);
    try {
        observer.started();
        if (progress)
            progress->display();
        link.setParada(false);
        const SilenceWatch watch(link, progress);
        result.image = work(transfer);
    } catch (const std::exception &e) {
        static_cast<JobStatus &>(result) = failureStatus(e);
        if (restoring)
            result.image = transfer.restauracion();
    }
    observer.workDone();
    // A Stop pressed during the last exchange found nothing left to stop: it must not fail the
    // next operation.
    link.setParada(false);
    return result;
}

ImageResult ImageJobs::save(SystemImage &image, const QString &path)
{
    return run(
        [&](SystemImageTransfer &transfer) {
            const ResultadoImagen r = transfer.Lee_Imagen(image);
            if (r.completo())
                image.save(path);
            return r;
        },
        false);
}

ImageResult ImageJobs::restore(const SystemImage &image, const DataFileRef &file, int board)
{
    // Read before it is forgotten: what the board held, as far as the file knows.
    const std::optional<UserArea> before = BoardMemory::recall(file, board);
    ImageResult result =
        run([&](SystemImageTransfer &transfer) { return transfer.Restaura_Imagen(image); }, true);
    HistoryEntry entry = JobHistory::start(m_session, History::Job::RestoreImage, board);
    entry.outcome = JobHistory::outcomeOf(result, result.complete());
    // A transfer that never opened wrote nothing; anything else may have changed the users.
    if (result.done() && result.image.sinRespuesta) {
        entry.outcome = History::Outcome::NoAnswer;
        JobHistory::record(m_session, file, entry, result);
        return result;
    }
    entry.changes = History::changesBetween(before ? *before : UserArea(), image.usuarios);
    if (!before) {
        // Against an empty board every user is new; what the board held is not known.
        for (HistoryChange &c : entry.changes)
            c.kind = HistoryChange::Kind::Written;
    }
    entry.users = result.complete() ? image.usuarios.users() : -1;
    entry.detail = result.parametersWritten() ? QStringLiteral("parameters and codes written")
                   : result.parametersTouched() ? QStringLiteral("parameters and codes not all written")
                                                : QStringLiteral("parameters and codes not written");
    JobHistory::record(m_session, file, entry, result);
    QStringList errors;
    for (const int number : {board, image.parametros[0]}) {
        if (number < 0 || number > 31)
            continue;
        const QString error = BoardMemory::remember(file, number, nullptr);
        if (!error.isEmpty() && !errors.contains(error))
            errors << error;
        if (number == image.parametros[0])
            break;
    }
    result.notForgotten = errors.join(QStringLiteral("; "));
    return result;
}
