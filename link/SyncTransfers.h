#pragma once

#include "CompareReport.h"
#include "Transferencias.h"
#include "UserArea.h"

#include <QDateTime>
#include <QList>
#include <QString>

class Clock;
class Comunicacion_TZR;
class MessageView;
class ProgressView;
class TablaTransferencia;
class TextLookup;

// A board's user area read as a receive reads it.
struct LecturaSistema
{
    UserArea area;
    int slotsFallidos = 0;
    bool completa() const { return slotsFallidos == 0; }
};

// The guard before a send of changes: is the board still as the image remembers it?
struct ComprobacionPlaca
{
    // Slots whose in-use state, access code (bytes 20 to 25) or byte 0 is not what the image
    // holds.
    QList<int> slotsCambiados;
    // Slots that could not be read in three attempts.
    int slotsSinRespuesta = 0;
    // Byte reads the check asked for (each one exchange, retries not counted).
    int lecturas = 0;
    bool igual() const { return slotsCambiados.isEmpty() && slotsSinRespuesta == 0; }
};

// What a send of changes writes: whole slots, and byte 20 := 0xFF of slots to empty.
struct PlanCambios
{
    QList<int> escribir;
    QList<int> vaciar;
    bool vacio() const { return escribir.isEmpty() && vaciar.isEmpty(); }
};

struct ResultadoCambios
{
    int escritos = 0;
    int vaciados = 0;
    // Users with at least one byte not acknowledged in three attempts.
    QStringList usuariosFallidos;
    int vaciadosFallidos = 0;
    // Slots written or emptied whose bytes 20 to 25, read back after one more try, are not what
    // was meant; and the names of their users (of the user removed, for a slot emptied).
    QList<int> codigosDistintos;
    QStringList usuariosDistintos;
    // What the board holds afterwards as far as it was read back: the records meant, with bytes
    // 20 to 25 of every slot written or emptied as read. Worth keeping only when complete.
    UserArea leida;
    // Stop or a lost port ended the writes after escritos users and vaciados empties.
    Interrupcion interrupcion = Interrupcion::Ninguna;
    QString motivo;
    bool completo() const
    {
        return usuariosFallidos.isEmpty() && vaciadosFallidos == 0 && codigosDistintos.isEmpty() &&
               interrupcion == Interrupcion::Ninguna;
    }
};

// Compare a board with a data file, and send only what differs from the board's remembered
// image. Like Transferencias these talk to the board in num_placa, report progress through a
// ProgressView (may be absent) and never touch a window.
class SyncTransfers
{
public:
    SyncTransfers(Comunicacion_TZR &link, const TextLookup &textos, const Clock &clock);

    void setProgreso(ProgressView *view);
    void setMensajes(MessageView *view);
    // The encoder and byte routines shared with the full transfers.
    Transferencias &transferencias() { return m_transferencias; }
    Comunicacion_TZR &link() { return m_link; }
    const Clock &clock() const { return m_clock; }

    // Every slot of the board, with the exchanges, marks and progress of a receive and log lines
    // of its own. The data file is not involved.
    LecturaSistema Lee_Sistema();
    // Byte 20 of every slot and, of every slot in use on both sides, bytes 21 to 25 and byte 0,
    // against the image.
    ComprobacionPlaca Comprueba_Placa(const UserArea &imagen);
    // The slots whose 45 bytes differ from the image (or that the image holds empty) among the
    // records, and the slots the image holds in use beyond the last record.
    static PlanCambios planifica(const QList<RegistroEnvio> &registros, const UserArea &imagen);
    // Carries out the plan, then reads back bytes 20 to 25 of every slot written or emptied; the
    // board then holds what a full send of registros leaves in every
    // byte a full send writes, when the result is complete.
    ResultadoCambios Envio_Cambios(const QList<RegistroEnvio> &registros, const UserArea &imagen,
                                   const QString &puertoActual);

private:
    Comunicacion_TZR &m_link;
    const TextLookup &m_textos;
    const Clock &m_clock;
    Transferencias m_transferencias;
    ProgressView *m_progreso = nullptr;
};
