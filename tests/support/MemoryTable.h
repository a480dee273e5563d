#pragma once

#include "TablaTransferencia.h"
#include "TzrError.h"

#include <algorithm>

// A users table in memory with real transaction semantics, failing on cue.
class MemoryTable : public TablaTransferencia
{
public:
    QList<FilaUsuario> filas() const { return m_rows; }
    void setFilas(const QList<FilaUsuario> &rows) { m_rows = rows; }
    // The n-th insert (from 1) raises an error.
    void failOnInsert(int n) { m_failOnInsert = n; }
    bool inTransaction() const { return m_inTransaction; }

    QList<FilaUsuario> filasEnOrden(bool porNombre) override
    {
        QList<FilaUsuario> rows = m_rows;
        if (porNombre)
            std::stable_sort(rows.begin(), rows.end(),
                             [](const FilaUsuario &a, const FilaUsuario &b) { return a.NOMBRE < b.NOMBRE; });
        return rows;
    }
    void comenzar() override
    {
        m_saved = m_rows;
        m_inTransaction = true;
    }
    void confirmar() override { m_inTransaction = false; }
    void deshacer() override
    {
        m_rows = m_saved;
        m_inTransaction = false;
    }
    void Vacia_Tabla() override { m_rows.clear(); }
    void inserta(const FilaUsuario &fila) override
    {
        if (++m_inserts == m_failOnInsert)
            throw TzrError(QStringLiteral("disk full"));
        FilaUsuario stored = fila;
        // The table drops trailing spaces on storing.
        for (QString *s : {&stored.NOMBRE, &stored.CALL, &stored.TZR, &stored.CODIGO, &stored.LINEA2,
                           &stored.LINEA2_ON, &stored.TIPO_CODE}) {
            while (s->endsWith(QLatin1Char(' ')))
                s->chop(1);
        }
        m_rows.append(stored);
    }

private:
    QList<FilaUsuario> m_rows;
    QList<FilaUsuario> m_saved;
    bool m_inTransaction = false;
    int m_inserts = 0;
    int m_failOnInsert = -1;
};
