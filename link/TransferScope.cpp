#include "TransferScope.h"

#include "Comunicacion_TZR.h"

TransferScope::TransferScope(Comunicacion_TZR &link, Close rule) : m_link(link), m_rule(rule) {}

TransferScope::~TransferScope()
{
    try {
        // Still open here means the work inside the transfer did not get to its close.
        finish(true);
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

void TransferScope::finish(bool failed)
{
    if (!m_open)
        return;
    m_open = false;
    const SerialPort *port = m_link.PuertoCOM();
    if (port && port->isLost())
        return;
    // A Stop pressed during the job must not cut the transfer's own close short; when the
    // caller's writes go on after the close, the first of them still honours it.
    const bool stopAsked = m_link.parada();
    m_link.setParada(false);
    const bool closed = m_link.Modo_Transferencia(false);
    if (m_rule == Close::RestartByCaller && !failed)
        m_link.setParada(stopAsked || m_link.parada());
    bool restart = false;
    switch (m_rule) {
    case Close::RestartIfUnanswered:
        restart = !closed;
        break;
    case Close::AlwaysRestart:
        restart = true;
        break;
    case Close::RestartByCaller:
        restart = failed;
        break;
    }
    if (restart)
        m_link.Envia_Reinicio();
    // A write acknowledged by a reply that belonged to another request may not have been done.
    if (!failed && m_rule != Close::RestartIfUnanswered)
        m_link.confirmAligned();
}
