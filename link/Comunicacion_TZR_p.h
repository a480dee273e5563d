#pragma once

#include "Comunicacion_TZR.h"

// What only the link's tests, fuzz targets and benchmarks reach: the steps of an exchange one
// by one, the buffers and flags of the exchange in flight, and counts of what went over the line.
class Comunicacion_TZRPrivate
{
public:
    explicit Comunicacion_TZRPrivate(Comunicacion_TZR &link) : m_link(link) {}

    const Trama &trama_tx() const { return m_link.m_tx; }
    const Trama &trama_rx() const { return m_link.m_rx; }
    // The request frame of the last exchange, as it went out.
    QByteArray requestBytes() const
    {
        QByteArray frame;
        for (int v : m_link.m_tx) {
            if (v == FIN_TRAMA)
                break;
            frame.append(static_cast<char>(v));
        }
        return frame;
    }
    bool esperando_respuesta() const { return m_link.m_esperando; }
    bool fin_espera() const { return m_link.m_finEspera; }

    void Construye_Trama(int comando, const Payload &lista, int placa)
    {
        m_link.Construye_Trama(comando, lista, placa);
    }
    void Envia_Trama() { m_link.Envia_Trama(); }
    bool Comprueba_XOR() const { return m_link.Comprueba_XOR(); }
    void TimerRecepcionTimer() { m_link.TimerRecepcionTimer(); }

    qint64 intercambios() const { return m_link.m_intercambios; }
    qint64 bytesEnviados() const { return m_link.m_bytesEnviados; }
    qint64 bytesRecibidos() const { return m_link.m_bytesRecibidos; }
    // Bytes read and dropped because no exchange was waiting for them.
    qint64 strayBytes() const { return m_link.m_strayBytes; }
    // Whether the next different request waits for a quiet line first.
    bool settlePending() const { return m_link.m_settle; }
    // Where the reply timer is out of reach, the quiet line is waited for this long instead.
    void setQuietTime(std::chrono::milliseconds time) { m_link.m_quietTime = time; }

private:
    Comunicacion_TZR &m_link;
};
