#pragma once

#include <QString>

// nombre without its last three characters ("/x/users.db" gives "/x/users"); empty for a name
// of three characters or fewer.
QString Quita_Extension(const QString &nombre);
// The characters up to and including the last separator at the second position or later; empty
// when there is none.
QString Extrae_Directorio(const QString &ruta);
// The characters after the last separator at the second position or later; empty when there is
// none.
QString Extrae_Fichero(const QString &ruta);
// directorio followed by nombre, with one separator between them when directorio lacks it.
QString Une_Ruta(const QString &directorio, const QString &nombre);
