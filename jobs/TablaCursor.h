#pragma once

#include "TablaTransferencia.h"
#include "TableCursor.h"

// The transfers' own handle on a data file, through the table engine's second handle.
class TablaCursor : public TablaTransferencia
{
public:
    // Raises TzrError when the family cannot be opened.
    TablaCursor(const QString &directorio, const QString &nombre);
    ~TablaCursor() override;

    QList<FilaUsuario> filasEnOrden(bool porNombre) override;
    QList<bool> expiredAmong(const QList<FilaUsuario> &rows, const QDate &today) override;
    void comenzar() override;
    void confirmar() override;
    void deshacer() override;
    void Vacia_Tabla() override;
    void inserta(const FilaUsuario &fila) override;

private:
    TableCursor m_cursor;
};
