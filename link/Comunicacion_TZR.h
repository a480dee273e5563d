#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <limits>

class DebugLog;
#include "SerialPort.h"
#include "TzrError.h"

constexpr int FIN_TRAMA = 888;
constexpr int TAM_TRAMA = 40;
constexpr int TAM_PAYLOAD = 11;

constexpr int CMD_PRESENCIA = 0x01;
constexpr int CMD_REINICIO = 0x0B;
constexpr int CMD_LEER = 0x30;
constexpr int CMD_ESCRIBIR = 0x31;
constexpr int CMD_INICIO = 0x36;
constexpr int CMD_FIN = 0x37;

constexpr int INTENTOS = 3;
constexpr std::chrono::milliseconds TIEMPO_RESPUESTA{100};
constexpr std::chrono::milliseconds TIEMPO_RESPUESTA_LENTO{200};

using Trama = std::array<int, TAM_TRAMA>;
using Payload = std::array<int, TAM_PAYLOAD>;

// Raised by an exchange once the user asked the running operation to stop.
class OperacionDetenida : public TzrError
{
public:
    using TzrError::TzrError;
};

// Raised by an exchange when the port has gone away (adapter unplugged): no later exchange can
// succeed, so the operation ends at once instead of timing out every remaining byte.
class PuertoPerdido : public TzrError
{
public:
    using TzrError::TzrError;
};

// Raised by an exchange once a reply has arrived that answers no request: a reply was taken for
// the wrong request somewhere before it, so what the operation read or was told cannot be trusted.
class RepliesMisaligned : public TzrError
{
public:
    using TzrError::TzrError;
};

// Builds the 11-slot payload list of a frame: the values first, FIN_TRAMA in the rest.
Payload payload(std::initializer_list<int> values = {});

// The conversation with the panel boards: one frame out, one reply in (or the reply time-out),
// at most one exchange in flight. Everything runs on the thread that owns this object; a wait
// pumps that thread's event loop, where the port's receive event and the reply timer arrive.
class Comunicacion_TZR : public QObject
{
    Q_OBJECT
public:
    explicit Comunicacion_TZR(QObject *parent = nullptr);
    ~Comunicacion_TZR() override;

    void setPuerto(SerialPort *port);
    SerialPort *PuertoCOM() const { return m_port; }
    // nullptr while the debug window does not exist: lines and marks are then dropped.
    void setDebugLog(DebugLog *log) { m_log = log; }
    DebugLog *debugLog() const { return m_log; }
    void printDebug(const QString &message) const;
    void appendMark(const QString &mark) const;

    // The board every exchange addressed to "the current board" goes to.
    void setBoard(int board) { m_board = board; }
    // A typed board number, parsed once here. One that is no number is kept as it was typed:
    // exchanges to the current board raise ConversionError with it until a board is set.
    void setBoardText(const QString &text);
    // The board as set, UNREADABLE_BOARD included; what a caller saves and restores.
    int board() const { return m_board; }
    // The current board number; raises ConversionError when the board is unreadable.
    int placaActual() const;
    static constexpr int UNREADABLE_BOARD = std::numeric_limits<int>::min();

    bool respuesta_valida() const { return m_valida; }
    // The value carried by a read reply (slot 4 of trama_rx).
    int valorLeido() const { return m_rx[4]; }

    QTimer &TimerRecepcion() { return m_timer; }
    std::chrono::milliseconds intervalo() const;
    void setIntervalo(std::chrono::milliseconds interval);
    // The reply time of the next exchange: intervalo() plus the port's reply margin.
    std::chrono::milliseconds tiempoEspera() const;

    // Empties trama_rx and clears esperando_respuesta, as at start-up.
    void reinicia();

    bool Espera_Respuesta();
    void Intercambio(int comando, const Payload &lista, int placa);
    bool Modo_Transferencia(bool on);
    void Envia_Reinicio();

    // A single-attempt presence probe of one board, with its own frame written into trama_tx.
    bool Sondea_Placa(int placa);
    // CMD_LEER of one address with up to three attempts; true and value on a valid reply.
    bool Lee_Byte(int placa, int address, int &value);
    // CMD_ESCRIBIR of one address with up to three attempts; true when acknowledged.
    bool Escribe_Byte(int placa, int address, int value);

    // Ends an operation: waits until the line has been quiet for a reply time, so that a reply
    // still on its way is seen, then raises RepliesMisaligned when any reply arrived during the
    // operation that no unanswered attempt accounts for.
    void confirmAligned();

    // True while an operation holds the link. Exchanges share one pair of buffers and flags, so a
    // command that would start another one while this is set must do nothing.
    bool ocupado() const { return m_ocupado > 0 || m_esperando; }

