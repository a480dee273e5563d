#include "PortsCommand.h"

#include "Failure.h"
#include "BoardContext.h"
#include "TzrTool.h"

#include <QJsonArray>
#include <QJsonObject>

int PortsCommand::execute()
{
    const BoardContext::KnownPorts known = BoardContext::knownPorts(m_korvel + QStringLiteral("/TZR_USR.ini"));
    if (m_options.json) {
        QJsonArray array;
        for (const PortList::Port &p : known.serial)
            array << QJsonObject{{QStringLiteral("name"), p.name},
                                 {QStringLiteral("number"), p.number},
                                 {QStringLiteral("device"), p.device}};
        for (const NetworkPortList::Entry &e : known.network)
            array << QJsonObject{{QStringLiteral("name"), e.name}, {QStringLiteral("address"), e.address}};
        printJson(array);
    } else {
        for (const PortList::Port &p : known.serial)
            m_out << p.name << '\t' << p.device << '\n';
        for (const NetworkPortList::Entry &e : known.network)
            m_out << e.name << '\t' << e.address << '\n';
        m_out.flush();
    }
    return TzrTool::Success;
}
