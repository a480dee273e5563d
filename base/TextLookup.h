#pragma once

#include <QString>
#include <QStringList>

// Texts by key in the chosen language; lower layers get the texts they show or store through it.
class TextLookup
{
public:
    virtual ~TextLookup() = default;
    // The value of key in the current language section, or fallback when file, section or key is
    // missing. A key present with an empty value gives the empty text.
    virtual QString texto(const QString &key, const QString &fallback) const = 0;
    // The name of the current language section (the configured IDIOMA).
    virtual QString seccion() const = 0;
    // The key's text in every language the file holds, for recognising a text stored under an
    // earlier choice of language. Only the current one where there is no file.
    virtual QStringList textoEnTodas(const QString &key) const { return {texto(key, QString())}; }
};
