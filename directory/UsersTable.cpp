#include "UsersTable.h"

#include "FicheroActual.h"
#include "TzrError.h"
#include "UsersTableRules.h"

UsersTable::UsersTable(FicheroActual &fichero) : m_fichero(&fichero)
{
    m_table.setBeforeInsert(Table1BeforeInsert);
    m_table.setAfterInsert(Table1AfterInsert);
    m_table.setBeforePost(Table1BeforePost);
    m_table.setAfterDelete(Table1AfterDelete);
}

void UsersTable::Activa_Tabla(bool abrir)
{
    struct Aviso
    {
        const std::function<void()> &aviso;
        ~Aviso()
        {
            if (aviso)
                aviso();
        }
    } aviso{m_alActivar};
    m_table.close();
    if (!abrir)
        return;
    m_table.setDirectory(m_fichero->Directorio_Trabajo());
    m_table.setTableName(m_fichero->Nombre_Tabla());
    m_table.open();
    if (!m_lock.holds(m_table.filePath())) {
        try {
            m_lock.lock(m_table.filePath());
        } catch (...) {
            m_table.close();
            throw;
        }
    }
    m_table.setGetTextHook(Campo::CODIGO, codigoGetText);
}

void UsersTable::cierraFichero()
{
    Activa_Tabla(false);
    m_lock.unlock();
}

std::optional<DataFileLock::Holder> UsersTable::otroTitular(const QString &path) const
{
    if (m_lock.holds(path))
        return std::nullopt;
    return DataFileLock::holderOf(path);
}

void UsersTable::ToolOrdenClick(bool down)
{
    try {
        m_table.setIndexName(down ? QString(INDICE_NOMBRE) : QString());
    } catch (const TzrError &) {
        // A table without the index keeps its order, without a message.
    }
}

TableDescription UsersTable::descripcion()
{
    return TableDescription({{Campo::NOMBRE, 16},
                             {Campo::CALL, 4},
                             {Campo::TZR, 3},
                             {Campo::CODIGO, 10},
                             {Campo::LINEA2, 16},
                             {Campo::LINEA2_ON, 1},
                             {Campo::TIPO_CODE, ANCHO_TIPO_CODE}},
                            INDICE_NOMBRE, Campo::NOMBRE);
}
