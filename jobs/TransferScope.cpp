#include "TransferScope.h"

#include "Comunicacion_TZR.h"

TransferScope::TransferScope(Comunicacion_TZR &link, Close rule) : m_link(link), m_rule(rule) {}

TransferScope::~TransferScope()
{
    try {
        close();
    } catch (...) {
        // The job already ends with its own error; a close that fails as well adds nothing.
    }
    m_link.setParada(false);
}

bool TransferScope::open()
{
    m_open = m_link.Modo_Transferencia(true);
    return m_open;
}

void TransferScope::close()
{
    if (!m_open)
        return;
    m_open = false;
    const SerialPort *port = m_link.PuertoCOM();
    if (port && port->isLost())
        return;
    // A Stop pressed during the job must not cut the transfer's own close short.
    m_link.setParada(false);
    const bool closed = m_link.Modo_Transferencia(false);
    if (m_rule == Close::AlwaysRestart || !closed)
        m_link.Envia_Reinicio();
}
