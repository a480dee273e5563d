#include "NetworkAddress.h"

#include <QRegularExpression>

std::optional<NetworkAddress> NetworkAddress::parse(const QString &text)
{
    // IPv6 literals go in brackets, as in URLs, so the port's colon stays unambiguous.
    static const QRegularExpression pattern(
        QStringLiteral("^(tcp|rfc2217)://"
                       "(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9._-]+):([0-9]{1,5})(?:\\?margin=([0-9]{1,5}))?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    NetworkAddress address;
    address.kind =
        match.captured(1).compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0 ? Kind::Tcp : Kind::Rfc2217;
    address.host = match.captured(2);
    if (address.host.startsWith(QLatin1Char('[')))
        address.host = address.host.mid(1, address.host.size() - 2);
    const int port = match.captured(3).toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    address.port = static_cast<quint16>(port);
    if (match.hasCaptured(4) && !match.captured(4).isEmpty()) {
        const std::chrono::milliseconds margin{match.captured(4).toInt()};
        if (margin > MaxMargin)
            return std::nullopt;
        address.margin = margin;
    }
    return address;
}

bool NetworkAddress::looksLikeAddress(const QString &text)
{
    return text.contains(QLatin1String("://"));
}

QString NetworkAddress::toString() const
{
    const QString scheme = kind == Kind::Tcp ? QStringLiteral("tcp") : QStringLiteral("rfc2217");
    const QString shownHost = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    QString text = QStringLiteral("%1://%2:%3").arg(scheme, shownHost).arg(port);
    if (margin)
        text += QStringLiteral("?margin=%1").arg(margin->count());
    return text;
}
