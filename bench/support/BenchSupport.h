#pragma once

#include "TextLookup.h"

#include <QString>
#include <QStringList>

class StandIn;

// What every benchmark needs besides the code it measures.
namespace bench {

// The texts the link writes in its messages and log, always the English fallbacks.
class EnglishTexts : public TextLookup
{
public:
    QString texto(const QString &, const QString &fallback) const override { return fallback; }
    QString seccion() const override { return QStringLiteral("ENGLISH"); }
};

// One "name: value [unit]" line on standard output, the form the figures are collected in.
void print(const QString &name, double value, const QString &unit = QString());

// Starts the stand-in as COM<port> with these options, its port link in dataHome's Korvel/ports;
// false, with the reason on standard error, when it did not come up.
[[nodiscard]] bool startStandIn(StandIn &sim, const QString &dataHome, int port, const QStringList &options);

} // namespace bench
