#include "DataFileCopy.h"

#include "DataFilePaths.h"
#include "Table.h"
#include "TableFamily.h"

void Copia_Patron(const QString &destino, const QString &carpetaPatron)
{
    TableFamily::copy(Une_Ruta(carpetaPatron, QStringLiteral("Patron")), Quita_Extension(destino));
}

void Copia_Tabla(const QString &destino, const Table &Table1)
{
    if (!Table1.isOpen())
        return;
    TableFamily::copy(Une_Ruta(Table1.directory(), Quita_Extension(Table1.tableName())),
                      Quita_Extension(destino));
}
