#include "TzrTool.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tzr"));
    TzrTool tool;
    return tool.run(QCoreApplication::arguments());
}
