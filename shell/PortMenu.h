#pragma once

#include <QList>
#include <QString>

#include <functional>

class Contexto;
class QAction;
class QMenu;
class QObject;
class QWidget;

// The port menu (Configuracin1): one checkable entry per serial port the program can store in
// ComPort, the named network ports, "Network ports…", and the panel parameters last.
class PortMenu
{
public:
    struct Handlers
    {
        // A port entry was chosen.
        std::function<void(QAction *)> choose;
        // How the menu's other entries run their commands (the window guards them).
        std::function<void(QAction *, std::function<void()>)> connect;
        std::function<void()> parameters;
    };
    // The entries are owned by owner (the menu bar), the dialogs by dialogParent.
    PortMenu(Contexto &ctx, QMenu &menu, QObject &owner, QWidget &dialogParent, Handlers handlers);

    // The number in a port name: every "COM" (any case) removed, the rest read as a decimal
    // integer. Raises ConversionError when that is not a number.
    static int comNumber(const QString &name);
    // The name an entry opens: the serial port's text or the network port's name.
    static QString portNameOf(const QAction *entry);

    // The entries for the ports present now.
    void list();
    void list(const QStringList &names);
    // Lists the ports again (adapters plugged in or out) keeping the open port checked.
    void refresh();
    const QList<QAction *> &entries() const { return m_entries; }
    void uncheckAll();
    // The entry of the port saved in ComPort; null when that port is not present.
    QAction *savedEntry() const;
    // The saved port's name as the user knows it (COMn for a number).
    QString savedName() const;
    void editNetworkPorts();

private:
    bool isOpenOn(const QString &name) const;

    void listNetworkPorts();
    QString usersIni() const;

    Contexto &m_ctx;
    QMenu &m_menu;
    QObject &m_owner;
    QWidget &m_dialogParent;
    Handlers m_handlers;
    QList<QAction *> m_entries;
};
