#include "Configuracion.h"

#include "FicheroActual.h"
#include "ProfileFile.h"
#include "SpecialFolder.h"

namespace {
const QString SECCION = QStringLiteral("TZR");
const QString IDIOMA_INICIAL = QStringLiteral("ENGLISH");
} // namespace

Configuracion::Configuracion(FicheroActual &fichero, const QString &carpetaKorvel)
    : m_fichero(fichero), m_ruta(carpetaKorvel + QStringLiteral("/TZR_USR.ini"))
{
}

QString Configuracion::Carpeta_Especial(int folder)
{
    return SpecialFolder::path(folder);
}

void Configuracion::Lee_Configuracion()
{
    const ProfileFile ini(m_ruta);
    m_comPort = ini.readString(SECCION, QStringLiteral("ComPort"), QStringLiteral("1"));
    m_fichero.setDirectorio_Trabajo(
        ini.readString(SECCION, QStringLiteral("TZR_Senda"), SpecialFolder::defaultWorkingDirectory()));
    m_pwd = ini.readString(SECCION, QStringLiteral("PWD"), QStringLiteral("TRUBO"));
    m_idioma = ini.readString(SECCION, QStringLiteral("IDIOMA"), IDIOMA_INICIAL);
}

void Configuracion::Guarda_Configuracion()
{
    if (m_idioma.isEmpty())
        m_idioma = IDIOMA_INICIAL;
    ProfileFile ini(m_ruta);
    ini.writeString(SECCION, QStringLiteral("ComPort"), m_comPort);
    ini.writeString(SECCION, QStringLiteral("TZR_Senda"), m_fichero.Directorio_Trabajo());
    ini.writeString(SECCION, QStringLiteral("PWD"), m_pwd);
    ini.writeString(SECCION, QStringLiteral("IDIOMA"), m_idioma);
}
