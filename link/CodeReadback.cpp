#include "CodeReadback.h"

#include "Comunicacion_TZR.h"
#include "Transferencias.h"

#include <algorithm>

namespace {

constexpr int BYTES_CODIGO = 6; // bytes 20 to 25

// True when the slot holds what was meant; the bytes read go into leida.
bool leeSlot(Comunicacion_TZR &link, int placa, int slot, const UserArea &esperado, UserArea *leida)
{
    const int pos = direccionSlot(slot);
    const bool enUso = esperado.inUse(slot);
    RegistroPlaca registro = esperado.record(slot);
    bool igual = true;
    for (int k = 0; k < (enUso ? BYTES_CODIGO : 1); ++k) {
        int valor = 0;
        if (!link.Lee_Byte(placa, pos + OFS_CODIGO + k, valor)) {
            igual = false;
            break;
        }
        if (registro[OFS_CODIGO + k] != valor)
            igual = false;
        registro[OFS_CODIGO + k] = valor;
    }
    if (leida && enUso) {
        if (igual)
            leida->setRecord(slot, registro);
        else
            leida->clear(slot); // not known: a later comparison must not take it as kept
    }
    return igual;
}

} // namespace

RelecturaCodigos Relee_Codigos(Comunicacion_TZR &link, Transferencias &transferencias, const QList<int> &written,
                               const UserArea &esperado, UserArea *leida)
{
    RelecturaCodigos r;
    const int placa = link.placaActual();
    QList<int> distintos;
    for (int slot : written) {
        if (!leeSlot(link, placa, slot, esperado, leida))
            distintos << slot;
    }
    if (!distintos.isEmpty()) {
        link.printDebug(QStringLiteral("Relee_Codigos: Reintentamos %1 posiciones").arg(distintos.size()));
        for (int slot : distintos) {
            if (esperado.inUse(slot))
                transferencias.Escribe_Registro(esperado.record(slot), slot + 1);
            else
                transferencias.escribeByteMarcado(direccionSlot(slot) + OFS_CODIGO, SLOT_VACIO);
            r.reescritos << slot;
            if (!leeSlot(link, placa, slot, esperado, leida))
                r.distintos << slot;
        }
    }
    QStringList nombres;
    for (int slot : r.distintos)
        nombres << QString::number(slot + 1);
    link.printDebug(QStringLiteral("Relee_Codigos: Fin - Posiciones leidas: %1 - Distintas: %2")
                        .arg(written.size())
                        .arg(nombres.isEmpty() ? QStringLiteral("0") : nombres.join(QLatin1Char(' '))));
    return r;
}
