#include "TablaCursor.h"

#include "EndDates.h"
#include "UsersTableRules.h"

using namespace Campo;

TablaCursor::TablaCursor(const QString &directorio, const QString &nombre)
{
    m_cursor.open(directorio, nombre);
}

TablaCursor::~TablaCursor()
{
    m_cursor.close();
}

QList<FilaUsuario> TablaCursor::filasEnOrden(bool porNombre)
{
    m_cursor.setIndexName(porNombre ? QString(INDICE_NOMBRE) : QString());
    QList<FilaUsuario> rows;
    rows.reserve(m_cursor.recordCount());
    for (m_cursor.first(); !m_cursor.eof(); m_cursor.next()) {
        FilaUsuario f;
        f.NOMBRE = m_cursor.value(NOMBRE);
        f.CALL = m_cursor.value(CALL);
        f.TZR = m_cursor.value(TZR);
        f.CODIGO = m_cursor.value(CODIGO);
        f.LINEA2 = m_cursor.value(LINEA2);
        f.LINEA2_ON = m_cursor.value(LINEA2_ON);
        f.TIPO_CODE = m_cursor.value(TIPO_CODE);
        rows.append(f);
    }
    return rows;
}

void TablaCursor::comenzar()
{
    m_cursor.begin();
}

void TablaCursor::confirmar()
{
    m_cursor.commit();
}

void TablaCursor::deshacer()
{
    if (m_cursor.inTransaction())
        m_cursor.rollback();
}

void TablaCursor::Vacia_Tabla()
{
    m_cursor.first();
    const int n = m_cursor.recordCount();
    for (int i = 0; i < n; ++i)
        m_cursor.deleteCurrent();
    m_cursor.refresh();
}

void TablaCursor::inserta(const FilaUsuario &fila)
{
    m_cursor.insert();
    m_cursor.setValue(NOMBRE, fila.NOMBRE);
    m_cursor.setValue(CALL, fila.CALL);
    m_cursor.setValue(TZR, fila.TZR);
    m_cursor.setValue(CODIGO, fila.CODIGO);
    m_cursor.setValue(LINEA2, fila.LINEA2);
    m_cursor.setValue(LINEA2_ON, fila.LINEA2_ON);
    m_cursor.setValue(TIPO_CODE, fila.TIPO_CODE);
    m_cursor.post();
}

QList<bool> TablaCursor::expiredAmong(const QList<FilaUsuario> &rows, const QDate &today)
{
    const EndDates dates = EndDates::load(m_cursor);
    QList<bool> expired;
    expired.reserve(rows.size());
    for (const FilaUsuario &row : rows)
        expired << EndDates::expired(dates.dateOf(row.NOMBRE, row.CODIGO), today);
    return expired;
}
