#include "TF_Solicita_Contra.h"

#include "Asigna_Lenguaje.h"
#include "BoardCodes.h"
#include "Contexto.h"
#include "ErrorBox.h"
#include "EstadoPrograma.h"
#include "TzrError.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QVBoxLayout>
#include <QValidator>

namespace {

constexpr QSize TAMANO{300, 150};

// Every typed letter becomes its capital as it is typed, so "ab" matches a stored "AB".
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

QLabel *etiqueta(const char *nombre, const QString &texto, QWidget *padre)
{
    auto *l = new QLabel(texto, padre);
    l->setObjectName(QString::fromLatin1(nombre));
    return l;
}

QPushButton *boton(const char *nombre, const QString &texto, QWidget *padre)
{
    auto *b = new QPushButton(texto, padre);
    b->setObjectName(QString::fromLatin1(nombre));
    // Enter belongs to E_Contra alone; a default button would answer it a second time.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

} // namespace

TF_Solicita_Contra::TF_Solicita_Contra(Contexto &ctx, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint |
                          Qt::WindowStaysOnTopHint),
      m_ctx(ctx)
{
    setObjectName(QStringLiteral("TF_Solicita_Contra"));
    setWindowTitle(QStringLiteral("Contraseña del Sistema"));
    setMinimumSize(TAMANO);
    reiniciaContraPlaca();

    QLabel *label1 = etiqueta("Label1", QStringLiteral("Introduzca la contraseña del Sistema para "), this);
    QLabel *lAQue = etiqueta("L_a_que", QStringLiteral("tener acceso :"), this);
    m_L_QUIEN_SOLICITA = etiqueta("L_QUIEN_SOLICITA", QString(), this);
    m_L_QUIEN_SOLICITA->hide();
    m_L_Motivo = etiqueta("L_Motivo", QString(), this);
    m_L_Motivo->setWordWrap(true);
    m_L_Motivo->setStyleSheet(QStringLiteral("font-weight: bold"));
    m_L_Motivo->hide();

    m_E_Contra = new QLineEdit(this);
    m_E_Contra->setObjectName(QStringLiteral("E_Contra"));
    m_E_Contra->setMaxLength(BoardCodes::longestCode());
    m_E_Contra->setEchoMode(QLineEdit::Password);
    m_E_Contra->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    m_E_Contra->setValidator(new Mayusculas(m_E_Contra));
    QLabel *label2 = etiqueta("Label2", QStringLiteral("Máximo 5 dígitos"), this);

    QPushButton *aceptar = boton("Aceptar", QStringLiteral("Aceptar"), this);
    QPushButton *cancelar = boton("Cancelar", QStringLiteral("Cancelar"), this);
    connect(m_E_Contra, &QLineEdit::returnPressed, this, &TF_Solicita_Contra::aceptaProtegido);
    connect(aceptar, &QPushButton::clicked, this, &TF_Solicita_Contra::aceptaProtegido);
    connect(cancelar, &QPushButton::clicked, this, &TF_Solicita_Contra::CancelarClick);

    auto *codigo = new QHBoxLayout;
    codigo->addWidget(m_E_Contra);
    codigo->addWidget(label2);
    auto *botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(aceptar);
    botones->addWidget(cancelar);
    auto *todo = new QVBoxLayout(this);
    todo->addWidget(label1);
    todo->addWidget(lAQue);
    todo->addWidget(m_L_QUIEN_SOLICITA);
    todo->addWidget(m_L_Motivo);
    todo->addLayout(codigo);
    todo->addStretch();
    todo->addLayout(botones);

    Lenguaje_F_Solicita_Contra(this, textosDe(m_ctx));
}

void TF_Solicita_Contra::setQuienSolicita(QChar letra)
{
    m_L_QUIEN_SOLICITA->setText(QString(letra));
}

void TF_Solicita_Contra::setMotivo(const QString &texto)
{
    m_L_Motivo->setText(texto);
    m_L_Motivo->setVisible(!texto.isEmpty());
}

QChar TF_Solicita_Contra::quienSolicita() const
{
    const QString texto = m_L_QUIEN_SOLICITA->text();
    return texto.isEmpty() ? QChar() : texto.at(0);
}

void TF_Solicita_Contra::reiniciaContraPlaca()
{
    m_codigo = CodigoLeido{QString(BoardCodes::longestCode(), QLatin1Char(' ')), false};
}

QString TF_Solicita_Contra::textoActual() const
{
    return m_E_Contra->text();
}

void TF_Solicita_Contra::AceptarClick()
{
    if (m_leyendo || !m_ctx.sesion)
        return;
    {
        const QScopedValueRollback<bool> leyendo(m_leyendo, true);
        m_codigo = m_ctx.sesion->readCode(quienSolicita());
    }
    m_contraTecleada = m_E_Contra->text();
    accept();
}

void TF_Solicita_Contra::aceptaProtegido()
{
    try {
        AceptarClick();
    } catch (const TzrError &e) {
        showErrorBox(this, e.message());
        m_E_Contra->setFocus();
    } catch (const std::exception &e) {
        showErrorBox(this, QString::fromLocal8Bit(e.what()));
        m_E_Contra->setFocus();
    }
}

void TF_Solicita_Contra::CancelarClick()
{
    reject();
}

void TF_Solicita_Contra::FormActivate()
{
    m_E_Contra->clear();
    m_E_Contra->setFocus();
}

void TF_Solicita_Contra::FormClose()
{
    if (m_ctx.estado)
        m_ctx.estado->setConfirmado(false);
}

void TF_Solicita_Contra::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TF_Solicita_Contra::showEvent(QShowEvent *event)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
    FormActivate();
}
