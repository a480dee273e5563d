#include "ToolImages.h"

#include <QAction>
#include <QMap>

namespace {

const char *const PROP_IMAGEN = "ImageIndex";

} // namespace

QIcon ToolImages::ImageList2(int index)
{
    static const QMap<int, QString> recursos{
        {IMG_NUEVO, QStringLiteral("nuevo")},
        {IMG_ABRIR, QStringLiteral("abrir")},
        {IMG_GUARDAR, QStringLiteral("guardar")},
        {IMG_SALIR, QStringLiteral("salir")},
        {IMG_DESBLOQUEADO, QStringLiteral("candado_abierto")},
        {IMG_ENVIAR, QStringLiteral("enviar")},
        {IMG_RECIBIR, QStringLiteral("recibir")},
        {IMG_TEST, QStringLiteral("test")},
        {IMG_PARAMETROS, QStringLiteral("parametros")},
        {IMG_ORDEN, QStringLiteral("ordenar")},
        {IMG_BLOQUEADO, QStringLiteral("candado_cerrado")},
        {IMG_EXCEL, QStringLiteral("excel")},
        {IMG_DESCONECTADO, QStringLiteral("desconectado")},
        {IMG_CONECTADO, QStringLiteral("conectado")},
    };
    const auto it = recursos.constFind(index);
    if (it == recursos.constEnd())
        return {};
    return QIcon(QStringLiteral(":/tzr/%1.png").arg(*it));
}

QIcon ToolImages::ImageList1(int index)
{
    return index == 0 ? QIcon(QStringLiteral(":/tzr/board.png")) : QIcon();
}

void ToolImages::setImageIndex(QAction *action, int index)
{
    action->setProperty(PROP_IMAGEN, index);
    action->setIcon(ImageList2(index));
}

int ToolImages::imageIndex(const QAction *action)
{
    const QVariant v = action->property(PROP_IMAGEN);
    return v.isValid() ? v.toInt() : -1;
}
