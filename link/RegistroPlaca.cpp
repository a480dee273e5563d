#include "RegistroPlaca.h"

#include "Comunicacion_TZR.h"
#include "TzrError.h"

RegistroPlaca registroVacio()
{
    RegistroPlaca r;
    r.fill(FIN_TRAMA);
    return r;
}

bool sameFields(const RegistroPlaca &a, const RegistroPlaca &b)
{
    for (int i = 0; i < TAM_REGISTRO; ++i) {
        if (i != OFS_BYTE42 && i != OFS_BYTE43 && a[i] != b[i])
            return false;
    }
    return true;
}

QChar Digito_Hex(int value)
{
    if (value >= 1 && value <= 9)
        return QChar('0' + value);
    if (value >= 10 && value <= 15)
        return QChar('A' + value - 10);
    return QChar('0');
}

int Valor_Hex(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '1' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return 0;
}

int tipoLectorDeByte(int value, bool valida)
{
    if (!valida)
        return 0;
    if (value == 0)
        return 1;
    if (value == 1)
        return 2;
    return 0;
}

int longitudTecladoDeByte(int value, bool valida)
{
    if (valida && (value == 4 || value == 5))
        return value;
    return 6;
}

QString Copia_Campo(const QString &text, int width)
{
    return text.left(width).leftJustified(width, QLatin1Char(' '));
}

static QString bytesATexto(const RegistroPlaca &v, int from, int count)
{
    QString s;
    s.reserve(count);
    for (int i = from; i < from + count; ++i)
        s += QChar(v[i] & 0xFF);
    return s;
}

QString invierteGrupos(const QString &code)
{
    QString out;
    out.reserve(code.size());
    for (qsizetype i = code.size() - 2; i >= 0; i -= 2)
        out += code.mid(i, 2);
    if (code.size() % 2)
        out += code.left(1);
    return out;
}

FichaUsuario Decodifica_Registro(const RegistroPlaca &v, int tipo_lector)
{
    FichaUsuario f;
    f.nombre = bytesATexto(v, 0, 16);
    f.linea2 = bytesATexto(v, OFS_LINEA2, 16);
    f.byte43 = v[OFS_BYTE43];
    const auto hi = [](int x) { return (x >> 4) & 0x0F; };
    const auto lo = [](int x) { return x & 0x0F; };
    f.call = QString() + Digito_Hex(hi(v[16])) + Digito_Hex(lo(v[16])) + Digito_Hex(hi(v[17])) +
             Digito_Hex(lo(v[17]));
    f.tzr = QString() + Digito_Hex(lo(v[18])) + Digito_Hex(hi(v[19])) + Digito_Hex(lo(v[19]));
    const int b20 = v[OFS_CODIGO];
    f.tipo = (b20 >= 0x30 && b20 <= 0x3F) ? 0 : tipo_lector;
    f.codigo = QString(10, QLatin1Char(' '));
    if (f.tipo == 0) {
        for (int i = 0; i < 6; ++i) {
            const int b = v[OFS_CODIGO + i];
            QChar c('0');
            if (b >= 0x30 && b <= 0x39)
                c = QChar(b);
            else if (b == 0x3A)
                c = QChar('A');
            else if (b == 0x3B)
                c = QChar('B');
            f.codigo[i] = c;
        }
    } else {
        QString hex;
        for (int i = 21; i <= 25; ++i)
            hex += QString() + Digito_Hex(hi(v[i])) + Digito_Hex(lo(v[i]));
        f.codigo = f.tipo == 2 ? invierteGrupos(hex) : hex;
    }
    f.linea2_on = v[OFS_LINEA2_ON] == MARCA_ON ? QStringLiteral("X") : QStringLiteral(" ");
    return f;
}

static int digito(QChar c, const char *campo)
{
    if (c < QLatin1Char('0') || c > QLatin1Char('9'))
        throw ConversionError(QStringLiteral("'%1' is not a valid digit in %2").arg(c).arg(QLatin1String(campo)));
    return c.unicode() - '0';
}

