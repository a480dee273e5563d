#include "PortsCommand.h"

#include "Failure.h"
#include "NetworkPortList.h"
#include "PortList.h"
#include "TzrTool.h"

#include <QJsonArray>
#include <QJsonObject>

int PortsCommand::execute()
{
    const PortList list = PortList::system();
    const QList<NetworkPortList::Entry> networkPorts =
        NetworkPortList(m_korvel + QStringLiteral("/TZR_USR.ini")).entries();
    if (m_options.json) {
        QJsonArray array;
        for (const PortList::Port &p : list.ports())
            array << QJsonObject{{QStringLiteral("name"), p.name},
                                 {QStringLiteral("number"), p.number},
                                 {QStringLiteral("device"), p.device}};
        for (const NetworkPortList::Entry &e : networkPorts)
            array << QJsonObject{{QStringLiteral("name"), e.name}, {QStringLiteral("address"), e.address}};
        printJson(array);
    } else {
        for (const PortList::Port &p : list.ports())
            m_out << p.name << '\t' << p.device << '\n';
        for (const NetworkPortList::Entry &e : networkPorts)
            m_out << e.name << '\t' << e.address << '\n';
        m_out.flush();
    }
    return TzrTool::Success;
}
