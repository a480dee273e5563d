#include "TestPlacas.h"

#include "Comunicacion_TZR.h"
#include "RegistroPlaca.h"
#include "TextLookup.h"

QString Texto_Lector(int tipo)
{
    return textoTipoCodePorDefecto(tipo);
}

int TestPlacas::Lee_Longitud_Placa(int placa)
{
    int value = 0;
    return m_link.Lee_Byte(placa, DIR_LONGITUD_TECLADO, value) ? value : 4;
}

int TestPlacas::Lee_Tipo_Lector(int placa)
{
    int value = 0;
    const bool ok = m_link.Lee_Byte(placa, DIR_TIPO_LECTOR, value);
    return tipoLectorDeByte(value, ok);
}

void TestPlacas::ejecuta(const Vista &vista)
{
    Comunicacion_TZR::Reserva reserva(m_link);
    const QString panel = m_textos.texto(QStringLiteral("SHOW_M1"), QStringLiteral("Panel"));
    const QString longitud = m_textos.texto(QStringLiteral("SHOW_M2"), QStringLiteral("Length Code"));
    m_link.setIntervalo(TIEMPO_RESPUESTA_LENTO);
    m_link.printDebug(QStringLiteral("TF_Test.IniciarClick: Cambiamos TimerRecepcion.Interval a 200"));
    try {
        for (int n = 0; n <= 31; ++n) {
            if (vista.detener && vista.detener())
                continue;
            if (vista.numP)
                vista.numP(n);
            if (m_link.Sondea_Placa(n)) {
                m_link.printDebug(QStringLiteral("TF_Test.IniciarClick: Recibido OK [%1]").arg(n));
                const int len = Lee_Longitud_Placa(n);
                // The reader's name in the chosen language, as the grid names the code kinds.
                const int tipo = Lee_Tipo_Lector(n);
                const QString lector = m_textos.texto(claveTipoCode(tipo), Texto_Lector(tipo));
                if (vista.found)
                    vista.found(BoardFound{n, len, tipo});
                if (vista.linea)
                    vista.linea(panel + QStringLiteral(" : ") + QString::number(n) + QStringLiteral("    ") + longitud +
                                QStringLiteral(" : ") + QString::number(len) + QStringLiteral(" -- ") + lector);
            } else {
                m_link.printDebug(QStringLiteral("TF_Test.IniciarClick: NO Recibido [%1]").arg(n));
            }
        }
    } catch (...) {
        m_link.setIntervalo(TIEMPO_RESPUESTA);
        m_link.printDebug(QStringLiteral("TF_Test.IniciarClick: Cambiamos TimerRecepcion.Interval a 100"));
        throw;
    }
    m_link.setIntervalo(TIEMPO_RESPUESTA);
    m_link.printDebug(QStringLiteral("TF_Test.IniciarClick: Cambiamos TimerRecepcion.Interval a 100"));
}
