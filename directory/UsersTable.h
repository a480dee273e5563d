#pragma once

#include "DataFileLock.h"
#include "Table.h"
#include "TableDescription.h"

#include <functional>

class FicheroActual;

// The grid's dataset Table1 on the current data file, with the users table's rules attached:
// the insert limit, the zero filling and checks before a post, and the display of CODIGO.
class UsersTable
{
public:
    // The width of TIPO_CODE, room for the kind names of every language.
    static constexpr int ANCHO_TIPO_CODE = 20;

    explicit UsersTable(FicheroActual &fichero);

    Table &Table1() { return m_table; }
    const Table &Table1() const { return m_table; }

    // Open: closes Table1, points it at Directorio_Trabajo + Nombre_Tabla, opens it (TzrError
    // when it cannot; it then stays closed) and attaches codigoGetText. Close: closes Table1.
    void Activa_Tabla(bool abrir);
    // The data file stays locked from its first opening until cierraFichero or the opening of
    // another file, across the closings and openings of a transfer; an opening raises
    // DataFileBusy (and leaves Table1 closed) when another program holds the file.
    void cierraFichero();
    // The other program holding the data file at path, when one does (this table's own lock is
    // none).
    std::optional<DataFileLock::Holder> otroTitular(const QString &path) const;
    // Called after every Activa_Tabla, opened or not, so that views over Table1 follow at once
    // when a transfer reopens it through another handle.
    void setAlActivar(std::function<void()> aviso) { m_alActivar = std::move(aviso); }
    // ToolOrden down orders Table1 by name (index "I_NOMBRE"), up by its own order. The choice
    // stays over closing and opening; an engine error is ignored.
    void ToolOrdenClick(bool down);

    // The users table as the template family holds it.
    static TableDescription descripcion();

private:
    FicheroActual *m_fichero = nullptr;
    Table m_table;
    DataFileLock m_lock;
    std::function<void()> m_alActivar;
};
