#include "Arranque.h"
#include "Contexto.h"
#include "PortList.h"
#include "QtSerialPort.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    PortList puertos = PortList::system();
    // The list is looked up at each open: the port menu rescans it for adapters plugged in later.
    QtSerialPort puerto([&puertos](const QString &name) { return puertos.deviceFor(name); });
    Contexto ctx;
    ctx.puertos = &puertos;
    ctx.puerto = &puerto;
    Arranque arranque(ctx);
    return arranque.ejecuta(app);
}
