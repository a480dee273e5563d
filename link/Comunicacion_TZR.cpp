#include "Comunicacion_TZR.h"

#include "DebugLog.h"
#include "SerialPort.h"
#include "TzrError.h"

#include <QCoreApplication>
#include <QElapsedTimer>

// A frame is the run of slots before the first FIN_TRAMA; the last slot always stays FIN_TRAMA
// so that a buffer never holds more than 39 bytes.
constexpr int MAX_BYTES_TRAMA = TAM_TRAMA - 1;

Payload payload(std::initializer_list<int> values)
{
    Payload lista;
    lista.fill(FIN_TRAMA);
    int i = 0;
    for (int v : values) {
        if (i >= TAM_PAYLOAD - 1)
            break;
        lista[i++] = v;
    }
    return lista;
}

Comunicacion_TZR::Comunicacion_TZR(QObject *parent) : QObject(parent)
{
    m_tx.fill(FIN_TRAMA);
    m_rx.fill(FIN_TRAMA);
    m_timer.setObjectName(QStringLiteral("TimerRecepcion"));
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(m_intervalo);
    connect(&m_timer, &QTimer::timeout, this, &Comunicacion_TZR::TimerRecepcionTimer);
    m_previousTx.fill(FIN_TRAMA);
    m_quietTimer.setSingleShot(true);
    m_quietTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_quietTimer, &QTimer::timeout, this, [this] { m_quietReached = true; });
}

Comunicacion_TZR::~Comunicacion_TZR() = default;

void Comunicacion_TZR::setPuerto(SerialPort *port)
{
    if (m_rxConnection)
        disconnect(m_rxConnection);
    m_port = port;
    // Another line may lead to other boards: what was learned of their replies starts again.
    m_boardEcho = {};
    m_commandEcho.fill({});
    // A reply to another program's last request (one killed while it waited) may still come:
    // the first request on this line waits for it to be quiet.
    m_settle = port != nullptr;
    m_freshLine = port != nullptr;
    m_owed = 1;
    m_previousTx.fill(FIN_TRAMA);
    if (port)
        m_rxConnection = connect(port, &SerialPort::rxChar, this, &Comunicacion_TZR::PuertoCOMRxChar);
}

void Comunicacion_TZR::printDebug(const QString &message) const
{
    if (m_log)
        m_log->printDebug(message);
}

void Comunicacion_TZR::appendMark(const QString &mark) const
{
    if (m_log)
        m_log->appendMark(mark);
}

void Comunicacion_TZR::setBoardText(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (ok && !text.trimmed().isEmpty()) {
        m_board = n;
        return;
    }
    m_board = UNREADABLE_BOARD;
    m_unreadableBoard = text;
}

int Comunicacion_TZR::placaActual() const
{
    if (m_board == UNREADABLE_BOARD)
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(m_unreadableBoard));
    return m_board;
}

std::chrono::milliseconds Comunicacion_TZR::intervalo() const
{
    return m_intervalo;
}

void Comunicacion_TZR::setIntervalo(std::chrono::milliseconds interval)
{
    m_intervalo = interval;
    m_timer.setInterval(interval);
}

std::chrono::milliseconds Comunicacion_TZR::tiempoEspera() const
{
    return m_intervalo + (m_port ? m_port->replyMargin() : std::chrono::milliseconds{0});
}

void Comunicacion_TZR::reinicia()
{
    m_rx.fill(FIN_TRAMA);
    m_esperando = false;
}

void Comunicacion_TZR::Construye_Trama(int comando, const Payload &lista, int placa)
{
    m_tx.fill(FIN_TRAMA);
    m_rx.fill(FIN_TRAMA);
    int n = 0;
    while (n < TAM_PAYLOAD && lista[n] != FIN_TRAMA)
        ++n;
    m_tx[0] = 0xFF;
    m_tx[1] = placa;
    m_tx[2] = n + 1;
    m_tx[3] = comando;
    for (int i = 0; i < n; ++i)
        m_tx[4 + i] = lista[i];
    m_tx[4 + n] = Calcula_XOR();
}

int Comunicacion_TZR::Calcula_XOR() const
{
    int x = 0;
    for (int i = 3; i < TAM_TRAMA && m_tx[i] != FIN_TRAMA; ++i)
        x ^= m_tx[i] & 0xFF;
    return x;
}

