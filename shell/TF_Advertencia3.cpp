#include "TF_Advertencia3.h"

#include "Asigna_Lenguaje.h"

TF_Advertencia3::TF_Advertencia3(Contexto &ctx, QWidget *parent)
    : WarningDialog(ctx, QStringLiteral("TF_Advertencia3"), QSize(328, 182), parent)
{
    Lenguaje_F_Advertencia3(this, textosDe(ctx));
}
