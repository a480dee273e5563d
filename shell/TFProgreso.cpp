#include "TFProgreso.h"

#include "Asigna_Lenguaje.h"
#include "Contexto.h"
#include "Recursos.h"
#include "WindowSet.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace {
constexpr QSize kTamano{277, 38};
constexpr int kIcono = 24;
constexpr int kMaximoInicial = 350;
constexpr int kAltoBarra = 8;
} // namespace

TFProgreso::TFProgreso(Contexto &ctx, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_ctx(ctx)
{
    setObjectName(QStringLiteral("TFProgreso"));
    setFixedSize(kTamano);
    setModal(false);
    setAttribute(Qt::WA_ShowWithoutActivating);

    auto *image1 = new QLabel(this);
    image1->setObjectName(QStringLiteral("Image1"));
    cargaRecursos();
    image1->setPixmap(QPixmap(QStringLiteral(":/tzr/board.png"))
                          .scaled(kIcono, kIcono, Qt::KeepAspectRatio, Qt::SmoothTransformation));

    m_Mensaje = new QLabel(this);
    m_Mensaje->setObjectName(QStringLiteral("Mensaje"));
    m_lblUsers = new QLabel(this);
    m_lblUsers->setObjectName(QStringLiteral("lblUsers"));
    m_lblUsers->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_Barra_Progreso = new QProgressBar(this);
    m_Barra_Progreso->setObjectName(QStringLiteral("Barra_Progreso"));
    m_Barra_Progreso->setRange(0, kMaximoInicial);
    m_Barra_Progreso->setValue(0);
    m_Barra_Progreso->setTextVisible(false);
    m_Barra_Progreso->setFixedHeight(kAltoBarra);

    auto *rejilla = new QGridLayout(this);
    rejilla->setContentsMargins(3, 2, 3, 2);
    rejilla->setVerticalSpacing(1);
    rejilla->addWidget(image1, 0, 0, 2, 1);
    rejilla->addWidget(m_Mensaje, 0, 1);
    rejilla->addWidget(m_lblUsers, 0, 2);
    rejilla->addWidget(m_Barra_Progreso, 1, 1, 1, 2);
    rejilla->setColumnStretch(1, 1);
    creaAvisoSinRespuesta(rejilla);

    Lenguaje_FProgreso(this, textosDe(ctx));
    m_lblUsers->clear();
}

void TFProgreso::display()
{
    show();
}

void TFProgreso::dismiss()
{
    hide();
    if (m_cancelable)
        retiraCancelar();
}

void TFProgreso::setMessage(const QString &text)
{
    m_Mensaje->setText(text);
}

void TFProgreso::setMaximum(int maximum)
{
    m_Barra_Progreso->setMaximum(maximum);
}

void TFProgreso::setPosition(int position)
{
    // A bar ignores a value outside its range; a count past the end shows as full instead.
    m_Barra_Progreso->setValue(
        std::clamp(position, m_Barra_Progreso->minimum(), m_Barra_Progreso->maximum()));
}

int TFProgreso::position() const
{
    return m_Barra_Progreso->value();
}

void TFProgreso::setCounter(const QString &text)
{
    m_lblUsers->setText(text);
}

void TFProgreso::setUserInHand(const QString &text)
{
    QWidget *principal = WindowSet::of(m_ctx).principal;
    if (!principal)
        return;
    if (auto *label = principal->findChild<QLabel *>(QStringLiteral("L_Usuario_Proceso")))
        label->setText(text);
}

QString TFProgreso::mensaje() const
{
    return m_Mensaje->text();
}

int TFProgreso::maximo() const
{
    return m_Barra_Progreso->maximum();
}

QString TFProgreso::contador() const
{
    return m_lblUsers->text();
}
