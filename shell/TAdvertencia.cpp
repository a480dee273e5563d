#include "TAdvertencia.h"

#include "Asigna_Lenguaje.h"

TAdvertencia::TAdvertencia(Contexto &ctx, QWidget *parent)
    : WarningDialog(ctx, QStringLiteral("TAdvertencia"), QSize(329, 184), parent)
{
    Lenguaje_Advertencia(this, textosDe(ctx));
}
