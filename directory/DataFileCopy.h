#pragma once

#include <QString>

class Table;

// Makes the data file destino (its base: Quita_Extension(destino)) a byte copy of the template
// family "Patron" in carpetaPatron. All five files are written aside and moved into place
// together: on IoError (with the system's message) nothing was changed.
void Copia_Patron(const QString &destino, const QString &carpetaPatron);
// The same from the family of the open Table1; does nothing when Table1 is closed.
void Copia_Tabla(const QString &destino, const Table &Table1);
