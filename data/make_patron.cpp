// Writes the template family "Patron" (an empty users table) into the folder given as argument.

#include "TableFamily.h"
#include "TzrError.h"
#include "UsersTable.h"

#include <QDir>
#include <QString>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tzr-make-patron <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    try {
        if (!QDir().mkpath(folder))
            throw TzrError(QStringLiteral("Cannot create the folder %1").arg(folder));
        const QString base = QDir(folder).filePath(QStringLiteral("Patron"));
        TableFamily::remove(base);
        TableFamily::create(base, UsersTable::descripcion());
    } catch (const TzrError &e) {
        std::fprintf(stderr, "tzr-make-patron: %s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
