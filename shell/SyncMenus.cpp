#include "SyncMenus.h"

#include "Asigna_Lenguaje.h"
#include "TextLookup.h"

#include <QAction>
#include <QMenu>

SyncMenus::SyncMenus(Contexto &ctx, QMenu &communication, QMenu &tools, QAction &receive, QObject &owner,
                     const std::function<void(QAction *, std::function<void()>)> &connect, const Commands &commands)
{
    struct Entry
    {
        const char *name;
        const char *key;
        const char *text;
        QMenu *menu;
        std::function<void()> command;
    };
    const Entry entries[] = {
        {"CompararSistema1", "SYNC_MENU_COMPARE", "Compare with system", &communication, commands.compare},
        {"EnviarCambios1", "SYNC_MENU_SEND_CHANGES", "Send changes to system", &communication, commands.sendChanges},
        {"GuardarImagen1", "SYNC_MENU_SAVE_IMAGE", "Save system image…", &tools, commands.saveImage},
        {"RestaurarImagen1", "SYNC_MENU_RESTORE_IMAGE", "Restore system image…", &tools, commands.restoreImage},
    };
    communication.addSeparator()->setObjectName(QStringLiteral("N_Sincronia"));
    tools.addSeparator()->setObjectName(QStringLiteral("N_Imagen"));
    for (const Entry &e : entries) {
        auto *a = new QAction(QString::fromUtf8(e.text), &owner);
        a->setObjectName(QString::fromLatin1(e.name));
        a->setEnabled(false);
        e.menu->addAction(a);
        connect(a, e.command);
        // They need a connected board, as receiving does, and are off while a transfer runs.
        QObject::connect(&receive, &QAction::changed, a, [a, &receive] { a->setEnabled(receive.isEnabled()); });
        const auto caption = [&ctx, key = e.key, text = e.text] {
            return textosDe(ctx).texto(QString::fromLatin1(key), QString::fromUtf8(text));
        };
        // Captions follow the language chosen, read when the menu opens.
        QObject::connect(e.menu, &QMenu::aboutToShow, a, [a, caption] { a->setText(caption()); });
        a->setText(caption());
    }
}
