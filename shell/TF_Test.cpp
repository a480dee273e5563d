#include "TF_Test.h"

#include "Asigna_Lenguaje.h"

TF_Test::TF_Test(Contexto &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("TF_Test"));
    Lenguaje_F_Test(this, textosDe(m_ctx));
}
