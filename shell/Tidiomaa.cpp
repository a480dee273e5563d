#include "Tidiomaa.h"

#include "Asigna_Lenguaje.h"
#include "Configuracion.h"
#include "Contexto.h"
#include "DialogSize.h"
#include "ErrorBox.h"
#include "EstadoPrograma.h"
#include "TzrError.h"
#include "WindowSet.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
constexpr QSize kTamano{260, 110};
constexpr int kIcono = 32;
constexpr int kIngles = 2;

// The language whose name is IDIOMA exactly; any other name, in any case, shows as English.
int indiceDe(const QString &idioma)
{
    if (idioma == QStringLiteral("ESPAÑOL"))
        return 0;
    if (idioma == QStringLiteral("FRANÇAIS"))
        return 1;
    return kIngles;
}

QAction *entradaParametros(QWidget *principal)
{
    if (!principal)
        return nullptr;
    if (auto *menu = principal->findChild<QMenu *>(QStringLiteral("Configuracin1"))) {
        const QList<QAction *> entradas = menu->actions();
        if (!entradas.isEmpty())
            return entradas.last();
    }
    return principal->findChild<QAction *>(QStringLiteral("Parametros1"));
}
} // namespace

Tidiomaa::Tidiomaa(Contexto &ctx, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint |
                          Qt::WindowStaysOnTopHint),
      m_ctx(ctx)
{
    setObjectName(QStringLiteral("Tidiomaa"));
    setWindowTitle(QStringLiteral("TZRUsers"));
    setFixedSize(kTamano);

    auto *icono = new QLabel(this);
    icono->setObjectName(QStringLiteral("Image1"));
    icono->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(kIcono, kIcono));
    auto *label1 = new QLabel(this);
    label1->setObjectName(QStringLiteral("Label1"));
    m_cbxIdioma = new QComboBox(this);
    m_cbxIdioma->setObjectName(QStringLiteral("cbxIdioma"));
    m_cbxIdioma->setEditable(false);
    m_cbxIdioma->addItems({QStringLiteral("ESPAÑOL"), QStringLiteral("FRANÇAIS"), QStringLiteral("ENGLISH")});
    m_cbxIdioma->setCurrentIndex(kIngles);
    auto *aceptar = new QPushButton(this);
    aceptar->setObjectName(QStringLiteral("Aceptar"));
    connect(aceptar, &QPushButton::clicked, this, &Tidiomaa::AceptarClick);

    auto *eleccion = new QVBoxLayout;
    eleccion->addWidget(label1);
    eleccion->addWidget(m_cbxIdioma);
    auto *arriba = new QHBoxLayout;
    arriba->addWidget(icono, 0, Qt::AlignTop);
    arriba->addLayout(eleccion, 1);
    auto *botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(aceptar);
    auto *todo = new QVBoxLayout(this);
    todo->addLayout(arriba, 1);
    todo->addLayout(botones);

    Lenguaje_Idiomaa(this, textosDe(ctx));
}

QString Tidiomaa::seleccion() const
{
    return m_cbxIdioma->currentText();
}

void Tidiomaa::showEvent(QShowEvent *event)
{
    if (m_ctx.configuracion)
        m_cbxIdioma->setCurrentIndex(indiceDe(m_ctx.configuracion->IDIOMA()));
    fitFixedSize(this, kTamano);
    QDialog::showEvent(event);
}

void Tidiomaa::AceptarClick()
{
    if (!m_ctx.configuracion)
        return;
    m_ctx.configuracion->setIDIOMA(seleccion());
    try {
        m_ctx.configuracion->Guarda_Configuracion();
    } catch (const TzrError &e) {
        showErrorBox(this, e.message());
        return;
    }
    Lenguaje_Todos(m_ctx);
    if (QAction *parametros = entradaParametros(WindowSet::of(m_ctx).principal)) {
        if (m_ctx.estado)
            parametros->setText(m_ctx.estado->Caption_Parametros());
    }
    accept();
}

void Idioma1Click(Contexto &ctx)
{
    if (ctx.idiomaa)
        ctx.idiomaa->exec();
}
