#pragma once

#include <QString>

#include <chrono>
#include <optional>

// A port reached over the network: "tcp://HOST:PORT" (raw bytes, the device server keeps its own
// line settings) or "rfc2217://HOST:PORT" (Telnet with the COM-PORT-CONTROL option, the line
// settings are set from here). An optional "?margin=MS" fixes the extra reply time instead of
// the round trip measured while connecting.
struct NetworkAddress
{
    enum class Kind
    {
        Tcp,
        Rfc2217
    };
    Kind kind = Kind::Tcp;
    QString host;
    quint16 port = 0;
    std::optional<std::chrono::milliseconds> margin;

    // nullopt for anything that is not a complete address of a known kind.
    static std::optional<NetworkAddress> parse(const QString &text);
    // Whether text starts like an address ("scheme://"), complete or not.
    static bool looksLikeAddress(const QString &text);
    QString toString() const;

    // The most a margin may add to the reply time.
    static constexpr std::chrono::milliseconds MaxMargin{10000};
};
