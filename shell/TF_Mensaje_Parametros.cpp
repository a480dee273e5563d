#include "TF_Mensaje_Parametros.h"

#include "Asigna_Lenguaje.h"

TF_Mensaje_Parametros::TF_Mensaje_Parametros(Contexto &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("TF_Mensaje_Parametros"));
    Lenguaje_F_Mensaje_Parametros(this, textosDe(m_ctx));
}
