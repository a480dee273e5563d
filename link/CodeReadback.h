#pragma once

#include "UserArea.h"

#include <QList>

class Comunicacion_TZR;
class Transferencias;

// What the board holds in bytes 20 to 25 (the access code, and byte 20 whether the slot is in
// use) of slots just written, against what was meant. An acknowledgement only says a frame
// arrived; these bytes decide who gets in, so a send that claims them reads them back.
struct RelecturaCodigos
{
    // Slots that do not hold what was meant, or could not be read in three attempts.
    QList<int> distintos;
    // Slots rewritten because the first reading found them different.
    QList<int> reescritos;
    bool igual() const { return distintos.isEmpty(); }
};

// Reads back bytes 20 to 25 of every slot written (byte 20 alone for a slot meant empty, the only
// byte that empties it); a slot that differs is written again once and read again. leida, when
// given, takes the bytes as read into the records of the slots in use. Stop and a lost port raise
// as in every exchange.
RelecturaCodigos Relee_Codigos(Comunicacion_TZR &link, Transferencias &transferencias, const QList<int> &written,
                               const UserArea &esperado, UserArea *leida = nullptr);
