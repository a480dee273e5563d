#pragma once

#include <functional>

class Contexto;
class QAction;
class QMenu;
class QObject;

// The entries beyond the two full transfers: compare and send of changes in the communication
// menu, save and restore of a board's image in the tools menu. They are on while receiving is,
// and their captions follow the language chosen.
class SyncMenus
{
public:
    struct Commands
    {
        std::function<void()> compare;
        std::function<void()> sendChanges;
        std::function<void()> saveImage;
        std::function<void()> restoreImage;
    };
    // connect runs an entry's command (the window guards it); the entries are owned by owner.
    SyncMenus(Contexto &ctx, QMenu &communication, QMenu &tools, QAction &receive, QObject &owner,
              const std::function<void(QAction *, std::function<void()>)> &connect, const Commands &commands);
};
