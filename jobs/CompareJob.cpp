#include "CompareJob.h"

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

ResultadoComparacion Compara_Con_Sistema(SyncTransfers &sync, TablaTransferencia &tabla, bool porNombre,
                                         SyncImageStore &store, const QDate &today)
{
    ResultadoComparacion r;
    QList<RegistroEnvio> registros;
    QList<bool> leftOut;
    const QList<FilaUsuario> filas = tabla.rowsForSend(porNombre, today, leftOut);
    if (!sync.transferencias().Prepara_Envio(filas, registros, r.rechazo, leftOut)) {
        r.estado = ResultadoComparacion::Estado::FilaRechazada;
        return r;
    }
    Comunicacion_TZR &link = sync.link();
    const int placa = link.placaActual();
    LecturaSistema lectura;
    {
        TransferScope transfer(link, TransferScope::Close::RestartIfUnanswered);
        if (!transfer.open()) {
            r.estado = ResultadoComparacion::Estado::SinRespuesta;
            return r;
        }
        lectura = sync.Lee_Sistema();
        transfer.close();
    }
    if (!lectura.completa()) {
        r.estado = ResultadoComparacion::Estado::Incompleta;
        r.slotsFallidos = lectura.slotsFallidos;
        return r;
    }
    r.informe = CompareReport::compare(lectura.area, registros);
    if (r.informe.noDifferences()) {
        // The comparison stands even when the file cannot take the image.
        try {
            store.save(SyncImage{placa, sync.clock().now().toUTC(), lectura.area});
            r.imagenGuardada = true;
        } catch (const TzrError &e) {
            link.printDebug(QStringLiteral("Compara_Con_Sistema Error: ") + e.message());
        }
    }
    return r;
}

CompareResult CompareJob::run(bool byName)
{
    CompareResult result;
    Comunicacion_TZR &link = m_session.link();
    const Comunicacion_TZR::Reserva reserva(link);
    JobObserver none;
    JobObserver &observer = m_session.observer() ? *m_session.observer() : none;
    ProgressView *progress = observer.progress();
    int board = -1;
    try {
        board = link.placaActual();
        observer.started();
        if (progress) {
            progress->setMaximum(MAX_USUARIOS);
            progress->display();
        }
        link.setParada(false);
        const SilenceWatch watch(link, progress);
        TablaCursor tabla(m_file.directory, m_file.table);
        SyncImageStore store(m_file.directory, m_file.table);
        Clock clock;
        SyncTransfers sync(link, m_session.texts(), clock);
        sync.setProgreso(progress);
        sync.setMensajes(observer.messages());
        result.comparison = Compara_Con_Sistema(sync, tabla, byName, store, m_today);
    } catch (const std::exception &e) {
        static_cast<JobStatus &>(result) = failureStatus(e);
    }
    observer.workDone();
    // A Stop pressed during the last exchange found nothing left to stop: it must not fail the
    // next operation.
    link.setParada(false);

    using Estado = ResultadoComparacion::Estado;
    const ResultadoComparacion &c = result.comparison;
    if (result.done() && c.estado == Estado::FilaRechazada)
        return result; // the board was not asked
    HistoryEntry entry = JobHistory::start(m_session, History::Job::Compare, board);
    entry.read = true;
    entry.outcome = JobHistory::outcomeOf(result, c.estado == Estado::Hecha);
    if (result.done() && c.estado == Estado::SinRespuesta)
        entry.outcome = History::Outcome::NoAnswer;
    else if (result.done() && c.estado == Estado::Hecha) {
        entry.users = c.informe.boardUsers;
        if (!c.informe.noDifferences()) {
            entry.outcome = History::Outcome::Different;
            entry.detail = QStringLiteral("%1 only on the board, %2 only in the file, %3 different")
                               .arg(c.informe.onlyOnBoard)
                               .arg(c.informe.onlyInFile)
                               .arg(c.informe.different);
        }
    }
    JobHistory::record(m_session, m_file, entry, result);
    return result;
}
