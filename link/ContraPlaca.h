#pragma once

#include <QChar>
#include <QString>

class Comunicacion_TZR;

// Board memory of the two access codes: a marker byte and five code characters each.
constexpr int DIR_MARCA_PROGRAMACION = 10;
constexpr int DIR_CODIGO_PROGRAMACION = 11;
constexpr int DIR_MARCA_MAESTRO = 16;
constexpr int DIR_CODIGO_MAESTRO = 17;
constexpr int LONGITUD_CODIGO = 5;

// The code a board reads when the requester's marker is not set.
QString codigoFijo(QChar letra);
int direccionMarca(QChar letra);
int direccionCodigo(QChar letra);

// A stored code byte as a character: digits, 0x3A "A", 0x3B "B", anything else "0".
QChar caracterCodigo(int value);
// A typed code character as a stored byte: digits, "A" 0x3A, "B" 0x3B, anything else 0x30.
int byteCodigo(QChar c);

struct CodigoLeido
{
    QString contra_placa;
    // False when some position got no valid reply in three attempts.
    bool completo = true;
};

struct MarcaLeida
{
    bool valida = false;
    bool puesta = false;
};

// The board's system password check, for the requester "P" (programming code, connecting) or
// "M" (master code, panel parameters).
class ContraPlaca
{
public:
    explicit ContraPlaca(Comunicacion_TZR &link) : m_link(link) {}

    // Reads the five code positions of the letter from the board in num_placa.
    CodigoLeido leeCodigo(QChar letra);
    // Reads the marker, repeating only while no valid reply came.
    MarcaLeida Lee_Marca_Contra(QChar letra);
    // The verdict once the dialog has closed. A code that could not be read whole never matches:
    // an unread position must not be guessable as "0".
    static bool verifica(const MarcaLeida &marca, const CodigoLeido &codigo, const QString &contra_tecleada,
                         const QString &textoActual, QChar letra);

    // The marker check before reading the parameters: ends at the first attempt without a valid
    // reply, true at the first reply holding the marker, else repeated up to three attempts.
    bool Comprueba_Marca_Contra(QChar letra);

private:
    Comunicacion_TZR &m_link;
};
