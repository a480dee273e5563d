#pragma once

#include "RegistroPlaca.h"

#include <QList>

// The users table as the transfers see it: their own handle on the data file while the grid's
// dataset is closed. Errors are raised as TzrError.
class TablaTransferencia
{
public:
    virtual ~TablaTransferencia() = default;
    // Every row in the walk order of a send: by name when ordered, else the table's own order.
    virtual QList<FilaUsuario> filasEnOrden(bool porNombre) = 0;
    // A receive replaces the rows in one transaction, so a failed one leaves the old rows.
    virtual void comenzar() = 0;
    virtual void confirmar() = 0;
    virtual void deshacer() = 0;
    virtual void Vacia_Tabla() = 0;
    // Inserts and posts one row, bypassing the grid's entry rules.
    virtual void inserta(const FilaUsuario &fila) = 0;
};
