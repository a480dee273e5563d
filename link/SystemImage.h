#pragma once

#include "UserArea.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <array>

class Clock;
class Comunicacion_TZR;
class ProgressView;
class TextLookup;

// A whole board saved to a file: its parameters and its user area.
//
// File format, version 1: ASCII text, one item per line, each line ending in a line feed:
//
//   TZRUsers system image
//   format 1
//   board <the board number it was read from, 0 to 31>
//   saved <UTC time, ISO 8601 with milliseconds, e.g. 2026-12-08T10:40:00.000Z>
//   parameters <6 bytes: addresses 1 to 6, two upper-case hex digits each, space separated>
//   codes <12 bytes: addresses 10 to 21, likewise>
//   slot <n> <90 hex digits: the 45 bytes of slot n>     (one line per slot in use, n from 1,
//                                                          ascending; byte 20 is never FF)
//   sha256 <64 lower-case hex digits: SHA-256 of every byte before this line>
//
// Slots not listed are empty. A reader refuses anything else: another first line, another
// format, a checksum that does not match, a line out of place, a value out of range. The file
// holds the programming and master codes in clear, so it is written for its owner only (0600).
struct SystemImage
{
    static constexpr int FORMAT = 1;
    static constexpr int PARAMETER_COUNT = 6; // addresses 1 to 6
    static constexpr int CODE_FIRST = 10;
    static constexpr int CODE_COUNT = 12; // addresses 10 to 21
    static constexpr qint64 MAX_FILE_SIZE = 64 * 1024;

    int placa = 0;
    QDateTime momento; // UTC
    std::array<int, PARAMETER_COUNT> parametros{};
    std::array<int, CODE_COUNT> codigos{};
    UserArea usuarios;

    QByteArray toBytes() const;
    // Raises TzrError naming what is wrong; nothing of a refused file is used.
    static SystemImage fromBytes(const QByteArray &bytes);

    // Raise IoError / TzrError.
    void save(const QString &path) const;
    static SystemImage load(const QString &path);
};

struct ResultadoImagen
{
    // The board did not open the transfer (only the user area goes inside one).
    bool sinRespuesta = false;
    // Reads or writes that got no valid reply in three attempts (a restore counts a slot once).
    int fallidos = 0;
    // Restore: slots with a write not acknowledged; whether the parameters (board number,
    // programming and master codes) were written at all, which they are only after every slot
    // was; and parameter bytes not acknowledged.
    int slotsFallidos = 0;
    // Restore: slots written and acknowledged.
    int slotsEscritos = 0;
    bool parametrosEnviados = false;
    int parametrosFallidos = 0;
    // Parameter bytes whose write was tried (fewer than all when a Stop or lost port ended it).
    int parametrosIntentados = 0;
    // Restore: slots whose bytes 20 to 25, read back after one more try, are not the image's;
    // and addresses of parameters and codes that read back otherwise after one more try.
    QList<int> slotsDistintos;
    QList<int> parametrosDistintos;
    bool completo() const
    {
        return !sinRespuesta && fallidos == 0 && slotsDistintos.isEmpty() && parametrosDistintos.isEmpty();
    }
};

// Reads a whole board into an image and writes an image back, to the board in num_placa.
// Parameters go as the parameters window reads and writes them; the user area inside a transfer,
// with the marks of a receive and a send. Checking the master code is the caller's.
class SystemImageTransfer
{
public:
    SystemImageTransfer(Comunicacion_TZR &link, const TextLookup &textos, const Clock &clock);
    void setProgreso(ProgressView *view) { m_progreso = view; }

    // The image is usable only when the result is complete.
    ResultadoImagen Lee_Imagen(SystemImage &imagen);
    // Inside a transfer every slot: the 45 bytes of a slot in use, byte 20 := FF for an empty
    // one; bytes 20 to 25 of every slot are read back. Then, only when every slot was
    // acknowledged and holds its code, the parameters in the order of the
    // parameters window (1 to 6, 10, 11 to 15, 16, 17 to 21), read back; then the board is told to restart,
    // so it takes the image's board number. Nothing is written when the transfer does not open.
    ResultadoImagen Restaura_Imagen(const SystemImage &imagen);
    // How far the last restore got, also when a Stop or a lost port ended it with an exception.
    const ResultadoImagen &restauracion() const { return m_restauracion; }

private:
    Comunicacion_TZR &m_link;
    const TextLookup &m_textos;
    const Clock &m_clock;
    ProgressView *m_progreso = nullptr;
    ResultadoImagen m_restauracion;
};
