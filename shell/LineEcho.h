#pragma once

#include <QObject>
#include <QSet>

#include <functional>

class BoardSession;
class Contexto;
class QAction;
class QMenu;

// The per-port echo setting at the end of the communication menu, what the port notices of a
// real line (once each per run, into the debug log), and the message when a session found the
// line echoing, or no longer echoing.
class LineEcho : public QObject
{
    Q_OBJECT
public:
    struct Hooks
    {
        std::function<BoardSession *()> session;
        // Runs a command as the window runs its handlers.
        std::function<void(std::function<void()>)> guard;
        // The bus scanned again once the message was shown.
        std::function<void()> rescan;
    };
    LineEcho(Contexto &ctx, QMenu &communication, Hooks hooks, QObject *parent);

    QAction *entry() const { return m_entry; }
    // Applies the stored echo setting of the port now open.
    void apply();
    // Watches the session's echo findings; call once the session exists.
    void watch(BoardSession &session);

private:
    void detected();
    void tell();

    Contexto &m_ctx;
    Hooks m_hooks;
    QAction *m_entry = nullptr;
    bool m_pending = false;
    QSet<QString> m_notices;
};
