#include "NetworkPortList.h"

#include "NetworkAddress.h"
#include "ProfileFile.h"
#include "TzrError.h"

#include <QRegularExpression>

QList<NetworkPortList::Entry> NetworkPortList::entries() const
{
    QList<Entry> result;
    if (m_path.isEmpty())
        return result;
    const ProfileFile file(m_path);
    const QStringList keys = file.keys(Section);
    for (const QString &key : keys) {
        const QString value = file.readString(Section, key, QString()).trimmed();
        if (!validName(key) || !validAddress(value))
            continue;
        bool seen = false;
        for (const Entry &entry : std::as_const(result))
            seen = seen || entry.name.compare(key, Qt::CaseInsensitive) == 0;
        if (!seen)
            result.append(Entry{key.toUpper(), value});
    }
    return result;
}

QString NetworkPortList::addressFor(const QString &name) const
{
    if (m_path.isEmpty() || !validName(name.trimmed()))
        return {};
    const QString value = ProfileFile(m_path).readString(Section, name.trimmed(), QString()).trimmed();
    return NetworkAddress::parse(value) ? value : QString();
}

void NetworkPortList::set(const QString &name, const QString &address)
{
    if (!validName(name))
        throw TzrError(QStringLiteral("'%1' is not a valid network port name").arg(name));
    const auto parsed = NetworkAddress::parse(address);
    if (!parsed)
        throw TzrError(QStringLiteral("'%1' is not a network address").arg(address));
    ProfileFile(m_path).writeString(Section, name.toUpper(), parsed->toString());
}

void NetworkPortList::remove(const QString &name)
{
    if (contains(name))
        ProfileFile(m_path).writeString(Section, name.toUpper(), QString());
}

bool NetworkPortList::validName(const QString &name)
{
    static const QRegularExpression shape(QStringLiteral("^[A-Za-z][A-Za-z0-9_-]{0,31}$"));
    static const QRegularExpression serial(QStringLiteral("^COM[0-9]+$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return shape.match(name).hasMatch() && !serial.match(name).hasMatch();
}

bool NetworkPortList::validAddress(const QString &address)
{
    return NetworkAddress::parse(address).has_value();
}
