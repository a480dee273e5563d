#include "ImageJobs.h"

#include "BoardMemory.h"
#include "BoardSession.h"
#include "Clock.h"
#include "Comunicacion_TZR.h"
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
    ImageResult result =
        run([&](SystemImageTransfer &transfer) { return transfer.Restaura_Imagen(image); }, true);
    // A transfer that never opened wrote nothing; anything else may have changed the users.
    if (result.done() && result.image.sinRespuesta)
        return result;
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
