#pragma once

#include "TextLookup.h"

class Contexto;

// The run's texts as they are when asked: the language file is opened by the main window, after
// the objects that keep this lookup were made.
class TextosContexto : public TextLookup
{
public:
    explicit TextosContexto(const Contexto &ctx) : m_ctx(&ctx) {}

    QString texto(const QString &key, const QString &fallback) const override;
    QString seccion() const override;

private:
    const Contexto *m_ctx = nullptr;
};