void Comunicacion_TZR::Envia_Trama()
{
    if (!m_port || !m_port->isOpen())
        throw TzrError(QStringLiteral("The serial port is not open"));
    for (int i = 0; i < TAM_TRAMA && m_tx[i] != FIN_TRAMA; ++i) {
        if (!m_port->writeByte(static_cast<quint8>(m_tx[i] & 0xFF)))
            throw TzrError(m_port->errorString());
        ++m_bytesEnviados;
    }
}

void Comunicacion_TZR::Reinicia_Espera()
{
    m_timer.stop();
    const std::chrono::milliseconds margin = m_port ? m_port->replyMargin() : std::chrono::milliseconds{0};
    if (margin.count() > 0 && margin != m_margenMostrado) {
        m_margenMostrado = margin;
        printDebug(QStringLiteral("Reply time %1 ms: %2 ms and %3 ms for the network")
                       .arg((m_intervalo + margin).count())
                       .arg(m_intervalo.count())
                       .arg(margin.count()));
    }
    m_timer.setInterval(m_intervalo + margin);
    m_timer.start();
    m_finEspera = false;
    m_valida = false;
}

bool Comunicacion_TZR::Espera_Respuesta()
{
    const bool yaTerminada = m_finEspera;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Block until the next event (received characters or the reply timer) instead of spinning.
    if (!yaTerminada && !m_finEspera && (m_esperando || m_timer.isActive()))
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    // With nothing left to wait for the wait is over even if no exchange ever ran.
    return m_finEspera || (!m_esperando && !m_timer.isActive());
}

int Comunicacion_TZR::longitudTx() const
{
    int n = 0;
    while (n < TAM_TRAMA && m_tx[n] != FIN_TRAMA)
        ++n;
    return n;
}

void Comunicacion_TZR::Intercambio(int comando, const Payload &lista, int placa)
{
    if (m_parada)
        throw OperacionDetenida(QStringLiteral("Stopped"));
    if (m_port && m_port->isLost())
        throw PuertoPerdido(m_port->errorString());
    if (m_misaligned) {
        m_misaligned = false;
        throw RepliesMisaligned(QStringLiteral("A reply arrived that answers no request"));
    }
    Construye_Trama(comando, lista, placa);
    if (m_settle && m_tx != m_previousTx)
        waitForQuietLine();
    m_previousTx = m_tx;
    // Whatever is already waiting arrived before this request went out: it cannot answer it.
    if (m_port && m_port->bytesAvailable() > 0)
        dropStray(m_port->bytesAvailable());
    m_strayLogged = false;
    m_strayLength = 0;
    m_exchangedSinceConfirm = true;
    m_ecoPendiente = (m_port && m_port->lineEchoes()) ? longitudTx() : 0;
    m_ecoRoto = false;
    m_echoInDoubt = false;
    m_rawLength = 0;
    m_esperando = true;
    Reinicia_Espera();
    ++m_intercambios;
    try {
        Envia_Trama();
    } catch (const TzrError &e) {
        detenerEspera();
        if (m_port && m_port->isLost())
            throw PuertoPerdido(e.message());
        throw;
    } catch (...) {
        detenerEspera();
        throw;
    }
    while (!Espera_Respuesta()) {
    }
    if (m_port && m_port->isLost())
        throw PuertoPerdido(m_port->errorString());
    emit intercambioTerminado(m_valida);
}

