#pragma once

#include "Arranque.h"
#include "BoardBus.h"
#include "BusSerialPort.h"
#include "Comunicacion_TZR.h"
#include "Configuracion.h"
#include "Contexto.h"
#include "EstadoPrograma.h"
#include "PortList.h"
#include "TFormPrincipal.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <chrono>
#include <memory>

// A run of the program on an in-process bus, in a private user folder: the ports COM1, COM3 and
// COM12 (Wine names of ttyS0, ttyS2, ttyS11), all of them reaching the same bus.
class ArranquePrueba
{
public:
    explicit ArranquePrueba(const QList<int> &placas = {},
                            std::chrono::milliseconds intervalo = std::chrono::milliseconds(20),
                            const QStringList &dispositivos = {QStringLiteral("/dev/ttyS0"),
                                                               QStringLiteral("/dev/ttyS2"),
                                                               QStringLiteral("/dev/ttyS11")})
        : m_puertos(QString(), dispositivos)
    {
        qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
        qputenv("HOME", m_dir.filePath(QStringLiteral("home")).toUtf8());
        QDir().mkpath(korvel());
        for (int n : placas)
            m_bus.addBoard(n);
        m_link.setIntervalo(intervalo);
        m_ctx.puerto = &m_port;
        m_ctx.puertos = &m_puertos;
        m_ctx.link = &m_link;
    }

    QString korvel() const { return m_dir.filePath(QStringLiteral("Korvel")); }
    QString ini() const { return korvel() + QStringLiteral("/TZR_USR.ini"); }

    void escribeIni(const QByteArray &contenido) const
    {
        QFile f(ini());
        if (f.open(QIODevice::WriteOnly))
            f.write(contenido);
    }
    QString leeIni() const
    {
        QFile f(ini());
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }

    void arranca()
    {
        m_arranque = std::make_unique<Arranque>(m_ctx);
        m_arranque->creaObjetos();
        m_arranque->creaVentanas();
    }
    void termina() { m_arranque.reset(); }

    TFormPrincipal &principal() { return *m_ctx.principal; }

    template <typename T = QObject> T *hijo(const QString &nombre)
    {
        return m_ctx.principal->findChild<T *>(nombre);
    }
    QAction *accion(const QString &nombre) { return hijo<QAction>(nombre); }

    // A menu by its menu-bar entry; an action; else a widget.
    bool habilitado(const QString &nombre)
    {
        if (auto *menu = hijo<QMenu>(nombre))
            return menu->menuAction()->isEnabled();
        if (auto *a = hijo<QAction>(nombre))
            return a->isEnabled();
        auto *w = hijo<QWidget>(nombre);
        return w && w->isEnabled();
    }

    QStringList nodos()
    {
        QStringList r;
        QTreeWidget *arbol = principal().Arbol();
        for (int i = 0; i < arbol->topLevelItemCount(); ++i)
            r << arbol->topLevelItem(i)->text(0);
        return r;
    }

    QStringList marcados()
    {
        QStringList r;
        for (QAction *a : principal().entradasPuerto()) {
            if (a->isChecked())
                r << a->text();
        }
        return r;
    }

    QList<int> sondeadas() const
    {
        QList<int> r;
        for (const BoardBus::Request &q : m_bus.requests(BoardBus::CMD_PRESENCE))
            r << q.board;
        return r;
    }

    QTemporaryDir m_dir;
    BoardBus m_bus;
    BusSerialPort m_port{m_bus};
    PortList m_puertos;
    Comunicacion_TZR m_link;
    Contexto m_ctx;
    std::unique_ptr<Arranque> m_arranque;
};

// Closes every modal message box that comes up while it lives and keeps its text.
class CierraMensajes : public QObject
{
public:
    CierraMensajes()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                m_textos << box->text();
                box->done(0);
            }
        });
        m_timer.start(5);
    }
    QStringList m_textos;

private:
    QTimer m_timer;
};
