#include "TextosContexto.h"

#include "Asigna_Lenguaje.h"

QString TextosContexto::texto(const QString &key, const QString &fallback) const
{
    return textosDe(*m_ctx).texto(key, fallback);
}

QString TextosContexto::seccion() const
{
    return textosDe(*m_ctx).seccion();
}
