// A transfer whose board stops answering keeps retrying every byte; after a while the progress
// window says so and lets the user stop it at the next exchange.

#include "TFProgreso.h"

#include "Asigna_Lenguaje.h"
#include "BoardSession.h"
#include "Contexto.h"
#include "TextLookup.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {
constexpr int kAltoAviso = 28;
} // namespace

void TFProgreso::creaAvisoSinRespuesta(QGridLayout *rejilla)
{
    m_lblSinRespuesta = new QLabel(this);
    m_lblSinRespuesta->setObjectName(QStringLiteral("lblSinRespuesta"));
    m_btnDetener = new QPushButton(this);
    m_btnDetener->setObjectName(QStringLiteral("btnDetener"));
    m_btnDetener->setAutoDefault(false);
    rejilla->addWidget(m_lblSinRespuesta, 2, 1);
    rejilla->addWidget(m_btnDetener, 2, 2);
    m_lblSinRespuesta->hide();
    m_btnDetener->hide();
    connect(m_btnDetener, &QPushButton::clicked, this, [this] {
        m_cancelado = m_cancelable && !m_sinRespuesta;
        if (m_ctx.sesion)
            m_ctx.sesion->requestStop();
        m_btnDetener->setEnabled(false);
    });
}

void TFProgreso::ofreceCancelar()
{
    if (m_cancelable)
        return;
    if (!m_sinRespuesta)
        setFixedSize(size().width(), size().height() + kAltoAviso);
    m_cancelable = true;
    m_cancelado = false;
    m_btnDetener->setText(textosDe(m_ctx).texto(QStringLiteral("LINE_CANCEL"), QStringLiteral("Cancel")));
    m_btnDetener->setEnabled(true);
    m_btnDetener->show();
}

void TFProgreso::retiraCancelar()
{
    m_cancelable = false;
    m_sinRespuesta = false;
    m_lblSinRespuesta->hide();
    m_btnDetener->hide();
    setFixedSize(size().width(), size().height() - kAltoAviso);
}

void TFProgreso::setNotAnswering(bool on)
{
    if (on == m_sinRespuesta)
        return;
    m_sinRespuesta = on;
    if (m_cancelable) {
        // The Cancel button already stands where Stop would: only the notice comes and goes.
        if (on)
            m_lblSinRespuesta->setText(textosDe(m_ctx).texto(QStringLiteral("LINE_SILENT"),
                                                            QStringLiteral("The board is not answering.")));
        m_lblSinRespuesta->setVisible(on);
        return;
    }
    if (on) {
        const TextLookup &textos = textosDe(m_ctx);
        m_lblSinRespuesta->setText(
            textos.texto(QStringLiteral("LINE_SILENT"), QStringLiteral("The board is not answering.")));
        m_btnDetener->setText(textos.texto(QStringLiteral("LINE_STOP"), QStringLiteral("Stop")));
        m_btnDetener->setEnabled(true);
    }
    const QSize tamano = size();
    setFixedSize(tamano.width(), tamano.height() + (on ? kAltoAviso : -kAltoAviso));
    m_lblSinRespuesta->setVisible(on);
    m_btnDetener->setVisible(on);
}

bool TFProgreso::sinRespuesta() const
{
    return m_sinRespuesta;
}
