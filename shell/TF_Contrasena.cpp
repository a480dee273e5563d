#include "TF_Contrasena.h"

#include "Asigna_Lenguaje.h"
#include "Configuracion.h"
#include "Contexto.h"
#include "Contrasenas.h"
#include "DialogSize.h"
#include "ErrorBox.h"
#include "TF_ShowMessage.h"
#include "TextLookup.h"
#include "TzrError.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr QSize kTamano{225, 250};
constexpr int kMaximo = 30;

QLineEdit *campoContrasena(QWidget *padre, const char *nombre)
{
    auto *campo = new QLineEdit(padre);
    campo->setObjectName(QString::fromLatin1(nombre));
    campo->setEchoMode(QLineEdit::Password);
    campo->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    campo->setMaxLength(kMaximo);
    return campo;
}

QPushButton *boton(QWidget *padre, const char *nombre)
{
    auto *b = new QPushButton(padre);
    b->setObjectName(QString::fromLatin1(nombre));
    // Enter is routed by the fields themselves; a default button would answer it again.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}
} // namespace

TF_Contrasena::TF_Contrasena(Contexto &ctx, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_ctx(ctx)
{
    setObjectName(QStringLiteral("TF_Contrasena"));
    setFixedSize(kTamano);

    auto *label1 = new QLabel(this);
    label1->setObjectName(QStringLiteral("Label1"));
    m_Ant_Contra = campoContrasena(this, "Ant_Contra");
    QPushButton *validar = boton(this, "Validar");
    m_L2 = new QLabel(this);
    m_L2->setObjectName(QStringLiteral("L2"));
    m_NContra = campoContrasena(this, "NContra");
    m_L3 = new QLabel(this);
    m_L3->setObjectName(QStringLiteral("L3"));
    m_NContra_Valida = campoContrasena(this, "NContra_Valida");
    m_Aceptar1 = boton(this, "Aceptar1");
    QPushButton *cancelar1 = boton(this, "Cancelar1");

    connect(m_Ant_Contra, &QLineEdit::returnPressed, this, &TF_Contrasena::ValidarClick);
    connect(validar, &QPushButton::clicked, this, &TF_Contrasena::ValidarClick);
    connect(m_NContra, &QLineEdit::returnPressed, this, [this] { m_NContra_Valida->setFocus(); });
    connect(m_NContra_Valida, &QLineEdit::returnPressed, this, [this] {
        if (m_Aceptar1->isEnabled())
            Aceptar1Click();
    });
    connect(m_Aceptar1, &QPushButton::clicked, this, &TF_Contrasena::Aceptar1Click);
    connect(cancelar1, &QPushButton::clicked, this, &TF_Contrasena::Cancelar1Click);

    auto *actual = new QHBoxLayout;
    actual->addWidget(m_Ant_Contra, 1);
    actual->addWidget(validar);
    auto *botones = new QHBoxLayout;
    botones->addWidget(m_Aceptar1);
    botones->addStretch();
    botones->addWidget(cancelar1);
    auto *todo = new QVBoxLayout(this);
    todo->addWidget(label1);
    todo->addLayout(actual);
    todo->addSpacing(8);
    todo->addWidget(m_L2);
    todo->addWidget(m_NContra);
    todo->addWidget(m_L3);
    todo->addWidget(m_NContra_Valida);
    todo->addStretch();
    todo->addLayout(botones);

    Lenguaje_F_Contrasena(this, textosDe(ctx));
}

void TF_Contrasena::habilitaNueva(bool on)
{
    for (QWidget *w : std::initializer_list<QWidget *>{m_L2, m_L3, m_NContra, m_NContra_Valida, m_Aceptar1})
        w->setEnabled(on);
}

void TF_Contrasena::ValidarClick()
{
    const bool correcta =
        m_ctx.configuracion && passwordsMatch(m_Ant_Contra->text(), m_ctx.configuracion->PWD());
    habilitaNueva(correcta);
    if (correcta)
        m_NContra->setFocus();
}

void TF_Contrasena::Aceptar1Click()
{
    if (m_NContra->text().isEmpty()) {
        QApplication::beep();
        return;
    }
    if (m_NContra->text() != m_NContra_Valida->text()) {
        const TextLookup &textos = textosDe(m_ctx);
        showMessage(m_ctx, textos.texto(QStringLiteral("F_SHOW_M11"), falloGeneral()),
                    textos.texto(QStringLiteral("F_SHOW_M12"), falloGeneral()));
        // Active again once the box closes, whether or not the window system reports it.
        FormActivate();
        return;
    }
    if (!m_ctx.configuracion)
        return;
    m_ctx.configuracion->setPWD(m_NContra->text());
    try {
        m_ctx.configuracion->Guarda_Configuracion();
    } catch (const TzrError &e) {
        showErrorBox(this, e.message());
        return;
    }
    accept();
}

void TF_Contrasena::Cancelar1Click()
{
    reject();
}

void TF_Contrasena::showEvent(QShowEvent *event)
{
    habilitaNueva(false);
    m_Ant_Contra->clear();
    m_NContra->clear();
    m_NContra_Valida->clear();
    fitFixedSize(this, kTamano);
    QDialog::showEvent(event);
    m_Ant_Contra->setFocus();
}

void TF_Contrasena::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TF_Contrasena::FormActivate()
{
    m_Ant_Contra->clear();
    m_NContra->clear();
    m_NContra_Valida->clear();
    m_Ant_Contra->setFocus();
}
