#pragma once

#include "DataFileRef.h"
#include "JobEnd.h"
#include "SyncTransfers.h"

class BoardSession;
class SyncImageStore;
class TablaTransferencia;

struct ResultadoComparacion
{
    enum class Estado
    {
        Hecha,         // informe holds the comparison
        FilaRechazada, // a row cannot be encoded; the board was not read
        SinRespuesta,  // the board did not open the transfer
        Incompleta     // some slots could not be read; no comparison is made
    };
    Estado estado = Estado::Hecha;
    CompareReport informe;
    FilaRechazada rechazo;
    int slotsFallidos = 0;
    // The comparison found no difference and the board's image was stored.
    bool imagenGuardada = false;
};

// Opens the transfer, reads the board, closes it (restart when the close is not answered),
// compares with the file in the current order, and stores the board's image when they agree.
ResultadoComparacion Compara_Con_Sistema(SyncTransfers &sync, TablaTransferencia &tabla, bool porNombre,
                                         SyncImageStore &store, const QDate &today = {});


struct CompareResult : JobStatus
{
    ResultadoComparacion comparison;
};

// Compare the board with the data file, with Stop and "board not answering" as in every job.
class CompareJob
{
public:
    CompareJob(BoardSession &session, const DataFileRef &file) : m_session(session), m_file(file) {}
    CompareResult run(bool byName);
    // The day end dates are held against; the PC's date unless set.
    void setToday(const QDate &today) { m_today = today; }

private:
    BoardSession &m_session;
    DataFileRef m_file;
    QDate m_today;
};
