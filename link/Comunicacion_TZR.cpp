#include "Comunicacion_TZR.h"

#include "DebugLog.h"
#include "SerialPort.h"
#include "TzrError.h"

#include <QCoreApplication>

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
    m_timer.setInterval(TIEMPO_RESPUESTA);
    connect(&m_timer, &QTimer::timeout, this, &Comunicacion_TZR::TimerRecepcionTimer);
}

Comunicacion_TZR::~Comunicacion_TZR() = default;

void Comunicacion_TZR::setPuerto(SerialPort *port)
{
    if (m_rxConnection)
        disconnect(m_rxConnection);
    m_port = port;
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

int Comunicacion_TZR::placaActual() const
{
    const QString text = m_fuentePlaca ? m_fuentePlaca() : QStringLiteral("01");
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || text.trimmed().isEmpty())
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return n;
}

std::chrono::milliseconds Comunicacion_TZR::intervalo() const
{
    return m_timer.intervalAsDuration();
}

void Comunicacion_TZR::setIntervalo(std::chrono::milliseconds interval)
{
    m_timer.setInterval(interval);
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
    Construye_Trama(comando, lista, placa);
    m_ecoPendiente = (m_port && m_port->lineEchoes()) ? longitudTx() : 0;
    m_ecoRoto = false;
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

void Comunicacion_TZR::PuertoCOMRxChar(int count)
{
    if (!m_esperando) {
        printDebug(QStringLiteral("Recibida trama no deseada."));
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
                const int enviado = m_tx[longitudTx() - m_ecoPendiente] & 0xFF;
                --m_ecoPendiente;
                if (c == enviado)
                    continue;
                // The line handed back something else than was sent: the request may have reached
                // the board spoiled too, and where its reply starts is unknown. Everything up to
                // the reply time-out is dropped, so the retry starts on a quiet line.
                m_ecoRoto = true;
                m_ecoPendiente = 0;
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
            detenerEspera();
            return;
        }
        Evalua_Respuesta();
    } catch (const std::exception &e) {
        printDebug(QStringLiteral("TFormPrincipal.PuertoCOMRxChar Error ") + QString::fromLocal8Bit(e.what()));
        m_rx.fill(FIN_TRAMA);
    }
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
    if (m_port && !m_port->lineEchoes()) {
        m_port->setLineEchoes(true);
        emit ecoDetectado();
    }
    return true;
}

void Comunicacion_TZR::Evalua_Respuesta()
{
    if (descartaEco() && m_rx[0] == FIN_TRAMA)
        return;
    const int L = m_rx[2];
    if (L == FIN_TRAMA)
        return;
    if (L + 3 > MAX_BYTES_TRAMA - 1) {
        // A length byte pointing past the buffer can never be completed.
        detenerEspera();
        return;
    }
    if (m_rx[L + 3] == FIN_TRAMA)
        return;
    // A length of 0 leaves out even the command byte: such a frame carries no value for a read
    // (slot 4 would still hold FIN_TRAMA), so it counts as a bad frame whatever its check byte.
    if (L >= 1 && Comprueba_XOR()) {
        appendMark(QStringLiteral("."));
        m_valida = true;
        m_timer.stop();
        m_finEspera = true;
        m_esperando = false;
    } else {
        m_timer.stop();
        m_finEspera = true;
        m_esperando = false;
        appendMark(QStringLiteral("X"));
    }
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
