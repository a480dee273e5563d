#pragma once

#include <QList>
#include <QString>

// Named network ports ("NET1" = "rfc2217://10.0.4.20:4001"), kept in TZR_USR.ini in a section
// of their own so section "TZR" keeps its four keys. A removed port is stored empty: the file
// format has no deletion.
class NetworkPortList
{
public:
    struct Entry
    {
        QString name;
        QString address;
    };

    explicit NetworkPortList(const QString &iniPath) : m_path(iniPath) {}

    // The ports with a valid name and address, in file order.
    QList<Entry> entries() const;
    // The address of a named port, empty when there is none.
    QString addressFor(const QString &name) const;
    bool contains(const QString &name) const { return !addressFor(name).isEmpty(); }

    // Raises TzrError for a name or address that cannot be kept, IoError when the file cannot be
    // written.
    void set(const QString &name, const QString &address);
    void remove(const QString &name);

    // A name is letters, digits, "-" and "_", starting with a letter, and never a "COM<n>"
    // name, which belongs to the serial ports.
    static bool validName(const QString &name);
    // tcp://HOST:PORT or rfc2217://HOST:PORT, as set() keeps it.
    static bool validAddress(const QString &address);

    static inline const QString Section = QStringLiteral("NetworkPorts");

private:
    QString m_path;
};