// A reply that comes after its time-out (or a second reply to a retried request) would be taken
// as the answer to whatever is asked next. Before a new request the line must have been quiet
// for a reply time; what arrives meanwhile is dropped. A line that never falls quiet is given up
// on after a few reply times, so the next exchange fails on it rather than the wait hanging.
void Comunicacion_TZR::waitForQuietLine()
{
    constexpr int MostReplyTimes = 10;
    std::chrono::milliseconds quiet = m_quietTime.count() >= 0 ? m_quietTime : tiempoEspera();
    // Another program's reply comes within the usual reply time, whatever this one waits for its own.
    if (m_freshLine)
        quiet = std::min(quiet, TIEMPO_RESPUESTA + (m_port ? m_port->replyMargin() : std::chrono::milliseconds{0}));
    m_freshLine = false;
    QElapsedTimer waited;
    waited.start();
    m_quietReached = false;
    m_quietTimer.start(quiet);
    while (!m_quietReached && waited.elapsed() <= MostReplyTimes * quiet.count()) {
        if (m_parada || (m_port && m_port->isLost()))
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    m_quietTimer.stop();
    if (m_quietReached) {
        m_settle = false;
        // Replies later than this are not waited for: one that still comes answers no request.
        m_owed = 0;
    }
}

void Comunicacion_TZR::confirmAligned()
{
    if (m_exchangedSinceConfirm) {
        m_exchangedSinceConfirm = false;
        waitForQuietLine();
    }
    if (m_misaligned) {
        m_misaligned = false;
        throw RepliesMisaligned(QStringLiteral("A reply arrived that answers no request"));
    }
}

void Comunicacion_TZR::noteStrayReply()
{
    // A whole reply came that nobody waits for: more may follow, so the next different request
    // waits for a quiet line.
    m_settle = true;
    if (m_owed > 0)
        --m_owed;
    else
        m_misaligned = true;
}

// Only a frame with a right check byte counts as a reply; noise rarely passes that.
void Comunicacion_TZR::countStrayByte(int c)
{
    if (m_strayLength == 0 && c != 0xFF)
        return;
    m_strayFrame[m_strayLength++] = c;
    if (m_strayLength < 3)
        return;
    const int L = m_strayFrame[2];
    if (L < 1 || L > 8) {
        m_strayLength = 0;
        if (c == 0xFF)
            m_strayFrame[m_strayLength++] = c;
        return;
    }
    if (m_strayLength < L + 4)
        return;
    int x = 0;
    for (int i = 3; i < L + 3; ++i)
        x ^= m_strayFrame[i];
    if (x == m_strayFrame[L + 3])
        noteStrayReply();
    m_strayLength = 0;
}

void Comunicacion_TZR::dropStray(int count)
{
    if (!m_port)
        return;
    int dropped = 0;
    while (dropped < count) {
        const int c = m_port->readByte();
        if (c < 0)
            break;
        countStrayByte(c);
        ++dropped;
    }
    m_bytesRecibidos += dropped;
    m_strayBytes += dropped;
    if (dropped > 0 && !m_strayLogged) {
        m_strayLogged = true;
        printDebug(QStringLiteral("Recibida trama no deseada."));
    }
    // During a wait for a quiet line every byte starts the quiet time again.
    if (dropped > 0 && m_quietTimer.isActive())
        m_quietTimer.start();
}

void Comunicacion_TZR::PuertoCOMRxChar(int count)
{
    if (!m_esperando) {
        // Left in the port these bytes would be glued in front of the next reply.
        try {
            dropStray(count);
        } catch (const std::exception &e) {
            printDebug(QStringLiteral("TFormPrincipal.PuertoCOMRxChar Error ") + QString::fromLocal8Bit(e.what()));
        }
        return;
    }
    try {
        if (!m_port)
            throw TzrError(QStringLiteral("The serial port is not open"));
        int pos = 0;
        while (pos < TAM_TRAMA && m_rx[pos] != FIN_TRAMA)
            ++pos;
        bool desbordada = false;
        for (int i = 0; i < count; ++i) {
            const int c = m_port->readByte();
            if (c < 0)
                break;
            ++m_bytesRecibidos;
            if (m_ecoRoto)
                continue;
            if (m_ecoPendiente > 0) {
                if (m_rawLength < MAX_BYTES_TRAMA)
                    m_raw[m_rawLength++] = c;
                const int enviado = m_tx[longitudTx() - m_ecoPendiente] & 0xFF;
                --m_ecoPendiente;
                if (c == enviado)
                    continue;
                // What came so far may be the board's reply with no echo in front of it (the
                // line no longer echoes). It is collected as a reply on trial: only a complete
                // reply that fits the request settles that the line does not echo.
                if (m_tx[3] == CMD_LEER && m_raw[0] == 0xFF) {
                    takeWithoutEcho();
                    pos = m_rawLength;
                    continue;
                }
                // The line handed back something else than was sent: the request may have reached
                // the board spoiled too, and where its reply starts is unknown. Everything up to
                // the reply time-out is dropped, so the retry starts on a quiet line.
                m_ecoRoto = true;
                m_ecoPendiente = 0;
                m_settle = true;
                m_rx.fill(FIN_TRAMA);
                appendMark(QStringLiteral("X"));
                continue;
            }
            // A reply starts with 0xFF: line noise or the tail of an earlier reply in front of it
            // would only spoil the frame, so it is skipped.
            if (pos == 0 && c != 0xFF)
                continue;
            if (pos < MAX_BYTES_TRAMA)
                m_rx[pos++] = c;
            else
                desbordada = true;
        }
        if (desbordada) {
            // More bytes than any frame can hold arrived before a complete one: noise on the line.
            m_settle = true;
            detenerEspera();
            return;
        }
        Evalua_Respuesta();
    } catch (const std::exception &e) {
        printDebug(QStringLiteral("TFormPrincipal.PuertoCOMRxChar Error ") + QString::fromLocal8Bit(e.what()));
        m_rx.fill(FIN_TRAMA);
    }
}

void Comunicacion_TZR::takeWithoutEcho()
{
    m_rx.fill(FIN_TRAMA);
    std::copy(m_raw.begin(), m_raw.begin() + m_rawLength, m_rx.begin());
    m_ecoPendiente = 0;
    m_echoInDoubt = true;
}

// A board answers a read with length 2, so a "reply" that is the read request byte for byte can
// only be the line handing back what was sent. It is dropped and the wait goes on for the board.
bool Comunicacion_TZR::descartaEco()
{
    if (m_tx[3] != CMD_LEER)
        return false;
    const int n = longitudTx();
    for (int i = 0; i < n; ++i) {
        if (m_rx[i] != m_tx[i])
            return false;
    }
    std::copy(m_rx.begin() + n, m_rx.end(), m_rx.begin());
    std::fill(m_rx.end() - n, m_rx.end(), FIN_TRAMA);
    // Noise between the echo and the reply would otherwise be taken for the reply's start.
    skipToFrameStart();
    if (m_port && !m_port->lineEchoes()) {
        m_port->setLineEchoes(true);
        emit ecoDetectado();
    }
    return true;
}

// A reply starts with 0xFF: whatever lies in front of one is dropped.
void Comunicacion_TZR::skipToFrameStart()
{
    while (m_rx[0] != FIN_TRAMA && m_rx[0] != 0xFF) {
        std::copy(m_rx.begin() + 1, m_rx.end(), m_rx.begin());
        m_rx.back() = FIN_TRAMA;
    }
}

void Comunicacion_TZR::Evalua_Respuesta()
{
    for (;;) {
        if (descartaEco() && m_rx[0] == FIN_TRAMA)
            return;
        const int L = m_rx[2];
        if (L == FIN_TRAMA)
            return;
        if (L + 3 > MAX_BYTES_TRAMA - 1) {
            // A length byte pointing past the buffer can never be completed.
            m_settle = true;
            detenerEspera();
            return;
        }
        if (m_rx[L + 3] == FIN_TRAMA)
            return;
        // A length of 0 leaves out even the command byte: such a frame carries no value for a read
        // (slot 4 would still hold FIN_TRAMA), so it counts as a bad frame whatever its check byte.
        if (L < 1 || !frameChecks() || replyFits()) {
            if (L < 1 || !Comprueba_XOR() || !replyFits())
                break;
            learnHeader();
            if (m_echoInDoubt && m_port && m_port->lineEchoes()) {
                m_port->setLineEchoes(false);
                emit noEchoDetected();
            }
            appendMark(QStringLiteral("."));
            m_valida = true;
            m_timer.stop();
            m_finEspera = true;
            m_esperando = false;
            return;
        }
        // A whole, sound frame that cannot answer this request (a late reply to another one) is
        // dropped, and the wait goes on for the reply to this request.
        appendMark(QStringLiteral("X"));
        noteStrayReply();
        const int n = L + 4;
        std::copy(m_rx.begin() + n, m_rx.end(), m_rx.begin());
        std::fill(m_rx.end() - n, m_rx.end(), FIN_TRAMA);
        skipToFrameStart();
        if (m_rx[0] == FIN_TRAMA)
            return;
    }
    m_timer.stop();
    m_finEspera = true;
    m_esperando = false;
    appendMark(QStringLiteral("X"));
}

// The check byte right after the frame's body, whatever else arrived behind it.
bool Comunicacion_TZR::frameChecks() const
{
    const int L = m_rx[2];
    int x = 0;
    for (int i = 3; i < L + 3; ++i)
        x ^= m_rx[i] & 0xFF;
    return x == (m_rx[L + 3] & 0xFF);
}

// A read reply must carry a value; beyond that, the board number and command byte are held
// against the request only where the boards have been seen to repeat them.
bool Comunicacion_TZR::replyFits() const
{
    const int L = m_rx[2];
    const int command = m_tx[3] & 0xFF;
    if (command == CMD_LEER && L < 2)
        return false;
    if (m_boardEcho.learned && m_boardEcho.echoes && m_rx[1] != m_tx[1])
        return false;
    const HeaderEcho &echo = m_commandEcho[command];
    if (echo.learned && echo.echoes && m_rx[3] != m_tx[3])
        return false;
    return true;
}

void Comunicacion_TZR::learnHeader()
{
    // Three replies in a row that repeat a byte make it a rule of these boards; one that does not,
    // before the rule is made, means these boards put something else there, and it is never checked.
    constexpr int Needed = 3;
    const auto learn = [](HeaderEcho &echo, bool same) {
        if (echo.learned)
            return;
        if (!same) {
            echo.learned = true;
            echo.echoes = false;
        } else if (++echo.matches >= Needed) {
            echo.learned = true;
            echo.echoes = true;
        }
    };
    learn(m_boardEcho, m_rx[1] == m_tx[1]);
    learn(m_commandEcho[m_tx[3] & 0xFF], m_rx[3] == m_tx[3]);
}

bool Comunicacion_TZR::Comprueba_XOR() const
{
    int k = 0;
    while (k < TAM_TRAMA && m_rx[k] != FIN_TRAMA)
        ++k;
    --k;
    if (k < 3)
        return false;
    int x = 0;
    for (int i = 3; i < k; ++i)
        x ^= m_rx[i] & 0xFF;
    return x == (m_rx[k] & 0xFF);
}

void Comunicacion_TZR::TimerRecepcionTimer()
{
    // The reply may still come, late: it must not be taken for the next request's.
    if (m_esperando) {
        m_settle = true;
        ++m_owed;
    }
    m_finEspera = true;
    m_valida = false;
    m_timer.stop();
    m_esperando = false;
}

void Comunicacion_TZR::detenerEspera()
{
    m_timer.stop();
    m_finEspera = true;
    m_valida = false;
    m_esperando = false;
}

bool Comunicacion_TZR::Modo_Transferencia(bool on)
{
    const int comando = on ? CMD_INICIO : CMD_FIN;
    for (int intento = 0; intento < INTENTOS; ++intento) {
        Intercambio(comando, payload(), placaActual());
        if (m_valida)
            return true;
    }
    return false;
}

void Comunicacion_TZR::Envia_Reinicio()
{
    for (int intento = 0; intento < INTENTOS; ++intento) {
        Intercambio(CMD_REINICIO, payload(), placaActual());
        if (m_valida)
            return;
    }
}

bool Comunicacion_TZR::Sondea_Placa(int placa)
{
    Intercambio(CMD_PRESENCIA, payload(), placa);
    return m_valida;
}

bool Comunicacion_TZR::Lee_Byte(int placa, int address, int &value)
{
    for (int intento = 0; intento < INTENTOS; ++intento) {
        Intercambio(CMD_LEER, payload({(address >> 8) & 0xFF, address & 0xFF}), placa);
        if (m_valida) {
            value = m_rx[4];
            return true;
        }
    }
    return false;
}

bool Comunicacion_TZR::Escribe_Byte(int placa, int address, int value)
{
    for (int intento = 0; intento < INTENTOS; ++intento) {
        Intercambio(CMD_ESCRIBIR, payload({(address >> 8) & 0xFF, address & 0xFF, value & 0xFF}), placa);
        if (m_valida)
            return true;
    }
    return false;
}
