#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class Comunicacion_TZR;

// Board memory of the settings.
constexpr int DIR_NUMERO_PANEL = 1;
constexpr int DIR_LONGITUD_CODIGO = 2;
constexpr int DIR_IDIOMA = 3;
constexpr int DIR_LECTOR = 4;
constexpr int DIR_TIEMPO_A = 5;
constexpr int DIR_TIEMPO_B = 6;

// The languages a board knows, in the order of their index on the board.
QStringList idiomasPlaca();

// The texts of the parameter fields, Edit1 to Edit8.
struct CamposParametros
{
    QString Edit1; // panel number
    QString Edit2; // code length
    QString Edit3; // language
    QString Edit4; // reader
    QString Edit5; // time A
    QString Edit6; // time B
    QString Edit7; // programming code
    QString Edit8; // master code
};

// The captions of the field labels, which name a failing field.
struct EtiquetasParametros
{
    QString Label1 = QStringLiteral("Panel number");
    QString Label2 = QStringLiteral("Code Length");
    QString Label3 = QStringLiteral("Language");
    QString Label4 = QStringLiteral("Reader");
    QString Label5 = QStringLiteral("Time A");
    QString Label6 = QStringLiteral("Time B");
    QString Label9 = QStringLiteral("Programming Code");
    QString Label11 = QStringLiteral("Master Code");
};

// What a write of the parameters left on the board, read back byte by byte afterwards.
struct EscrituraParametros
{
    enum class Codigo
    {
        Cambiado,   // marker and five characters read back as written
        NoCambiado, // every byte read back as it was before the write
        Incierto    // partly written, or not readable
    };
    Codigo programacion = Codigo::Cambiado;
    Codigo maestro = Codigo::Cambiado;
    // Captions of the settings (addresses 1 to 6) that do not read back as written.
    QStringList noEscritos;
    bool completa() const
    {
        return programacion == Codigo::Cambiado && maestro == Codigo::Cambiado && noEscritos.isEmpty();
    }
};

// Checks the fields in their fixed order; false with the caption of the last failing field.
bool Valida_Parametros(const CamposParametros &campos, const EtiquetasParametros &etiquetas, QString &mensaje);

// Reads and writes a board's settings over the link, always to the board in num_placa.
class Parametros
{
public:
    explicit Parametros(Comunicacion_TZR &link) : m_link(link) {}

    bool Lee_Byte_Placa(int address, int &value);
    // True when the write was acknowledged.
    bool Escribe_Byte_Placa(int address, int value);
    // The code of the letter as hexadecimal digits of the low nibbles; a position whose read
    // got no valid reply is left out, so the field stays incomplete.
    QString Lee_Codigo_Placa(QChar letra);

    // Fills the fields that could be read and leaves the others as they were. idiomaInvalido is
    // set when the language byte is outside the known languages.
    void Lee_Parametros(CamposParametros &campos, const QString &num_placa, bool &idiomaInvalido);
    // Writes every field in the fixed order, then reads every byte back; a byte that does not
    // hold what was written is written once more. The codes' bytes are read before as well, so
    // the result can tell a code left as it was from one half changed. Raises ConversionError on
    // a field that is not a number (the writes before it have been made).
    EscrituraParametros Escribe_Parametros(CamposParametros &campos,
                                           const EtiquetasParametros &etiquetas = EtiquetasParametros{});

private:
    Comunicacion_TZR &m_link;
};
