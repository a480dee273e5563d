#include "Contrasenas.h"

#include "Contexto.h"
#include "EstadoPrograma.h"
#include "TF_Contra_Aplicacion.h"
#include "TF_Contrasena.h"

#include <QString>

namespace {
QString mayusculasAscii(const QString &texto)
{
    QString r = texto;
    for (QChar &c : r) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    }
    return r;
}
} // namespace

bool passwordsMatch(const QString &typed, const QString &stored)
{
    return mayusculasAscii(typed) == mayusculasAscii(stored);
}

bool Pide_Contra_Aplicacion(Contexto &ctx)
{
    if (!ctx.estado || !ctx.contraAplicacion)
        return false;
    ctx.estado->setConfirmado(false);
    ctx.contraAplicacion->exec();
    const bool correcta = ctx.estado->confirmado();
    ctx.estado->setConfirmado(false);
    return correcta;
}

void ToolPWD_APPClick(Contexto &ctx, const std::function<void(bool)> &conecta_APLICACION)
{
    if (!ctx.estado)
        return;
    if (ctx.estado->aplicacion_conectada()) {
        conecta_APLICACION(false);
        return;
    }
    if (Pide_Contra_Aplicacion(ctx))
        conecta_APLICACION(true);
}

void Contrasea1Click(Contexto &ctx)
{
    if (ctx.contrasena)
        ctx.contrasena->exec();
}
