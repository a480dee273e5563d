#include "DataFilePaths.h"

namespace {

constexpr QChar SEPARADOR = QLatin1Char('/');

// Index of the last separator at position 2 or later (index 1 or later); -1 when none.
qsizetype ultimoSeparador(const QString &ruta)
{
    const qsizetype i = ruta.lastIndexOf(SEPARADOR);
    return i >= 1 ? i : -1;
}

} // namespace

QString Quita_Extension(const QString &nombre)
{
    return nombre.size() > 3 ? nombre.chopped(3) : QString();
}

QString Extrae_Directorio(const QString &ruta)
{
    const qsizetype i = ultimoSeparador(ruta);
    return i < 0 ? QString() : ruta.left(i + 1);
}

QString Extrae_Fichero(const QString &ruta)
{
    const qsizetype i = ultimoSeparador(ruta);
    return i < 0 ? QString() : ruta.mid(i + 1);
}

QString Une_Ruta(const QString &directorio, const QString &nombre)
{
    if (directorio.isEmpty() || directorio.endsWith(SEPARADOR))
        return directorio + nombre;
    return directorio + SEPARADOR + nombre;
}
