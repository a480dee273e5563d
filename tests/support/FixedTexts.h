#pragma once

#include "TextLookup.h"

#include <QHash>

// Texts for tests: every key falls back unless set.
class FixedTexts : public TextLookup
{
public:
    void set(const QString &key, const QString &value) { m_texts.insert(key.toUpper(), value); }
    void setSeccion(const QString &section) { m_section = section; }
    QString texto(const QString &key, const QString &fallback) const override
    {
        return m_texts.value(key.toUpper(), fallback);
    }
    QString seccion() const override { return m_section; }

private:
    QHash<QString, QString> m_texts;
    QString m_section = QStringLiteral("ENGLISH");
};
