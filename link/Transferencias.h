#pragma once

#include "RegistroPlaca.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class Clock;
class Comunicacion_TZR;
class UserArea;
class MessageView;
class ProgressView;
class TablaTransferencia;
class TextLookup;

// How a receive ended.
struct ResultadoRecepcion
{
    int usuarios = 0;
    // Slots whose occupancy read, or any of whose bytes, failed every attempt.
    int slotsFallidos = 0;
    bool completa() const { return slotsFallidos == 0; }
};

// One row ready to be written: where it came from and its encoded record.
struct RegistroEnvio
{
    FilaUsuario fila;
    RegistroPlaca registro{};
    // The user's access has ended: the slot of this position is left empty (a send does not
    // write it, a send of changes empties it), so that no other user moves.
    bool leftOut = false;
};

// The records of a send that are written (those not left out).
int usersToWrite(const QList<RegistroEnvio> &registros);
// The names of those left out, trimmed, in the walk order.
QStringList namesLeftOut(const QList<RegistroEnvio> &registros);

// A row that cannot be encoded; the send is refused before the board is touched.
struct FilaRechazada
{
    int posicion = -1; // from 0 in the walk order
    QString nombre;
    QString motivo;
};

// Why a transfer ended before its last exchange.
enum class Interrupcion
{
    Ninguna,
    Detenida,     // the user pressed Stop while the board was not answering
    PuertoPerdido // the adapter went away
};

struct ResultadoEnvio
{
    // Users whose every byte was sent (acknowledged or not).
    int usuarios = 0;
    // Users with at least one byte that got no acknowledgement in three attempts.
    QStringList usuariosFallidos;
    int borradosFallidos = 0;
    Interrupcion interrupcion = Interrupcion::Ninguna;
    // The port's message when it went away.
    QString motivo;
    bool completo() const
    {
        return usuariosFallidos.isEmpty() && borradosFallidos == 0 && interrupcion == Interrupcion::Ninguna;
    }
};

// The two transfers of the users directory between a board and a data file. They talk to the
// board in num_placa through the link, report progress through a ProgressView (which may be
// absent) and never touch a window themselves.
class Transferencias
{
public:
    Transferencias(Comunicacion_TZR &link, const TextLookup &textos, const Clock &clock);

    void setProgreso(ProgressView *view) { m_progreso = view; }
    void setMensajes(MessageView *view) { m_mensajes = view; }
    // When set, a receive also keeps there every slot it read, as the board held it.
    void setAreaLeida(UserArea *area) { m_areaLeida = area; }

    // Receive: every slot of the board into the table, in one transaction. When any slot could
    // not be read the transaction is rolled back and the table keeps its old rows.
    ResultadoRecepcion Conexion_General(TablaTransferencia &tabla);
    // Reads one slot into lista (left untouched for an empty slot); false when a read failed.
    bool Lee_Registro(int slot, RegistroPlaca &lista);
    // Whether the slot at pos is in use; *fallo is set when no attempt got a valid reply.
    bool Registro_Ocupado(int pos, bool *fallo = nullptr);

    // Encodes every row of the walk (at most the board's capacity) before anything is written.
    // Returns false and fills rechazo for the first row that cannot be encoded.
    // leftOut (may be shorter than filas) marks the rows whose slot is to stay empty: they are not
    // encoded, so such a row never refuses the send.
    bool Prepara_Envio(const QList<FilaUsuario> &filas, QList<RegistroEnvio> &registros,
                       FilaRechazada &rechazo, const QList<bool> &leftOut = {}) const;
    // Send: erase the board's users, then write the prepared records into slots 0, 1, 2...
    ResultadoEnvio Envio_General(const QList<RegistroEnvio> &registros, const QString &puertoActual);
    // Marks every slot empty; returns the number of slots whose erase got no acknowledgement.
    int borrar_TODO_del_Sistema();
    // Writes one slot (counted from 1); returns the number of bytes not acknowledged.
    int Escribe_Registro(const RegistroPlaca &lista, int slot);

    int Lee_Tipo_Lector(int placa);
    int Lee_Longitud_Teclado();

    static double Milisegundos_Entre(const QDateTime &later, const QDateTime &earlier);
    // Delphi-like default floating-point text: shortest form, up to 15 significant digits.
    static QString textoReal(double value);

    // One byte written with up to three attempts, marking each failed one; false when none was
    // acknowledged.
    bool escribeByteMarcado(int address, int value);

private:
    void progreso(void (ProgressView::*f)(const QString &), const QString &text) const;
    ResultadoEnvio interrumpe(ResultadoEnvio resultado, Interrupcion causa, const QString &motivo) const;

    Comunicacion_TZR &m_link;
    const TextLookup &m_textos;
    const Clock &m_clock;
    ProgressView *m_progreso = nullptr;
    MessageView *m_mensajes = nullptr;
    UserArea *m_areaLeida = nullptr;
};
