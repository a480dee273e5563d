#include "TF_Solicita_Contra.h"

#include "Asigna_Lenguaje.h"

TF_Solicita_Contra::TF_Solicita_Contra(Contexto &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("TF_Solicita_Contra"));
    Lenguaje_F_Solicita_Contra(this, textosDe(m_ctx));
}
