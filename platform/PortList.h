#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The serial ports of the machine under their Windows names, in ascending port number.
//
// First the links "COM<n>" in a links folder (the board stand-in makes one for its pseudo-terminal,
// an installer may add one for an adapter), then the system's serial devices numbered as Wine
// numbers them: /dev/ttyS<k> is COM<k+1>, every other device (USB, ACM...) takes COM33 upwards in
// the order of its device path.
class PortList
{
public:
    struct Port
    {
        QString name;
        int number = 0;
        QString device;
    };

    PortList() = default;
    // systemDevices are device paths such as "/dev/ttyUSB0".
    PortList(const QString &linkFolder, const QStringList &systemDevices);

    // The ports of this machine: links in the "ports" folder of the Korvel folder, devices as
    // QSerialPortInfo lists them.
    static PortList system();
    static QString defaultLinkFolder();

    // Lists the ports again from the same sources: adapters plugged in or out since.
    void rescan();

    const QList<Port> &ports() const { return m_ports; }
    QStringList names() const;
    // The device path behind a port name ("COM5", any letter case), or empty when there is none.
    QString deviceFor(const QString &comName) const;

    static constexpr int FirstOtherPort = 33;

private:
    QList<Port> m_ports;
    QString m_linkFolder;
    QStringList m_systemDevices;
    bool m_fromSystem = false;
};
