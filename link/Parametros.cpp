#include "Parametros.h"

#include "Comunicacion_TZR.h"
#include "ContraPlaca.h"
#include "RegistroPlaca.h"
#include "TzrError.h"

#include <QHash>

#include <algorithm>
#include <array>

QStringList idiomasPlaca()
{
    return {QStringLiteral("ESPAÑOL"), QStringLiteral("ENGLISH"), QStringLiteral("FRANÇAIS"),
            QStringLiteral("DEUTSCH")};
}

static int numero(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok)
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return n;
}

// A code position read from a board shows the low four bits of its byte, so a damaged byte can
// show "C" to "F", which the board would store as "0".
static bool digitosDeCodigo(const QString &codigo)
{
    for (const QChar c : codigo)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('A') ||
              c == QLatin1Char('B')))
            return false;
    return true;
}

bool Valida_Parametros(const CamposParametros &c, const EtiquetasParametros &e, QString &mensaje)
{
    bool ok = true;
    const auto falla = [&](const QString &label) {
        ok = false;
        mensaje = label;
    };
    try {
        if (c.Edit1.isEmpty())
            falla(e.Label1);
        if (ok) {
            const int n = numero(c.Edit1);
            if (n < 1 || n > 31)
                falla(e.Label1);
        }
        if (c.Edit4.isEmpty())
            falla(e.Label4);
        if (c.Edit3.isEmpty())
            falla(e.Label3);
        if (c.Edit2.isEmpty())
            falla(e.Label2);
        // A value read from a blank board (255) is shown whole and must not go back unchosen.
        if (ok) {
            const int n = numero(c.Edit2);
            if (n < 4 || n > 6)
                falla(e.Label2);
        }
        if (c.Edit5.isEmpty())
            falla(e.Label5);
        if (ok) {
            const int n = numero(c.Edit5);
            if (n < 4 || n > 59)
                falla(e.Label5);
        }
        if (c.Edit6.isEmpty())
            falla(e.Label6);
        if (ok) {
            const int n = numero(c.Edit6);
            if (n < 4 || n > 59)
                falla(e.Label6);
        }
        if (c.Edit7.size() < LONGITUD_CODIGO)
            falla(e.Label9);
        if (ok && (c.Edit7.startsWith(QLatin1Char('B')) || !digitosDeCodigo(c.Edit7)))
            falla(e.Label9);
        if (c.Edit8.size() < LONGITUD_CODIGO)
            falla(e.Label11);
        if (ok && (c.Edit8.startsWith(QLatin1Char('B')) || !digitosDeCodigo(c.Edit8)))
            falla(e.Label11);
        if (ok && c.Edit7 == c.Edit8)
            falla(e.Label9 + QLatin1Char('=') + e.Label11);
    } catch (const ConversionError &) {
        ok = false;
    }
    return ok;
}

bool Parametros::Lee_Byte_Placa(int address, int &value)
{
    return m_link.Lee_Byte(m_link.placaActual(), address, value);
}

bool Parametros::Escribe_Byte_Placa(int address, int value)
{
    return m_link.Escribe_Byte(m_link.placaActual(), address, value);
}

QString Parametros::Lee_Codigo_Placa(QChar letra)
{
    QString code;
    const int primera = direccionCodigo(letra);
    for (int i = 0; i < LONGITUD_CODIGO; ++i) {
        int value = 0;
        if (Lee_Byte_Placa(primera + i, value))
            code += QString::number(value & 0x0F, 16).toUpper();
    }
    return code;
}

void Parametros::Lee_Parametros(CamposParametros &campos, const QString &num_placa, bool &idiomaInvalido)
{
    idiomaInvalido = false;
    campos.Edit1 = num_placa;
    int value = 0;
    if (Lee_Byte_Placa(DIR_LONGITUD_CODIGO, value))
        campos.Edit2 = QString::number(value);
    if (Lee_Byte_Placa(DIR_IDIOMA, value)) {
        if (value >= 0 && value <= 3)
            campos.Edit3 = idiomasPlaca().at(value);
        else
            idiomaInvalido = true;
    }
    const bool valida = Lee_Byte_Placa(DIR_LECTOR, value);
    const int tipo = tipoLectorDeByte(value, valida);
    m_link.setTipo_lector(tipo);
    campos.Edit4 = tipo == 1 ? QStringLiteral("0") : tipo == 2 ? QStringLiteral("1") : QString();
    if (Lee_Byte_Placa(DIR_TIEMPO_A, value))
        campos.Edit5 = QString::number(value);
    if (Lee_Byte_Placa(DIR_TIEMPO_B, value))
        campos.Edit6 = QString::number(value);
    ContraPlaca contra(m_link);
    if (contra.Comprueba_Marca_Contra(QLatin1Char('P')))
        campos.Edit7 = Lee_Codigo_Placa(QLatin1Char('P'));
    if (contra.Comprueba_Marca_Contra(QLatin1Char('M')))
        campos.Edit8 = Lee_Codigo_Placa(QLatin1Char('M'));
}

