#include "TF_Test.h"

#include "Asigna_Lenguaje.h"
#include "BoardSession.h"
#include "Contexto.h"
#include "ErrorBox.h"
#include "EstadoPrograma.h"
#include "TestJob.h"
#include "TzrError.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

namespace {

constexpr QSize TAMANO_LISTA{330, 180};

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
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

} // namespace

TF_Test::TF_Test(Contexto &ctx, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint |
                          Qt::WindowStaysOnTopHint),
      m_ctx(ctx)
{
    setObjectName(QStringLiteral("TF_Test"));
    setWindowTitle(QStringLiteral("Test Placas"));
    setModal(false);

    auto *barra = new QFrame(this);
    barra->setObjectName(QStringLiteral("Panel1"));
    barra->setAutoFillBackground(true);
    QPalette gris = barra->palette();
    gris.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    barra->setPalette(gris);
    auto *filaTitulo = new QHBoxLayout(barra);
    filaTitulo->setContentsMargins(8, 3, 8, 3);
    QLabel *titulo = etiqueta("L_TITULO", QStringLiteral("TZR - Gestión de Usuarios"), barra);
    QFont negrita = titulo->font();
    negrita.setBold(true);
    titulo->setFont(negrita);
    titulo->setStyleSheet(QStringLiteral("color: white;"));
    filaTitulo->addWidget(titulo);

    QLabel *label1 = etiqueta("Label1", QStringLiteral("Test General de Placas"), this);
    label1->setFont(negrita);
    QLabel *label3 = etiqueta("Label3", QStringLiteral("Placas encontradas :"), this);
    m_ListBox1 = new QListWidget(this);
    m_ListBox1->setObjectName(QStringLiteral("ListBox1"));
    m_ListBox1->setMinimumSize(TAMANO_LISTA);
    QLabel *label2 = etiqueta("Label2", QStringLiteral("Placa en Test :"), this);
    m_Num_P = etiqueta("Num_P", QStringLiteral("0"), this);
    m_Num_P->setFont(negrita);
    QLabel *label4 = etiqueta("Label4", QStringLiteral("/31"), this);

    QPushButton *iniciar = boton("Iniciar", QStringLiteral("Iniciar"), this);
    QPushButton *detener = boton("Detener", QStringLiteral("Detener"), this);
    connect(iniciar, &QPushButton::clicked, this, &TF_Test::iniciaProtegido);
    connect(detener, &QPushButton::clicked, this, &TF_Test::DetenerClick);

    auto *contador = new QHBoxLayout;
    contador->addWidget(label2);
    contador->addWidget(m_Num_P);
    contador->addWidget(label4);
    contador->addStretch();
    auto *botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(iniciar);
    botones->addWidget(detener);
    auto *todo = new QVBoxLayout(this);
    todo->addWidget(barra);
    todo->addWidget(label1);
    todo->addWidget(label3);
    todo->addWidget(m_ListBox1, 1);
    todo->addLayout(contador);
    todo->addLayout(botones);

    Lenguaje_F_Test(this, textosDe(m_ctx));
}

void TF_Test::IniciarClick()
{
    // The buffers and flags of the link are shared: a second run inside the first, or a run
    // inside another operation's wait, would spoil both.
    if (m_enCurso || !m_ctx.sesion || !m_ctx.estado || m_ctx.sesion->busy())
        return;
    const QScopedValueRollback<bool> enCurso(m_enCurso, true);
    EstadoPrograma &estado = *m_ctx.estado;
    estado.setDetener_proceso(false);
    m_ListBox1->clear();

    TestJob::Observer observer;
    observer.stopRequested = [&estado] { return estado.detener_proceso(); };
    observer.probing = [this](int n) { m_Num_P->setText(QString::number(n)); };
    // The board polled when the window closed may still answer; the cleared list stays empty.
    observer.found = [this, &estado](const BoardFound &, const QString &line) {
        if (!estado.detener_proceso())
            m_ListBox1->addItem(line);
    };
    TestJob(*m_ctx.sesion).run(observer);
}

void TF_Test::iniciaProtegido()
{
    try {
        IniciarClick();
    } catch (const TzrError &e) {
        showErrorBox(this, e.message());
    } catch (const std::exception &e) {
        showErrorBox(this, QString::fromLocal8Bit(e.what()));
    }
}

void TF_Test::DetenerClick()
{
    if (m_enCurso && m_ctx.estado)
        m_ctx.estado->setDetener_proceso(true);
    close();
}

void TF_Test::FormClose()
{
    // The stop request is shared with the bus scan: closing an idle window must not cut one short.
    if (m_enCurso && m_ctx.estado)
        m_ctx.estado->setDetener_proceso(true);
    m_Num_P->setText(QStringLiteral("0"));
    m_ListBox1->clear();
}

void TF_Test::hideEvent(QHideEvent *event)
{
    // A minimised window has not closed.
    if (!event->spontaneous())
        FormClose();
    QDialog::hideEvent(event);
}
