#include "LineEcho.h"

#include "Asigna_Lenguaje.h"
#include "BoardSession.h"
#include "Contexto.h"
#include "TF_ShowMessage.h"
#include "TextLookup.h"

#include <QAction>
#include <QMenu>
#include <QTimer>

#include <chrono>

namespace {

// How often a detected echo checks whether the operation that met it has ended.
constexpr std::chrono::milliseconds EsperaFinOperacion{50};

} // namespace

LineEcho::LineEcho(Contexto &ctx, QMenu &communication, Hooks hooks, QObject *parent)
    : QObject(parent), m_ctx(ctx), m_hooks(std::move(hooks))
{
    communication.addSeparator()->setObjectName(QStringLiteral("N_Linea"));
    m_entry = new QAction(QStringLiteral("Line echoes what is sent"), parent);
    m_entry->setObjectName(QStringLiteral("miEcoLinea"));
    m_entry->setCheckable(true);
    communication.addAction(m_entry);
    connect(m_entry, &QAction::triggered, this, [this](bool on) {
        m_hooks.guard([this, on] {
            if (BoardSession *s = m_hooks.session())
                s->setEchoes(on);
        });
    });
    connect(&communication, &QMenu::aboutToShow, this, [this] {
        m_entry->setText(
            textosDe(m_ctx).texto(QStringLiteral("LINE_ECHO_MENU"), QStringLiteral("Line echoes what is sent")));
        BoardSession *s = m_ctx.sesion;
        m_entry->setChecked(s && s->lineEchoes());
        m_entry->setEnabled(s && s->isOpen() && !s->busy());
    });
    if (BoardSession *s = m_ctx.sesion) {
        // Once per run, and only once it reached a debug log (lines before the debug window
        // exists are dropped, as at start-up).
        connect(s, &BoardSession::portNotice, this, [this, s](const QString &text) {
            if (!s->logging() || m_notices.contains(text))
                return;
            m_notices.insert(text);
            s->log(text);
        });
    }
}

void LineEcho::apply()
{
    if (BoardSession *s = m_hooks.session())
        s->applyEchoSetting();
}

void LineEcho::watch(BoardSession &session)
{
    connect(&session, &BoardSession::echoDetected, this, &LineEcho::detected);
    connect(&session, &BoardSession::echoGone, this, &LineEcho::detected);
}

// The session has turned echo handling on or off and saved the setting.
void LineEcho::detected()
{
    if (m_pending)
        return;
    m_pending = true;
    QTimer::singleShot(0, this, &LineEcho::tell);
}

// The detection happens inside an exchange; the message and the new scan wait until the
// operation that met the echo has finished with the link.
void LineEcho::tell()
{
    BoardSession *s = m_ctx.sesion;
    if (s && s->busy()) {
        QTimer::singleShot(EsperaFinOperacion, this, &LineEcho::tell);
        return;
    }
    m_pending = false;
    const TextLookup &textos = textosDe(m_ctx);
    const QString puerto = s ? s->portName() : QString();
    // Either way round: the port's setting now says what was found.
    if (s && !s->lineEchoes())
        showSuccess(m_ctx,
                    textos.texto(QStringLiteral("LINE_NOECHO_1"),
                                 QStringLiteral("The line on %1 does not echo what is sent."))
                        .arg(puerto),
                    textos.texto(QStringLiteral("LINE_NOECHO_2"),
                                 QStringLiteral("Echo handling is now off for this port; the bus is scanned again.")));
    else
        showSuccess(
            m_ctx,
            textos.texto(QStringLiteral("LINE_ECHO_1"), QStringLiteral("The line on %1 echoes what is sent."))
                .arg(puerto),
            textos.texto(QStringLiteral("LINE_ECHO_2"),
                         QStringLiteral("Echo handling is now on for this port; the bus is scanned again.")));
    if (s && s->isOpen())
        m_hooks.guard(m_hooks.rescan);
}
