#pragma once

#include "ProfileFile.h"
#include "TextLookup.h"

#include <QString>
#include <functional>

// The language file Fichero_Lenguaje, read-only for the whole run. The section is the configured
// IDIOMA, asked afresh at every lookup so that a change of language applies to the next text.
class Lenguaje : public TextLookup
{
public:
    Lenguaje(const QString &Fichero_Lenguaje, std::function<QString()> idioma);

    QString texto(const QString &key, const QString &fallback) const override;
    QString seccion() const override;
    QStringList textoEnTodas(const QString &key) const override;

    QString Fichero_Lenguaje() const { return m_ruta; }

private:
    QString m_ruta;
    ProfileFile m_fichero;
    std::function<QString()> m_idioma;
};
