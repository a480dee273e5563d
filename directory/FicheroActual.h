#pragma once

#include <QString>

// The working directory and the file name of the open data file, shared by the file commands,
// the transfers and the configuration.
class FicheroActual
{
public:
    // The folder of the current data file, ending in the platform's separator once a file was
    // chosen (the configured value is kept as read until then).
    QString Directorio_Trabajo() const { return m_directorio; }
    void setDirectorio_Trabajo(const QString &directory) { m_directorio = directory; }
    // File name with extension, without directory ("users.db"); empty while none was chosen.
    QString Nombre_Tabla() const { return m_nombre; }
    void setNombre_Tabla(const QString &name) { m_nombre = name; }

private:
    QString m_directorio;
    QString m_nombre;
};
