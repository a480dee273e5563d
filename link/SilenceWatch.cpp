#include "SilenceWatch.h"

#include "Comunicacion_TZR.h"
#include "TransferReport.h"

SilenceWatch::SilenceWatch(Comunicacion_TZR &link, ProgressView *view) : m_view(view)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(SilenceLimit);
    connect(&m_timer, &QTimer::timeout, this, &SilenceWatch::onSilence);
    connect(&link, &Comunicacion_TZR::intercambioTerminado, this, &SilenceWatch::onExchange);
    m_timer.start();
}

SilenceWatch::~SilenceWatch()
{
    if (m_notified && m_view)
        m_view->setNotAnswering(false);
}

void SilenceWatch::onExchange(bool valid)
{
    if (!valid)
        return;
    m_timer.start();
    if (m_notified) {
        m_notified = false;
        if (m_view)
            m_view->setNotAnswering(false);
    }
}

void SilenceWatch::onSilence()
{
    m_notified = true;
    if (m_view)
        m_view->setNotAnswering(true);
}
