#include "PortList.h"

#include "SpecialFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>
#include <map>

namespace {

// Wine gives the 8250-style ports the first 32 names; a ttyS beyond them is treated as any
// other device so two devices never share a number.
constexpr int WinePortsForTtyS = 32;

std::map<int, PortList::Port> linkedPorts(const QString &linkFolder)
{
    std::map<int, PortList::Port> ports;
    if (linkFolder.isEmpty())
        return ports;
    static const QRegularExpression linkName(QStringLiteral("^COM([1-9][0-9]{0,5})$"));
    const QDir dir(linkFolder);
    // QDir::System lists dangling links too, so a stale one is skipped here and not silently.
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QRegularExpressionMatch match = linkName.match(entry.fileName());
        if (!match.hasMatch())
            continue;
        // A link whose target is gone is left out: it is what a stand-in that has stopped leaves
        // behind, and listing it would offer a port that cannot open. The target, not the link,
        // is stored so the device's lock file and identity are the same however it is reached.
        const QString target = entry.canonicalFilePath();
        if (target.isEmpty())
            continue;
        const int number = match.captured(1).toInt();
        ports[number] = PortList::Port{QStringLiteral("COM%1").arg(number), number, target};
    }
    return ports;
}

} // namespace

PortList::PortList(const QString &linkFolder, const QStringList &systemDevices)
    : m_linkFolder(linkFolder), m_systemDevices(systemDevices)
{
    std::map<int, Port> byNumber = linkedPorts(linkFolder);

    QStringList linkedDevices;
    for (const auto &[number, port] : byNumber)
        linkedDevices << port.device;

    static const QRegularExpression ttyS(QStringLiteral("^ttyS([0-9]{1,9})$"));
    QStringList devices = systemDevices;
    devices.removeDuplicates();
    std::sort(devices.begin(), devices.end());

    QStringList others;
    std::map<int, Port> automatic;
    for (const QString &device : std::as_const(devices)) {
        const QRegularExpressionMatch match = ttyS.match(QFileInfo(device).fileName());
        const int index = match.hasMatch() ? match.captured(1).toInt() : WinePortsForTtyS;
        if (index < WinePortsForTtyS)
            automatic[index + 1] = Port{QStringLiteral("COM%1").arg(index + 1), index + 1, device};
        else
            others << device;
    }
    // Numbered before the linked devices are taken out, so adding a link for one adapter does
    // not renumber the others.
    for (int i = 0; i < others.size(); ++i) {
        const int number = FirstOtherPort + i;
        automatic[number] = Port{QStringLiteral("COM%1").arg(number), number, others.at(i)};
    }

    for (const auto &[number, port] : automatic) {
        // A link names its device explicitly: it wins over the automatic name with its number,
        // and a device it names gets no second, automatic name.
        const QString canonical = QFileInfo(port.device).canonicalFilePath();
        if (byNumber.count(number) != 0 || linkedDevices.contains(port.device) ||
            (!canonical.isEmpty() && linkedDevices.contains(canonical)))
            continue;
        byNumber[number] = port;
    }

    for (const auto &[number, port] : byNumber)
        m_ports << port;
}

QString PortList::defaultLinkFolder()
{
    return SpecialFolder::korvelFolder() + QStringLiteral("/ports");
}

PortList PortList::system()
{
    QStringList devices;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        devices << info.systemLocation();
    PortList list(defaultLinkFolder(), devices);
    list.m_fromSystem = true;
    return list;
}

void PortList::rescan()
{
    *this = m_fromSystem ? system() : PortList(m_linkFolder, m_systemDevices);
}

QStringList PortList::names() const
{
    QStringList result;
    for (const Port &port : m_ports)
        result << port.name;
    return result;
}

QString PortList::deviceFor(const QString &comName) const
{
    for (const Port &port : m_ports) {
        if (port.name.compare(comName.trimmed(), Qt::CaseInsensitive) == 0)
            return port.device;
    }
    return {};
}
