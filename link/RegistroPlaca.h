#pragma once

#include <QString>

#include <array>

constexpr int MAX_USUARIOS = 350;
constexpr int INICIO_REGISTROS = 32;
constexpr int TAM_REGISTRO = 45;

// Byte offsets within a user record slot.
constexpr int OFS_CALL = 16;
constexpr int OFS_TZR = 18;
constexpr int OFS_CODIGO = 20;
constexpr int OFS_LINEA2 = 26;
constexpr int OFS_BYTE42 = 42;
constexpr int OFS_BYTE43 = 43;
constexpr int OFS_LINEA2_ON = 44;

constexpr int SLOT_VACIO = 0xFF;
constexpr int MARCA_ON = 0x3A;

// Board memory addresses of the settings the record codec depends on.
constexpr int DIR_LONGITUD_TECLADO = 2;
constexpr int DIR_TIPO_LECTOR = 4;

// The 45 byte values of one user record slot; FIN_TRAMA marks a byte not (yet) known.
using RegistroPlaca = std::array<int, TAM_REGISTRO>;

RegistroPlaca registroVacio();
// Equal in every byte that carries a field; the spare bytes 42 and 43 carry none, and some
// firmware keeps its own values there.
bool sameFields(const RegistroPlaca &a, const RegistroPlaca &b);
// Address of the first byte of slot n (counted from 0).
constexpr int direccionSlot(int slot) { return INICIO_REGISTROS + TAM_REGISTRO * slot; }

// The text form of one user: fixed-width character fields, padded with spaces.
struct FichaUsuario
{
    int indice = 0;
    QString nombre;    // 16
    QString call;      // 4
    QString tzr;       // 3
    QString codigo;    // 10
    QString linea2;    // 16
    int byte43 = 0;
    QString linea2_on; // 1: "X" on, " " off
    int tipo = 0;      // 0 keypad, 1 card, 2 button
};

// One row of the users table as text, trailing spaces already dropped by the table.
struct FilaUsuario
{
    QString NOMBRE;
    QString CALL;
    QString TZR;
    QString CODIGO;
    QString LINEA2;
    QString LINEA2_ON;
    QString TIPO_CODE;

    bool operator==(const FilaUsuario &) const = default;
};

QChar Digito_Hex(int value);
int Valor_Hex(QChar c);

// Reader byte at address 4 to tipo_lector: 0 card → 1, 1 button → 2, anything else → 0.
int tipoLectorDeByte(int value, bool valida);
// Keypad length byte at address 2: 4 or 5 kept, anything else (or no reply) gives 6.
int longitudTecladoDeByte(int value, bool valida);

// The text of field copied into a fixed width: cut to the width, padded with spaces.
QString Copia_Campo(const QString &text, int width);

FichaUsuario Decodifica_Registro(const RegistroPlaca &v, int tipo_lector);
// Raises ConversionError when a call code or TZR character is not a decimal digit.
RegistroPlaca Codifica_Registro(const FichaUsuario &f, int tipo_lector);
FichaUsuario Fila_a_Ficha(const FilaUsuario &fila, int posicion, int tipo_lector);
// The row a received record becomes; kindText gives the language text of a code kind.
FilaUsuario fichaAFila(const FichaUsuario &f, const QString &kindText);
// The language key and fall-back of a code kind (0 keypad, 1 card, 2 button).
QString claveTipoCode(int tipo);
QString textoTipoCodePorDefecto(int tipo);

// Button codes travel with their five two-digit groups in reverse order.
QString invierteGrupos(const QString &code);
