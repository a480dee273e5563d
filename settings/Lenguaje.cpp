#include "Lenguaje.h"

#include <utility>

Lenguaje::Lenguaje(const QString &Fichero_Lenguaje, std::function<QString()> idioma)
    : m_ruta(Fichero_Lenguaje), m_fichero(Fichero_Lenguaje), m_idioma(std::move(idioma))
{
}

QString Lenguaje::texto(const QString &key, const QString &fallback) const
{
    const QString seccionActual = seccion();
    // An empty IDIOMA names no section at all, so every text falls back.
    if (seccionActual.isEmpty())
        return fallback;
    return m_fichero.readString(seccionActual, key, fallback);
}

QString Lenguaje::seccion() const
{
    return m_idioma ? m_idioma() : QString();
}

QStringList Lenguaje::textoEnTodas(const QString &key) const
{
    QStringList textos;
    for (const QString &s : m_fichero.sections()) {
        const QString t = m_fichero.readString(s, key, QString());
        if (!t.isEmpty())
            textos << t;
    }
    return textos;
}
