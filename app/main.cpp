#include "Arranque.h"
#include "Contexto.h"
#include "PortList.h"
#include "QtSerialPort.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    PortList puertos = PortList::system();
    QtSerialPort puerto(puertos);
    Contexto ctx;
    ctx.puertos = &puertos;
    ctx.puerto = &puerto;
    Arranque arranque(ctx);
    return arranque.ejecuta(app);
}
