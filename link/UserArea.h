#pragma once

#include "RegistroPlaca.h"
#include "Transferencias.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include <array>
#include <optional>

// The user area of a board as far as it is known: for each of the 350 slots whether it is in
// use (byte 20 other than 0xFF) and, for a slot in use, its 45 bytes. The other bytes of an empty
// slot are not known and never compared.
class UserArea
{
public:
    UserArea();

    bool inUse(int slot) const { return m_slots.at(slot)[OFS_CODIGO] != SLOT_VACIO; }
    const RegistroPlaca &record(int slot) const { return m_slots.at(slot); }
    // A record whose byte 20 is 0xFF leaves the slot empty.
    void setRecord(int slot, const RegistroPlaca &record);
    void clear(int slot);
    int users() const;

    // What a full send of these records leaves on a board: slots 0 to n - 1 hold them, every
    // other slot is empty.
    static UserArea fromRecords(const QList<RegistroEnvio> &records);

    // Same slots in use with the same 45 bytes each.
    bool operator==(const UserArea &other) const;

    // 350 one-byte flags, then the 45 bytes of each slot in use, in slot order. A record holding
    // FIN_TRAMA cannot be written; such an area is incomplete and must not be stored.
    QByteArray toBytes() const;
    static std::optional<UserArea> fromBytes(const QByteArray &bytes);
    bool complete() const;

private:
    std::array<RegistroPlaca, MAX_USUARIOS> m_slots;
};

// The user area a board had when it and a data file last agreed, remembered per board number.
struct SyncImage
{
    int placa = -1;
    QDateTime momento; // UTC
    UserArea area;

    QByteArray toBytes() const;
    // nullopt for anything not written by toBytes (a damaged record counts as no image).
    static std::optional<SyncImage> fromBytes(const QByteArray &bytes);
};
