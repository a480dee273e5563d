#pragma once

#include "DataFileRef.h"

#include <QObject>

#include <functional>

class Contexto;
class QAction;
class QMenu;
class QWidget;

// The File menu's "History…": the jobs run with the open data file, as its history records them,
// in a dialog of its own. The entry is on while a data file is open.
class HistoryMenu : public QObject
{
    Q_OBJECT
public:
    struct Hooks
    {
        std::function<DataFileRef()> openFile;
        // Runs the command as the window runs its handlers.
        std::function<void(std::function<void()>)> guard;
        // Says why the history cannot be shown.
        std::function<void(const QString &)> error;
    };
    // The entry goes after the menu's entries, before the separator N4 and Exit; dialogs are
    // children of window.
    HistoryMenu(Contexto &ctx, QMenu &file, QWidget &window, Hooks hooks);

    QAction *entry() const { return m_entry; }
    void show();

private:
    Contexto &m_ctx;
    QWidget &m_window;
    Hooks m_hooks;
    QAction *m_entry = nullptr;
};
