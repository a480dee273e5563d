#include "SendChangesJob.h"

#include "BoardSession.h"
#include "Clock.h"
#include "Comunicacion_TZR.h"
#include "JobHistory.h"
#include "JobObserver.h"
#include "SilenceWatch.h"
#include "SyncImageStore.h"
#include "TablaCursor.h"
#include "TransferReport.h"
#include "TransferScope.h"
#include "TzrError.h"

#include <optional>

PreparacionCambios Prepara_Cambios(SyncTransfers &sync, TablaTransferencia &tabla, bool porNombre,
                                   const SyncImageStore &store, const QDate &today)
{
    PreparacionCambios p;
    p.placa = sync.link().placaActual();
    QList<bool> leftOut;
    const QList<FilaUsuario> filas = tabla.rowsForSend(porNombre, today, leftOut);
    if (!sync.transferencias().Prepara_Envio(filas, p.registros, p.rechazo, leftOut)) {
        p.estado = PreparacionCambios::Estado::FilaRechazada;
        return p;
    }
    const std::optional<SyncImage> imagen = store.load(p.placa);
    if (!imagen) {
        p.estado = PreparacionCambios::Estado::SinImagen;
        return p;
    }
    p.imagen = *imagen;
    return p;
}

ResultadoEnvioCambios Envia_Cambios(SyncTransfers &sync, const PreparacionCambios &preparacion,
                                    SyncImageStore &store, const QString &puertoActual)
{
    ResultadoEnvioCambios r;
    Comunicacion_TZR &link = sync.link();
    TransferScope transfer(link, TransferScope::Close::AlwaysRestart);
    if (!transfer.open()) {
        r.estado = ResultadoEnvioCambios::Estado::SinRespuesta;
        return r;
    }
    try {
        r.comprobacion = sync.Comprueba_Placa(preparacion.imagen.area);
        if (!r.comprobacion.slotsCambiados.isEmpty())
            r.estado = ResultadoEnvioCambios::Estado::PlacaCambiada;
        else if (r.comprobacion.slotsSinRespuesta > 0)
            r.estado = ResultadoEnvioCambios::Estado::PlacaNoLeida;
        else {
            // Forgotten before the first write: should the new image fail to be stored, no stale
            // one may remain to hide a slot the board no longer holds as remembered.
            store.forget(preparacion.placa);
            r.plan = SyncTransfers::planifica(preparacion.registros, preparacion.imagen.area);
            r.resultado = sync.Envio_Cambios(preparacion.registros, preparacion.imagen.area, puertoActual);
        }
    } catch (...) {
        // Whatever was written is unknown now: the image no longer describes the board.
        try {
            store.forget(preparacion.placa);
        } catch (...) {
        }
        throw;
    }
    if (r.estado == ResultadoEnvioCambios::Estado::Hecho) {
        if (r.resultado.completo())
            store.save(SyncImage{preparacion.placa, sync.clock().now().toUTC(), r.resultado.leida});
        else
            store.forget(preparacion.placa);
    }
    transfer.close();
    return r;
}

QStringList SendChangesResult::failedNames() const
{
    QStringList names;
    for (const QString &n : sent.resultado.usuariosFallidos + sent.resultado.usuariosDistintos) {
        if (!names.contains(n.trimmed()))
            names << n.trimmed();
    }
    return names;
}

SendChangesPlan SendChangesJob::prepare(bool byName)
{
    SendChangesPlan plan;
    try {
        Clock clock;
        SyncTransfers sync(m_session.link(), m_session.texts(), clock);
        TablaCursor tabla(m_file.directory, m_file.table);
        const SyncImageStore store(m_file.directory, m_file.table);
        plan.preparation = Prepara_Cambios(sync, tabla, byName, store, m_today);
        plan.leftOut = namesLeftOut(plan.preparation.registros);
        if (plan.preparation.estado == PreparacionCambios::Estado::FilaRechazada)
            plan.end = JobEnd::RowRefused;
    } catch (const std::exception &e) {
        static_cast<JobStatus &>(plan) = failureStatus(e);
    }
    return plan;
}

SendChangesResult SendChangesJob::run(const PreparacionCambios &preparation)
{
    SendChangesResult result;
    Comunicacion_TZR &link = m_session.link();
    const Comunicacion_TZR::Reserva reserva(link);
    JobObserver none;
    JobObserver &observer = m_session.observer() ? *m_session.observer() : none;
    ProgressView *progress = observer.progress();
    try {
        observer.started();
        if (progress)
            progress->display();
        link.setParada(false);
        const SilenceWatch watch(link, progress);
        Clock clock;
        SyncTransfers sync(link, m_session.texts(), clock);
        sync.setProgreso(progress);
        sync.setMensajes(observer.messages());
        SyncImageStore store(m_file.directory, m_file.table);
        result.sent = Envia_Cambios(sync, preparation, store, m_session.portName());
        if (result.sent.resultado.interrupcion == Interrupcion::PuertoPerdido) {
            result.end = JobEnd::PortLost;
            result.error = result.sent.resultado.motivo;
        } else if (result.sent.resultado.interrupcion == Interrupcion::Detenida) {
            result.end = JobEnd::Stopped;
        }
    } catch (const std::exception &e) {
        static_cast<JobStatus &>(result) = failureStatus(e);
    }
    observer.workDone();
    // A Stop pressed during the last exchange found nothing left to stop: it must not fail the
    // next operation.
    link.setParada(false);
    record(preparation, result);
    return result;
}

void SendChangesJob::record(const PreparacionCambios &preparation, SendChangesResult &result) const
{
    using Estado = ResultadoEnvioCambios::Estado;
    HistoryEntry entry = JobHistory::start(m_session, History::Job::SendChanges, preparation.placa);
    entry.outcome = JobHistory::outcomeOf(result, result.complete());
    if (result.done() && result.sent.estado != Estado::Hecho) {
        // The guard or the transfer's opening stopped it before any write.
        entry.outcome = result.sent.estado == Estado::SinRespuesta   ? History::Outcome::NoAnswer
                        : result.sent.estado == Estado::PlacaCambiada ? History::Outcome::BoardChanged
                                                                      : History::Outcome::BoardUnread;
    } else if (result.sent.estado == Estado::Hecho) {
        entry.changes = History::changesBetween(preparation.imagen.area, preparation.registros);
        entry.users = result.complete() ? usersToWrite(preparation.registros) : -1;
        const QStringList failed = result.failedNames();
        if (!failed.isEmpty())
            entry.detail = QStringLiteral("not written or not as sent: ") + failed.join(QStringLiteral(", "));
    }
    JobHistory::record(m_session, m_file, entry, result);
}
