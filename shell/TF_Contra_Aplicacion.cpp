#include "TF_Contra_Aplicacion.h"

#include "Asigna_Lenguaje.h"
#include "Configuracion.h"
#include "Contexto.h"
#include "Contrasenas.h"
#include "DialogSize.h"
#include "EstadoPrograma.h"
#include "Recursos.h"
#include "TF_ShowMessage.h"
#include "TextLookup.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

namespace {
constexpr QSize kTamano{284, 116};
constexpr int kMaximo = 50;
constexpr int kIcono = 32;

// Turns every typed character into its capital as it is typed, one for one, ñ included.
class Mayusculas : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        for (QChar &c : input)
            c = c.toUpper();
        return Acceptable;
    }
};
} // namespace

TF_Contra_Aplicacion::TF_Contra_Aplicacion(Contexto &ctx, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_ctx(ctx)
{
    setObjectName(QStringLiteral("TF_Contra_Aplicacion"));
    setFixedSize(kTamano);

    auto *icono = new QLabel(this);
    icono->setObjectName(QStringLiteral("Image1"));
    cargaRecursos();
    icono->setPixmap(QPixmap(QStringLiteral(":/tzr/candado_cerrado.png"))
                         .scaled(kIcono, kIcono, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    auto *label1 = new QLabel(this);
    label1->setObjectName(QStringLiteral("Label1"));
    auto *label2 = new QLabel(this);
    label2->setObjectName(QStringLiteral("Label2"));

    m_E_Contra = new QLineEdit(this);
    m_E_Contra->setObjectName(QStringLiteral("E_Contra"));
    m_E_Contra->setEchoMode(QLineEdit::Password);
    m_E_Contra->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    m_E_Contra->setMaxLength(kMaximo);
    m_E_Contra->setValidator(new Mayusculas(m_E_Contra));

    auto *aceptar = new QPushButton(this);
    aceptar->setObjectName(QStringLiteral("Aceptar"));
    auto *cancelar = new QPushButton(this);
    cancelar->setObjectName(QStringLiteral("Cancelar"));
    // Enter belongs to E_Contra alone; a default button would answer it a second time.
    for (QPushButton *b : {aceptar, cancelar}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(m_E_Contra, &QLineEdit::returnPressed, this, &TF_Contra_Aplicacion::AceptarClick);
    connect(aceptar, &QPushButton::clicked, this, &TF_Contra_Aplicacion::AceptarClick);
    connect(cancelar, &QPushButton::clicked, this, &TF_Contra_Aplicacion::CancelarClick);

    auto *texto = new QVBoxLayout;
    texto->setSpacing(0);
    texto->addWidget(label1);
    texto->addWidget(label2);
    texto->addWidget(m_E_Contra);
    auto *arriba = new QHBoxLayout;
    arriba->addWidget(icono, 0, Qt::AlignTop);
    arriba->addLayout(texto, 1);
    auto *botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(aceptar);
    botones->addWidget(cancelar);
    auto *todo = new QVBoxLayout(this);
    todo->addLayout(arriba, 1);
    todo->addLayout(botones);

    Lenguaje_F_Contra_Aplicacion(this, textosDe(ctx));
}

void TF_Contra_Aplicacion::AceptarClick()
{
    if (m_ctx.configuracion && passwordsMatch(m_E_Contra->text(), m_ctx.configuracion->PWD())) {
        if (m_ctx.estado)
            m_ctx.estado->setConfirmado(true);
        accept();
        return;
    }
    if (m_ctx.estado)
        m_ctx.estado->setConfirmado(false);
    showMessage(m_ctx, textosDe(m_ctx).texto(QStringLiteral("F_SHOW_M13"), falloGeneral()));
    // The prompt is the active window again once the box closes, whether or not the window
    // system reports it.
    FormActivate();
}

void TF_Contra_Aplicacion::CancelarClick()
{
    reject();
}

void TF_Contra_Aplicacion::showEvent(QShowEvent *event)
{
    m_E_Contra->clear();
    fitFixedSize(this, kTamano);
    QDialog::showEvent(event);
    m_E_Contra->setFocus();
}

void TF_Contra_Aplicacion::reject()
{
    if (m_ctx.estado)
        m_ctx.estado->setConfirmado(false);
    QDialog::reject();
}

void TF_Contra_Aplicacion::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TF_Contra_Aplicacion::FormActivate()
{
    m_E_Contra->clear();
    m_E_Contra->setFocus();
}
