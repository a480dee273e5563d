#pragma once

#include <QIcon>

class QAction;

// The indexes of the tool buttons' and menus' pictures in ImageList2.
constexpr int IMG_NUEVO = 0;
constexpr int IMG_ABRIR = 1;
constexpr int IMG_GUARDAR = 2;
constexpr int IMG_SALIR = 5;
constexpr int IMG_DESBLOQUEADO = 21;
constexpr int IMG_ENVIAR = 23;
constexpr int IMG_RECIBIR = 24;
constexpr int IMG_TEST = 25;
constexpr int IMG_PARAMETROS = 26;
constexpr int IMG_ORDEN = 27;
constexpr int IMG_BLOQUEADO = 28;
constexpr int IMG_EXCEL = 30;
constexpr int IMG_DESCONECTADO = 31;
constexpr int IMG_CONECTADO = 32;

// The pictures of the tool buttons, the menus and the tree's nodes.
class ToolImages
{
public:
    // ImageList2: by index, a null icon where unused.
    static QIcon ImageList2(int index);
    // ImageList1: the tree's node picture.
    static QIcon ImageList1(int index);
    // Sets an action's picture from ImageList2 and remembers the index ("ImageIndex" property).
    static void setImageIndex(QAction *action, int index);
    static int imageIndex(const QAction *action);
};