    // Held by an operation for its whole run.
    class Reserva
    {
    public:
        explicit Reserva(Comunicacion_TZR &link) : m_link(link)
        {
            // What arrived before this operation says nothing about its own replies.
            if (m_link.m_ocupado++ == 0)
                m_link.m_misaligned = false;
        }
        ~Reserva() { --m_link.m_ocupado; }
        Reserva(const Reserva &) = delete;
        Reserva &operator=(const Reserva &) = delete;

    private:
        Comunicacion_TZR &m_link;
    };

    // Reader type of the board last asked: 0 neither (keypad only), 1 card reader, 2 button reader.
    int tipo_lector() const { return m_tipoLector; }
    void setTipo_lector(int type) { m_tipoLector = type; }

    // Asks the running operation to end at its next exchange (OperacionDetenida); cleared by
    // the operation that honours it.
    void setParada(bool on) { m_parada = on; }
    bool parada() const { return m_parada; }

signals:
    // A read was answered with the read request itself: the line echoes. The port's echo
    // setting has been turned on and the exchange went on waiting for the board's reply.
    void ecoDetectado();
    // With echo handling on, a read was answered without the request in front: the line does not
    // echo (the adapter was changed). The port's echo setting has been turned off.
    void noEchoDetected();
    // Every exchange that ran to its end, with its outcome.
    void intercambioTerminado(bool valida);

private:
    // The frame steps, buffers and counters are reached by tests, fuzz targets and benchmarks
    // through Comunicacion_TZR_p.h only.
    friend class Comunicacion_TZRPrivate;

    void Construye_Trama(int comando, const Payload &lista, int placa);
    int Calcula_XOR() const;
    void Envia_Trama();
    void Reinicia_Espera();
    void PuertoCOMRxChar(int count);
    void Evalua_Respuesta();
    bool Comprueba_XOR() const;
    void TimerRecepcionTimer();
    void detenerEspera();
    int longitudTx() const;
    bool descartaEco();
    void skipToFrameStart();
    void takeWithoutEcho();
    bool frameChecks() const;
    bool replyFits() const;
    void learnHeader();
    void dropStray(int count);
    void waitForQuietLine();
    void countStrayByte(int c);
    void noteStrayReply();

    QPointer<SerialPort> m_port;
    DebugLog *m_log = nullptr;
    int m_board = 1;
    QString m_unreadableBoard;
    Trama m_tx{};
    Trama m_rx{};
    bool m_esperando = false;
    bool m_finEspera = false;
    bool m_valida = false;
    QTimer m_timer;
    std::chrono::milliseconds m_intervalo = TIEMPO_RESPUESTA;
    // The port's margin last written to the debug log, so it is written once per change.
    std::chrono::milliseconds m_margenMostrado{0};
    QMetaObject::Connection m_rxConnection;
    int m_ocupado = 0;
    // Echoed request bytes still to be dropped from the front of what arrives.
    int m_ecoPendiente = 0;
    // The echo did not match the request: this attempt fails at its time-out.
    bool m_ecoRoto = false;
    // What arrived in this attempt while an echo was expected, so that a reply without an echo
    // in front can still be taken when the line turns out not to echo.
    Trama m_raw{};
    int m_rawLength = 0;
    bool m_echoInDoubt = false;
    // Set when an attempt timed out or the line carried something that was no reply: a reply may
    // still be on its way, so the next different request waits for a quiet line first.
    bool m_settle = false;
    bool m_freshLine = false;
    // The request of the last exchange: a retry of the same frame needs no quiet line, since a
    // late reply to an earlier attempt answers it as well.
    Trama m_previousTx{};
    QTimer m_quietTimer;
    bool m_quietReached = false;
    // How long the line must be quiet; negative: a reply time. Set by the fuzz target only.
    std::chrono::milliseconds m_quietTime{-1};
    // Bytes that arrived outside any exchange are dropped, one log line per burst.
    bool m_strayLogged = false;
    qint64 m_strayBytes = 0;
    // Dropped bytes are read as frames, so that a whole reply nobody waits for is noticed.
    Trama m_strayFrame{};
    int m_strayLength = 0;
    // Attempts that timed out since the line was last quiet: each may still bring its reply, which
    // is then expected. A reply beyond them means one was taken for the wrong request.
    int m_owed = 0;
    bool m_misaligned = false;
    bool m_exchangedSinceConfirm = false;
    // What the boards put where a reply's board number and command byte go, learned from the
    // replies themselves: a check on them applies only once the boards have shown they repeat
    // the request's bytes there, so a board that puts something else is never refused.
    struct HeaderEcho
    {
        int matches = 0;
        bool learned = false;
        bool echoes = false;
    };
    HeaderEcho m_boardEcho;
    std::array<HeaderEcho, 256> m_commandEcho{};
    bool m_parada = false;
    int m_tipoLector = 0;
    qint64 m_intercambios = 0;
    qint64 m_bytesEnviados = 0;
    qint64 m_bytesRecibidos = 0;
};
