#include "ContraPlaca.h"

#include "Comunicacion_TZR.h"
#include "RegistroPlaca.h"

QString codigoFijo(QChar letra)
{
    return letra == QLatin1Char('P') ? QStringLiteral("73518") : QStringLiteral("40962");
}

int direccionMarca(QChar letra)
{
    return letra == QLatin1Char('P') ? DIR_MARCA_PROGRAMACION : DIR_MARCA_MAESTRO;
}

int direccionCodigo(QChar letra)
{
    return letra == QLatin1Char('P') ? DIR_CODIGO_PROGRAMACION : DIR_CODIGO_MAESTRO;
}

QChar caracterCodigo(int value)
{
    if (value >= 0x30 && value <= 0x39)
        return QChar(value);
    if (value == 0x3A)
        return QLatin1Char('A');
    if (value == 0x3B)
        return QLatin1Char('B');
    return QLatin1Char('0');
}

int byteCodigo(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode();
    if (c == QLatin1Char('A'))
        return 0x3A;
    if (c == QLatin1Char('B'))
        return 0x3B;
    return 0x30;
}

CodigoLeido ContraPlaca::leeCodigo(QChar letra)
{
    CodigoLeido r;
    const int primera = direccionCodigo(letra);
    for (int i = 0; i < LONGITUD_CODIGO; ++i) {
        int value = 0;
        const bool ok = m_link.Lee_Byte(m_link.placaActual(), primera + i, value);
        r.contra_placa += ok ? caracterCodigo(value) : QLatin1Char('0');
        if (!ok)
            r.completo = false;
    }
    return r;
}

MarcaLeida ContraPlaca::Lee_Marca_Contra(QChar letra)
{
    MarcaLeida r;
    int value = 0;
    r.valida = m_link.Lee_Byte(m_link.placaActual(), direccionMarca(letra), value);
    r.puesta = r.valida && value == MARCA_ON;
    return r;
}

bool ContraPlaca::verifica(const MarcaLeida &marca, const CodigoLeido &codigo, const QString &contra_tecleada,
                           const QString &textoActual, QChar letra)
{
    if (!marca.valida)
        return false;
    if (marca.puesta)
        return codigo.completo && codigo.contra_placa == contra_tecleada;
    return textoActual == codigoFijo(letra);
}

bool ContraPlaca::Comprueba_Marca_Contra(QChar letra)
{
    const int address = direccionMarca(letra);
    for (int intento = 0; intento < INTENTOS; ++intento) {
        m_link.Intercambio(CMD_LEER, payload({(address >> 8) & 0xFF, address & 0xFF}), m_link.placaActual());
        if (!m_link.respuesta_valida())
            return false;
        if (m_link.valorLeido() == MARCA_ON)
            return true;
    }
    return false;
}
