#pragma once

#include <QString>

class FicheroActual;

// The four values of TZR_USR.ini that survive between runs. The working directory lives in the
// open data file's FicheroActual; the other three here.
class Configuracion
{
public:
    // carpetaKorvel is the folder of TZR_USR.ini; the program never creates it.
    Configuracion(FicheroActual &fichero, const QString &carpetaKorvel);

    QString ComPort() const { return m_comPort; }
    void setComPort(const QString &value) { m_comPort = value; }
    QString PWD() const { return m_pwd; }
    void setPWD(const QString &value) { m_pwd = value; }
    QString IDIOMA() const { return m_idioma; }
    void setIDIOMA(const QString &value) { m_idioma = value; }

    // Every key with its default when the key or the file is missing; a key present with an empty
    // value gives the empty text.
    void Lee_Configuracion();
    // Writes all four keys, keeping the rest of the file; raises TzrError "Unable to write to
    // <path>" when the folder is missing or not writable.
    void Guarda_Configuracion();

    QString fichero() const { return m_ruta; }

    // A special folder of the current user without its trailing separator, empty when unknown.
    static QString Carpeta_Especial(int folder);

    static constexpr int CSIDL_LOCAL_APPDATA = 28;

private:
    FicheroActual &m_fichero;
    QString m_ruta;
    QString m_comPort;
    QString m_pwd;
    QString m_idioma;
};
