#pragma once

#include "DataFileRef.h"
#include "JobEnd.h"
#include "SyncTransfers.h"

class BoardSession;
class SyncImageStore;
class TablaTransferencia;

struct PreparacionCambios
{
    enum class Estado
    {
        Lista,
        FilaRechazada,
        SinImagen // the file remembers nothing of this board: only a full send can go
    };
    Estado estado = Estado::Lista;
    int placa = -1;
    QList<RegistroEnvio> registros;
    SyncImage imagen;
    FilaRechazada rechazo;
};

// Encodes the file in the current order as a full send does and finds the board's image.
// Nothing is sent.
// Users whose end date is before today (invalid: the PC's date) keep their slot empty.
PreparacionCambios Prepara_Cambios(SyncTransfers &sync, TablaTransferencia &tabla, bool porNombre,
                                   const SyncImageStore &store, const QDate &today = {});

struct ResultadoEnvioCambios
{
    enum class Estado
    {
        Hecho,         // resultado tells whether every write was acknowledged
        SinRespuesta,  // the board did not open the transfer; nothing written
        PlacaCambiada, // the guard found the board changed; nothing written
        PlacaNoLeida   // the guard could not read the board; nothing written
    };
    Estado estado = Estado::Hecho;
    ComprobacionPlaca comprobacion;
    PlanCambios plan;
    ResultadoCambios resultado;
};

// Opens the transfer, checks the board against the image, writes the changes, closes the
// transfer and restarts the board as a send does. A complete send stores the new image; an
// incomplete one forgets it, so the next send of changes is refused until a full send or a
// comparison that finds no difference.
ResultadoEnvioCambios Envia_Cambios(SyncTransfers &sync, const PreparacionCambios &preparacion,
                                    SyncImageStore &store, const QString &puertoActual);

struct SendChangesPlan : JobStatus
{
    PreparacionCambios preparation;
    // The users whose end date has passed: their slots are emptied.
    QStringList leftOut;
};

struct SendChangesResult : JobStatus
{
    ResultadoEnvioCambios sent;
    bool complete() const { return done() && sent.estado == ResultadoEnvioCambios::Estado::Hecho && sent.resultado.completo(); }
    QStringList failedNames() const;
};

// Send of changes: only the slots that differ from the board's remembered image, after the
// guard has checked that the board still holds that image.
class SendChangesJob
{
public:
    SendChangesJob(BoardSession &session, const DataFileRef &file) : m_session(session), m_file(file) {}
    SendChangesPlan prepare(bool byName);
    // The day end dates are held against; the PC's date unless set.
    void setToday(const QDate &today) { m_today = today; }
    SendChangesResult run(const PreparacionCambios &preparation);

private:
    void record(const PreparacionCambios &preparation, SendChangesResult &result) const;

    BoardSession &m_session;
    DataFileRef m_file;
    QDate m_today;
};
