#pragma once

#include "ProfileFile.h"
#include "TextLookup.h"

// The language file read in one section, the configured IDIOMA, for the command-line tool.
class LanguageTexts : public TextLookup
{
public:
    LanguageTexts(const QString &languageFile, const QString &section)
        : m_file(languageFile), m_section(section)
    {
    }
    QString texto(const QString &key, const QString &fallback) const override
    {
        return m_file.readString(m_section, key, fallback);
    }
    QString seccion() const override { return m_section; }

private:
    ProfileFile m_file;
    QString m_section;
};