RegistroPlaca Codifica_Registro(const FichaUsuario &f, int tipo_lector)
{
    RegistroPlaca v = registroVacio();
    const QString nombre = Copia_Campo(f.nombre, 16);
    const QString linea2 = Copia_Campo(f.linea2, 16);
    for (int i = 0; i < 16; ++i) {
        v[i] = nombre[i].unicode() & 0xFF;
        v[OFS_LINEA2 + i] = linea2[i].unicode() & 0xFF;
    }
    const QString call = Copia_Campo(f.call, 4);
    const QString tzr = Copia_Campo(f.tzr, 3);
    v[16] = digito(call[0], "CALL") * 16 + digito(call[1], "CALL");
    v[17] = digito(call[2], "CALL") * 16 + digito(call[3], "CALL");
    v[18] = digito(tzr[0], "TZR");
    v[19] = digito(tzr[1], "TZR") * 16 + digito(tzr[2], "TZR");

    QString codigo = Copia_Campo(f.codigo, 10);
    const int c = 10 - static_cast<int>(codigo.count(QLatin1Char(' ')));
    if (c <= 6) {
        for (int i = 0; i < 6; ++i) {
            const QChar ch = codigo[i];
            int b = 0x3A;
            if (ch >= QLatin1Char('0') && ch <= QLatin1Char('9'))
                b = ch.unicode();
            else if (ch == QLatin1Char('B'))
                b = 0x3B;
            v[OFS_CODIGO + i] = b;
        }
    } else {
        if (c < 10) {
            if (tipo_lector == 1) {
                for (int i = c; i < 10; ++i)
                    codigo[i] = QLatin1Char('0');
            }
            else if (tipo_lector == 2)
                codigo = codigo.left(c).rightJustified(10, QLatin1Char('0'));
        }
        v[OFS_CODIGO] = 0;
        for (int k = 0; k < 5; ++k)
            v[21 + k] = Valor_Hex(codigo[2 * k]) * 16 + Valor_Hex(codigo[2 * k + 1]);
    }
    v[OFS_LINEA2_ON] = f.linea2_on == QLatin1String("X") ? MARCA_ON : 0;
    return v;
}

FichaUsuario Fila_a_Ficha(const FilaUsuario &fila, int posicion, int tipo_lector)
{
    FichaUsuario f;
    f.indice = posicion;
    f.nombre = Copia_Campo(fila.NOMBRE, 16);
    f.call = Copia_Campo(fila.CALL, 4);
    f.tzr = Copia_Campo(fila.TZR, 3);
    f.codigo = Copia_Campo(fila.CODIGO, 10);
    f.linea2 = Copia_Campo(fila.LINEA2, 16);
    f.linea2_on = fila.LINEA2_ON.size() == 1 ? QStringLiteral("X") : QStringLiteral(" ");
    if (tipo_lector == 2 && fila.CODIGO.size() > 6) {
        QString code = fila.CODIGO.left(10);
        if (code.size() < 10)
            code = code.rightJustified(10, QLatin1Char('0'));
        f.codigo = invierteGrupos(code);
    }
    return f;
}

QString claveTipoCode(int tipo)
{
    switch (tipo) {
    case 1:
        return QStringLiteral("K_TARJETA");
    case 2:
        return QStringLiteral("K_LLAVE");
    default:
        return QStringLiteral("K_TECLADO");
    }
}

QString textoTipoCodePorDefecto(int tipo)
{
    switch (tipo) {
    case 1:
        return QStringLiteral("Card");
    case 2:
        return QStringLiteral("Button");
    default:
        return QStringLiteral("Keypad");
    }
}

FilaUsuario fichaAFila(const FichaUsuario &f, const QString &kindText)
{
    FilaUsuario r;
    r.NOMBRE = f.nombre;
    r.CALL = f.call;
    r.TZR = f.tzr;
    r.CODIGO = f.codigo;
    r.LINEA2 = f.linea2;
    r.LINEA2_ON = f.linea2_on;
    r.TIPO_CODE = kindText;
    return r;
}
