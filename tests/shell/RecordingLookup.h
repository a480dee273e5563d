#pragma once

#include "TextLookup.h"

#include <QStringList>

// Answers every key with its fall-back and remembers what was asked, in order.
class RecordingLookup : public TextLookup
{
public:
    QString texto(const QString &key, const QString &fallback) const override
    {
        m_claves.append(key);
        m_fallos.append(fallback);
        return fallback;
    }
    QString seccion() const override { return QStringLiteral("ENGLISH"); }

    QStringList claves() const { return m_claves; }
    QStringList fallos() const { return m_fallos; }

private:
    mutable QStringList m_claves;
    mutable QStringList m_fallos;
};
