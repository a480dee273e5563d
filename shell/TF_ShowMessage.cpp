#include "TF_ShowMessage.h"

#include "Contexto.h"
#include "DialogSize.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
constexpr QSize kTamano{347, 98};
constexpr int kIcono = 32;
} // namespace

TF_ShowMessage::TF_ShowMessage(Contexto &, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("TF_ShowMessage"));
    setWindowTitle(QStringLiteral("TZRUsers"));
    setFixedSize(kTamano);

    auto *icono = new QLabel(this);
    icono->setObjectName(QStringLiteral("Image1"));
    icono->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(kIcono, kIcono));

    m_MiMensaje1 = new QLabel(this);
    m_MiMensaje1->setObjectName(QStringLiteral("MiMensaje1"));
    m_MiMensaje2 = new QLabel(this);
    m_MiMensaje2->setObjectName(QStringLiteral("MiMensaje2"));
    // Red is the box's own colour; only a success is drawn otherwise (muestra).
    QPalette rojo = palette();
    rojo.setColor(QPalette::WindowText, Qt::red);
    for (QLabel *linea : {m_MiMensaje1, m_MiMensaje2}) {
        linea->setPalette(rojo);
        linea->setWordWrap(false);
    }

    m_B_OK = new QPushButton(QStringLiteral("OK"), this);
    m_B_OK->setObjectName(QStringLiteral("B_OK"));
    m_B_OK->setFlat(true);
    m_B_OK->setFocusPolicy(Qt::NoFocus);
    m_B_OK->setAutoDefault(false);
    m_B_OK->setDefault(false);
    connect(m_B_OK, &QPushButton::clicked, this, &TF_ShowMessage::B_OKClick);

    auto *lineas = new QVBoxLayout;
    lineas->addWidget(m_MiMensaje1);
    lineas->addWidget(m_MiMensaje2);
    auto *arriba = new QHBoxLayout;
    arriba->addWidget(icono, 0, Qt::AlignTop);
    arriba->addLayout(lineas, 1);
    auto *abajo = new QHBoxLayout;
    abajo->addStretch();
    abajo->addWidget(m_B_OK);
    abajo->addStretch();
    auto *todo = new QVBoxLayout(this);
    todo->addLayout(arriba, 1);
    todo->addLayout(abajo);
}

void TF_ShowMessage::showTwoLines(const QString &line1, const QString &line2)
{
    muestra(line1, line2, true);
}

void TF_ShowMessage::mostrarExito(const QString &line1, const QString &line2)
{
    muestra(line1, line2, false);
}

void TF_ShowMessage::muestra(const QString &line1, const QString &line2, bool aviso)
{
    QPalette colores = palette();
    if (aviso)
        colores.setColor(QPalette::WindowText, Qt::red);
    for (QLabel *linea : {m_MiMensaje1, m_MiMensaje2})
        linea->setPalette(colores);
    m_MiMensaje1->setText(line1);
    m_MiMensaje2->setText(line2);
    fitFixedSize(this, kTamano);
    // The window the box covered is activated again when it closes, as on the original
    // platform; without a window manager nothing else would hand the activation back.
    const QPointer<QWidget> cubierta = QApplication::activeWindow();
    exec();
    if (cubierta && cubierta != this && cubierta->isVisible())
        cubierta->activateWindow();
}

QString TF_ShowMessage::linea1() const
{
    return m_MiMensaje1->text();
}

QString TF_ShowMessage::linea2() const
{
    return m_MiMensaje2->text();
}

void TF_ShowMessage::B_OKClick()
{
    accept();
}

void TF_ShowMessage::keyPressEvent(QKeyEvent *event)
{
    // Closed from the keyboard too, as the warning and code dialogs are.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        event->accept();
        B_OKClick();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void showMessage(Contexto &ctx, const QString &line1, const QString &line2)
{
    if (ctx.showMessage) {
        ctx.showMessage->showTwoLines(line1, line2);
        return;
    }
    TF_ShowMessage pasajero(ctx);
    pasajero.showTwoLines(line1, line2);
}

void showSuccess(Contexto &ctx, const QString &line1, const QString &line2)
{
    if (ctx.showMessage) {
        ctx.showMessage->mostrarExito(line1, line2);
        return;
    }
    TF_ShowMessage pasajero(ctx);
    pasajero.mostrarExito(line1, line2);
}
