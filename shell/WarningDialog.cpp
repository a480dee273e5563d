#include "WarningDialog.h"

#include "Contexto.h"
#include "DialogSize.h"
#include "EstadoPrograma.h"
#include "FicheroActual.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
constexpr int kIcono = 32;
constexpr qreal kAumentoTitulo = 1.4;

QLabel *etiqueta(QWidget *padre, const char *nombre)
{
    auto *label = new QLabel(padre);
    label->setObjectName(QString::fromLatin1(nombre));
    return label;
}

void rojaNegrita(QLabel *label, qreal escala)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(p);
    QFont f = label->font();
    f.setBold(true);
    if (escala != 1.0)
        f.setPointSizeF(f.pointSizeF() * escala);
    label->setFont(f);
}
} // namespace

WarningDialog::WarningDialog(Contexto &ctx, const QString &nombre, QSize tamano, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_ctx(ctx), m_tamano(tamano)
{
    setObjectName(nombre);
    setFixedSize(tamano);

    QLabel *label1 = etiqueta(this, "Label1");
    rojaNegrita(label1, kAumentoTitulo);
    QLabel *image1 = etiqueta(this, "Image1");
    image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(kIcono, kIcono));
    QLabel *label2 = etiqueta(this, "Label2");
    QLabel *label3 = etiqueta(this, "Label3");
    m_L_Fic = etiqueta(this, "L_Fic");
    rojaNegrita(m_L_Fic, 1.0);
    QLabel *label4 = etiqueta(this, "Label4");
    QLabel *label5 = etiqueta(this, "Label5");

    m_Aceptar = new QPushButton(this);
    m_Aceptar->setObjectName(QStringLiteral("Aceptar"));
    auto *cancelar = new QPushButton(this);
    cancelar->setObjectName(QStringLiteral("Cancelar"));
    connect(m_Aceptar, &QPushButton::clicked, this, &WarningDialog::AceptarClick);
    connect(cancelar, &QPushButton::clicked, this, &WarningDialog::CancelarClick);

    auto *fichero = new QHBoxLayout;
    fichero->addWidget(label3);
    fichero->addWidget(m_L_Fic, 1);
    auto *texto = new QVBoxLayout;
    texto->addWidget(label2);
    texto->addLayout(fichero);
    texto->addSpacing(6);
    texto->addWidget(label4);
    texto->addWidget(label5);
    auto *centro = new QHBoxLayout;
    centro->addWidget(image1, 0, Qt::AlignTop);
    centro->addLayout(texto, 1);
    auto *botones = new QHBoxLayout;
    botones->addWidget(m_Aceptar);
    botones->addStretch();
    botones->addWidget(cancelar);
    auto *todo = new QVBoxLayout(this);
    todo->addWidget(label1);
    todo->addLayout(centro, 1);
    todo->addLayout(botones);
    setTabOrder(m_Aceptar, cancelar);
}

void WarningDialog::AceptarClick()
{
    if (m_ctx.estado)
        m_ctx.estado->setConfirmado(true);
    accept();
}

void WarningDialog::CancelarClick()
{
    reject();
}

QString WarningDialog::nombreFichero() const
{
    return m_L_Fic->text();
}

void WarningDialog::showEvent(QShowEvent *event)
{
    if (m_ctx.estado)
        m_ctx.estado->setConfirmado(false);
    m_L_Fic->setText(m_ctx.fichero ? m_ctx.fichero->Nombre_Tabla() : QString());
    fitFixedSize(this, m_tamano);
    QDialog::showEvent(event);
    m_Aceptar->setFocus();
}

void WarningDialog::reject()
{
    if (m_ctx.estado)
        m_ctx.estado->setConfirmado(false);
    QDialog::reject();
}
