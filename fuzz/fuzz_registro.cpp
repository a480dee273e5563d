// The record decoder on any 45 record values a board (or a failed read) can leave: byte 0 of the
// input picks the reader type, the next 45 bytes are the record, and a 6-byte mask after them marks
// bytes that were not read (FIN_TRAMA), as a receive leaves them. A decoded user must have its
// fixed widths, and a row made of it must travel to the board and back unchanged.

#include "Comunicacion_TZR.h"
#include "RegistroPlaca.h"
#include "TzrError.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_registro: invariant broken: %s\n", what);
    std::abort();
}

#define CHECK(cond)                                                                                          \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            fail(#cond);                                                                                     \
    } while (false)

bool allIn(const QString &text, const QString &allowed)
{
    for (QChar c : text) {
        if (!allowed.contains(c))
            return false;
    }
    return true;
}

bool allDigits(const QString &text)
{
    return allIn(text, QStringLiteral("0123456789"));
}

// What the users table does to a row it stores: trailing spaces are not kept.
QString stored(const QString &text)
{
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1) == QLatin1Char(' '))
        --n;
    return text.left(n);
}

FilaUsuario storedRow(const FilaUsuario &r)
{
    FilaUsuario s = r;
    s.NOMBRE = stored(r.NOMBRE);
    s.CALL = stored(r.CALL);
    s.TZR = stored(r.TZR);
    s.CODIGO = stored(r.CODIGO);
    s.LINEA2 = stored(r.LINEA2);
    s.LINEA2_ON = stored(r.LINEA2_ON);
    return s;
}

void checkShape(const FichaUsuario &f, int tipoLector)
{
    CHECK(f.nombre.size() == 16);
    CHECK(f.call.size() == 4);
    CHECK(f.tzr.size() == 3);
    CHECK(f.codigo.size() == 10);
    CHECK(f.linea2.size() == 16);
    CHECK(f.linea2_on == QLatin1String("X") || f.linea2_on == QLatin1String(" "));
    CHECK(f.tipo == 0 || f.tipo == tipoLector);
    const QString hex = QStringLiteral("0123456789ABCDEF");
    CHECK(allIn(f.call, hex));
    CHECK(allIn(f.tzr, hex));
    for (QChar c : f.nombre + f.linea2)
        CHECK(c.unicode() <= 0xFF);
    if (f.tipo == 0) {
        CHECK(allIn(f.codigo.left(6), QStringLiteral("0123456789AB")));
        CHECK(f.codigo.mid(6) == QLatin1String("    "));
    } else {
        CHECK(allIn(f.codigo, hex));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int tipoLector = data[0] % 3;
    RegistroPlaca v;
    v.fill(FIN_TRAMA);
    for (int i = 0; i < TAM_REGISTRO && size_t(1 + i) < size; ++i)
        v[i] = data[1 + i];
    const size_t maskAt = 1 + TAM_REGISTRO;
    for (int i = 0; i < TAM_REGISTRO; ++i) {
        const size_t at = maskAt + size_t(i / 8);
        if (at < size && (data[at] >> (i % 8)) & 1)
            v[i] = FIN_TRAMA;
    }

    const FichaUsuario f = Decodifica_Registro(v, tipoLector);
    checkShape(f, tipoLector);

    // The row a receive stores, read back for a send to a board of the same reader type.
    const FilaUsuario fila = storedRow(fichaAFila(f, QStringLiteral("Keypad")));
    const FichaUsuario salida = Fila_a_Ficha(fila, 0, tipoLector);
    const bool encodable = allDigits(f.call) && allDigits(f.tzr);
    RegistroPlaca r{};
    try {
        r = Codifica_Registro(salida, tipoLector);
    } catch (const ConversionError &) {
        CHECK(!encodable);
        return 0;
    }
    CHECK(encodable);
    for (int i = 0; i < TAM_REGISTRO; ++i) {
        if (i == OFS_BYTE42 || i == OFS_BYTE43)
            CHECK(r[i] == FIN_TRAMA);
        else
            CHECK(r[i] >= 0 && r[i] <= 0xFF);
    }
    // A user received is sent as a slot in use.
    CHECK(r[OFS_CODIGO] != SLOT_VACIO);

    r[OFS_BYTE42] = 0;
    r[OFS_BYTE43] = 0;
    const FichaUsuario again = Decodifica_Registro(r, tipoLector);
    CHECK(again.nombre == f.nombre);
    CHECK(again.call == f.call);
    CHECK(again.tzr == f.tzr);
    CHECK(again.codigo == f.codigo);
    CHECK(again.linea2 == f.linea2);
    CHECK(again.linea2_on == f.linea2_on);
    CHECK(again.tipo == f.tipo);
    return 0;
}
