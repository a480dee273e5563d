#pragma once

#include <QString>

#include <functional>

class Comunicacion_TZR;
class TextLookup;

QString Texto_Lector(int tipo);

// A board that answered the test, as data.
struct BoardFound
{
    int board = 0;
    int codeLength = 0;
    int reader = 0; // 0 keypad, 1 card, 2 button
};

// The board test: polls every board number and lists the boards that answer with their keypad
// code length and reader. It changes nothing on the boards and nothing of the tool's state.
class TestPlacas
{
public:
    TestPlacas(Comunicacion_TZR &link, const TextLookup &textos) : m_link(link), m_textos(textos) {}

    int Lee_Longitud_Placa(int placa);
    int Lee_Tipo_Lector(int placa);

    struct Vista
    {
        std::function<bool()> detener;
        std::function<void(int)> numP;
        std::function<void(const QString &)> linea;
        // The same board as data, just before its line.
        std::function<void(const BoardFound &)> found;
    };
    // One run over boards 0 to 31 with the 200 ms reply time; returns at the end or once
    // detener() says so (the remaining numbers are passed over without traffic).
    void ejecuta(const Vista &vista);

private:
    Comunicacion_TZR &m_link;
    const TextLookup &m_textos;
};
