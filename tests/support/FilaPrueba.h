#pragma once

#include "RegistroPlaca.h"

// A users-table row for tests, fields in table order.
inline FilaUsuario fila(const QString &nombre, const QString &call, const QString &tzr, const QString &codigo,
                        const QString &linea2 = QString(), const QString &on = QString())
{
    FilaUsuario f;
    f.NOMBRE = nombre;
    f.CALL = call;
    f.TZR = tzr;
    f.CODIGO = codigo;
    f.LINEA2 = linea2;
    f.LINEA2_ON = on;
    return f;
}
