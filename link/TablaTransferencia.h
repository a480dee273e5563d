#pragma once

#include "RegistroPlaca.h"

#include <QDate>
#include <QList>

// The users table as the transfers see it: their own handle on the data file while the grid's
// dataset is closed. Errors are raised as TzrError.
class TablaTransferencia
{
public:
    virtual ~TablaTransferencia() = default;
    // Every row in the walk order of a send: by name when ordered, else the table's own order.
    virtual QList<FilaUsuario> filasEnOrden(bool porNombre) = 0;
    // For each of rows, whether the user's access ended before today: a send leaves its slot
    // empty. A table that keeps no end dates ends nobody's.
    virtual QList<bool> expiredAmong(const QList<FilaUsuario> &rows, const QDate &today)
    {
        Q_UNUSED(rows);
        Q_UNUSED(today);
        return {};
    }
    // The rows of a send's walk, each marked whether its slot is left empty; today may be
    // invalid for the PC's date.
    QList<FilaUsuario> rowsForSend(bool porNombre, const QDate &today, QList<bool> &leftOut)
    {
        const QList<FilaUsuario> rows = filasEnOrden(porNombre);
        leftOut = expiredAmong(rows, today.isValid() ? today : QDate::currentDate());
        return rows;
    }
    // A receive replaces the rows in one transaction, so a failed one leaves the old rows.
    virtual void comenzar() = 0;
    virtual void confirmar() = 0;
    virtual void deshacer() = 0;
    virtual void Vacia_Tabla() = 0;
    // Inserts and posts one row, bypassing the grid's entry rules.
    virtual void inserta(const FilaUsuario &fila) = 0;
};
