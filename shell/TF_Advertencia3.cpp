#include "TF_Advertencia3.h"

#include "Asigna_Lenguaje.h"
#include "TextosContexto.h"

#include <QCheckBox>
#include <QVBoxLayout>

TF_Advertencia3::TF_Advertencia3(Contexto &ctx, QWidget *parent)
    : WarningDialog(ctx, QStringLiteral("TF_Advertencia3"), QSize(328, 182), parent)
{
    Lenguaje_F_Advertencia3(this, textosDe(ctx));
    m_Verificar = new QCheckBox(this);
    m_Verificar->setObjectName(QStringLiteral("Verificar"));
    m_Verificar->setText(TextosContexto(ctx).texto(QStringLiteral("ADV3_VERIFY"),
                                                   QStringLiteral("Read back the codes afterwards")));
    // Above the buttons, the last item of the dialog's column.
    if (auto *columna = qobject_cast<QVBoxLayout *>(layout()))
        columna->insertWidget(columna->count() - 1, m_Verificar);
}

bool TF_Advertencia3::verificar() const
{
    return m_Verificar->isChecked();
}

void TF_Advertencia3::showEvent(QShowEvent *event)
{
    m_Verificar->setChecked(false);
    WarningDialog::showEvent(event);
}
