#include "TF_Mensaje_Parametros.h"

#include "Asigna_Lenguaje.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
constexpr int kIcono = 32;
constexpr int kAnchoLineas = 200;
} // namespace

TF_Mensaje_Parametros::TF_Mensaje_Parametros(Contexto &ctx, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_ctx(ctx)
{
    setObjectName(QStringLiteral("TF_Mensaje_Parametros"));
    setWindowTitle(QStringLiteral("TZRUsers"));

    auto *imagen = new QLabel(this);
    imagen->setObjectName(QStringLiteral("Image1"));
    imagen->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(kIcono, kIcono));
    auto *l1 = new QLabel(QStringLiteral("No changes made"), this);
    l1->setObjectName(QStringLiteral("L1"));
    l1->setMinimumWidth(kAnchoLineas);
    m_L2 = new QLabel(QStringLiteral("Test values"), this);
    m_L2->setObjectName(QStringLiteral("L2"));
    QFont negrita = m_L2->font();
    negrita.setBold(true);
    m_L2->setFont(negrita);

    auto *aceptar = new QPushButton(QStringLiteral("OK"), this);
    aceptar->setObjectName(QStringLiteral("B_Aceptar"));
    connect(aceptar, &QPushButton::clicked, this, &TF_Mensaje_Parametros::B_AceptarClick);

    auto *lineas = new QVBoxLayout;
    lineas->addWidget(l1);
    lineas->addWidget(m_L2);
    auto *arriba = new QHBoxLayout;
    arriba->addWidget(imagen, 0, Qt::AlignTop);
    arriba->addLayout(lineas, 1);
    auto *abajo = new QHBoxLayout;
    abajo->addStretch();
    abajo->addWidget(aceptar);
    abajo->addStretch();
    auto *todo = new QVBoxLayout(this);
    todo->addLayout(arriba, 1);
    todo->addLayout(abajo);
    // The dialog fits its texts in every language and cannot be resized.
    todo->setSizeConstraint(QLayout::SetFixedSize);

    Lenguaje_F_Mensaje_Parametros(this, textosDe(m_ctx));
}

void TF_Mensaje_Parametros::mostrar(const QString &campo)
{
    m_L2->setText(campo);
    exec();
}

QString TF_Mensaje_Parametros::L2() const
{
    return m_L2->text();
}

void TF_Mensaje_Parametros::B_AceptarClick()
{
    accept();
}