EscrituraParametros Parametros::Escribe_Parametros(CamposParametros &campos, const EtiquetasParametros &e)
{
    // Marker and characters of both codes, addresses 10 to 21, as they were.
    constexpr int PRIMERA = DIR_MARCA_PROGRAMACION;
    constexpr int CODIGOS = DIR_CODIGO_MAESTRO + LONGITUD_CODIGO - PRIMERA;
    std::array<int, CODIGOS> antes{};
    for (int i = 0; i < CODIGOS; ++i) {
        if (!Lee_Byte_Placa(PRIMERA + i, antes[i]))
            antes[i] = -1;
    }
    QList<std::pair<int, int>> escritos;
    const auto escribe = [&](int address, int value) {
        Escribe_Byte_Placa(address, value);
        escritos.append({address, value});
    };
    escribe(DIR_NUMERO_PANEL, numero(campos.Edit1));
    escribe(DIR_LONGITUD_CODIGO, numero(campos.Edit2));
    campos.Edit3 = campos.Edit3.toUpper();
    const int idioma = static_cast<int>(idiomasPlaca().indexOf(campos.Edit3));
    escribe(DIR_IDIOMA, idioma < 0 ? 1 : idioma);
    escribe(DIR_LECTOR, numero(campos.Edit4));
    escribe(DIR_TIEMPO_A, numero(campos.Edit5));
    escribe(DIR_TIEMPO_B, numero(campos.Edit6));
    escribe(DIR_MARCA_PROGRAMACION, MARCA_ON);
    for (int i = 0; i < LONGITUD_CODIGO; ++i)
        escribe(DIR_CODIGO_PROGRAMACION + i, byteCodigo(i < campos.Edit7.size() ? campos.Edit7[i] : QLatin1Char('0')));
    escribe(DIR_MARCA_MAESTRO, MARCA_ON);
    for (int i = 0; i < LONGITUD_CODIGO; ++i)
        escribe(DIR_CODIGO_MAESTRO + i, byteCodigo(i < campos.Edit8.size() ? campos.Edit8[i] : QLatin1Char('0')));

    // An acknowledgement says only that a frame arrived: what counts is what reads back.
    QHash<int, int> leido;
    for (const auto &[address, value] : escritos) {
        int v = -1;
        if (!Lee_Byte_Placa(address, v) || v != value) {
            Escribe_Byte_Placa(address, value);
            if (!Lee_Byte_Placa(address, v))
                v = -1;
        }
        leido.insert(address, v);
    }
    EscrituraParametros r;
    const QString *nombres[] = {&e.Label1, &e.Label2, &e.Label3, &e.Label4, &e.Label5, &e.Label6};
    for (int i = 0; i < 6; ++i) {
        if (leido.value(escritos[i].first) != escritos[i].second)
            r.noEscritos << *nombres[i];
    }
    const auto codigo = [&](int marca) {
        bool cambiado = true;
        bool comoAntes = true;
        for (int a = marca; a <= marca + LONGITUD_CODIGO; ++a) {
            const auto escrito = std::find_if(escritos.begin(), escritos.end(), [a](const auto &w) { return w.first == a; });
            const int v = leido.value(a, -1);
            cambiado = cambiado && v == escrito->second;
            comoAntes = comoAntes && v >= 0 && v == antes[a - PRIMERA];
        }
        return cambiado    ? EscrituraParametros::Codigo::Cambiado
               : comoAntes ? EscrituraParametros::Codigo::NoCambiado
                           : EscrituraParametros::Codigo::Incierto;
    };
    r.programacion = codigo(DIR_MARCA_PROGRAMACION);
    r.maestro = codigo(DIR_MARCA_MAESTRO);
    return r;
}
