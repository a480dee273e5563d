#pragma once

#include <QApplication>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs an action once on the first visible modal window of type T, from inside that window's own
// exec(). It polls, so it also finds a window that opens after long exchanges have pumped events.
template <typename T> class AlAbrir : public QObject
{
public:
    explicit AlAbrir(std::function<void(T *)> accion) : m_accion(std::move(accion))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *ventana = qobject_cast<T *>(QApplication::activeModalWidget());
            if (!ventana || !ventana->isVisible())
                return;
            m_timer.stop();
            m_hecho = true;
            m_accion(ventana);
        });
        m_timer.start(5);
    }

    bool hecho() const { return m_hecho; }

private:
    std::function<void(T *)> m_accion;
    QTimer m_timer;
    bool m_hecho = false;
};
