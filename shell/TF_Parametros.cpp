#include "TF_Parametros.h"

#include "Asigna_Lenguaje.h"

TF_Parametros::TF_Parametros(Contexto &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("TF_Parametros"));
    Lenguaje_F_Parametros(this, textosDe(m_ctx));
}
