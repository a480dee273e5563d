#include "ImageJobs.h"

#include "BoardSession.h"
#include "Clock.h"
#include "Comunicacion_TZR.h"
#include "JobObserver.h"
#include "SilenceWatch.h"
#include "TransferReport.h"

template<typename Work>
ImageResult ImageJobs::run(Work work)
{
    ImageResult result;
    Comunicacion_TZR &link = m_session.link();
    const Comunicacion_TZR::Reserva reserva(link);
    JobObserver none;
    JobObserver &observer = m_session.observer() ? *m_session.observer() : none;
    ProgressView *progress = observer.progress();
    try {
        observer.started();
        if (progress)
            progress->mostrar();
        link.setParada(false);
        const SilenceWatch watch(link, progress);
        Clock clock;
        SystemImageTransfer transfer(link, m_session.texts(), clock);
        transfer.setProgreso(progress);
        result.image = work(transfer);
    } catch (const std::exception &e) {
        static_cast<JobStatus &>(result) = failureStatus(e);
    }
    observer.workDone();
    // A Stop pressed during the last exchange found nothing left to stop: it must not fail the
    // next operation.
    link.setParada(false);
    return result;
}

ImageResult ImageJobs::save(SystemImage &image, const QString &path)
{
    return run([&](SystemImageTransfer &transfer) {
        const ResultadoImagen r = transfer.Lee_Imagen(image);
        if (r.completo())
            image.save(path);
        return r;
    });
}

ImageResult ImageJobs::restore(const SystemImage &image)
{
    return run([&](SystemImageTransfer &transfer) { return transfer.Restaura_Imagen(image); });
}
