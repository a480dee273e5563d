#include "TF_Parametros.h"

#include "CursorOverride.h"
#include "EntryGuard.h"

#include "Asigna_Lenguaje.h"
#include "BoardCodes.h"
#include "BoardSession.h"
#include "Contexto.h"
#include "ErrorBox.h"
#include "FicheroActual.h"
#include "ParametersJob.h"
#include "Recursos.h"
#include "TF_Mensaje_Parametros.h"
#include "TF_ShowMessage.h"
#include "TextosContexto.h"
#include "TzrError.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr char16_t RETORNO = 13;
constexpr QSize TAMANO_BOTON{26, 26};

bool control(QChar key)
{
    const char16_t c = key.unicode();
    return c == 8 || c == 9 || c == 10 || c == RETORNO;
}

QChar acepta(QChar key, char16_t desde, char16_t hasta)
{
    const char16_t c = key.unicode();
    return (control(key) || (c >= desde && c <= hasta)) ? key : QChar(RETORNO);
}

QLabel *etiqueta(const char *nombre, const QString &texto, QWidget *padre)
{
    auto *l = new QLabel(texto, padre);
    l->setObjectName(QString::fromLatin1(nombre));
    return l;
}

} // namespace

TF_Parametros::TF_Parametros(Contexto &ctx, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint |
                          Qt::WindowStaysOnTopHint),
      m_ctx(ctx)
{
    cargaRecursos();
    setObjectName(QStringLiteral("TF_Parametros"));
    setWindowTitle(QStringLiteral("TZRUsers"));

    auto *panel3 = new QFrame(this);
    panel3->setObjectName(QStringLiteral("Panel3"));
    panel3->setFrameShape(QFrame::StyledPanel);
    auto *barra = new QHBoxLayout(panel3);
    barra->setContentsMargins(2, 2, 2, 2);
    auto *speedButton1 = new QToolButton(panel3);
    speedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    speedButton1->setIcon(QIcon(QStringLiteral(":/tzr/guardar.png")));
    auto *speedButton2 = new QToolButton(panel3);
    speedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    speedButton2->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    for (QToolButton *b : {speedButton1, speedButton2}) {
        b->setAutoRaise(true);
        b->setFixedSize(TAMANO_BOTON);
        b->setIconSize(TAMANO_BOTON - QSize(6, 6));
        barra->addWidget(b);
    }
    auto *aceptar = new QPushButton(QStringLiteral("Change"), panel3);
    aceptar->setObjectName(QStringLiteral("Aceptar"));
    aceptar->hide();
    barra->addWidget(aceptar);
    barra->addStretch();
    // Enter confirms a field, never the whole window.
    aceptar->setAutoDefault(false);
    aceptar->setDefault(false);
    connect(speedButton1, &QToolButton::clicked, this, &TF_Parametros::aceptaProtegido);
    connect(aceptar, &QPushButton::clicked, this, &TF_Parametros::aceptaProtegido);
    connect(speedButton2, &QToolButton::clicked, this, &TF_Parametros::SpeedButton2Click);

    QLabel *titulo = etiqueta("L_TITULO", QStringLiteral("TZR - Users Management"), this);
    QFont negrita = titulo->font();
    negrita.setBold(true);
    titulo->setFont(negrita);
    QLabel *label15 = etiqueta("Label15", QStringLiteral("System Parameters"), this);

    m_PageControl1 = new QTabWidget(this);
    m_PageControl1->setObjectName(QStringLiteral("PageControl1"));
    auto *tabSheet1 = new QWidget(m_PageControl1);
    tabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    m_TabSheet2 = new QWidget(m_PageControl1);
    m_TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    m_PageControl1->addTab(tabSheet1, QStringLiteral("Parameters"));
    m_PageControl1->addTab(m_TabSheet2, QStringLiteral("Help"));
    m_PageControl1->setCurrentWidget(tabSheet1);

    auto *rejilla = new QGridLayout(tabSheet1);
    int fila = 0;
    const auto agrega = [&](QLabel *label, QWidget *edit) {
        rejilla->addWidget(label, fila, 0);
        rejilla->addWidget(edit, fila, 1, Qt::AlignLeft);
        ++fila;
    };
    m_Label1 = etiqueta("Label1", QStringLiteral("Panel number"), tabSheet1);
    m_Edit1 = campo("Edit1", 2, &TF_Parametros::Edit1KeyPress, tabSheet1);
    agrega(m_Label1, m_Edit1);
    m_Label4 = etiqueta("Label4", QStringLiteral("Reader"), tabSheet1);
    m_Edit4 = campo("Edit4", 1, &TF_Parametros::Edit4KeyPress, tabSheet1);
    agrega(m_Label4, m_Edit4);
    m_Label3 = etiqueta("Label3", QStringLiteral("Language"), tabSheet1);
    m_Edit3 = new QComboBox(tabSheet1);
    m_Edit3->setObjectName(QStringLiteral("Edit3"));
    m_Edit3->setEditable(false);
    m_Edit3->addItems(idiomasPlaca());
    m_Edit3->setCurrentIndex(-1);
    m_Edit3->installEventFilter(this);
    m_filtros.insert(m_Edit3, &TF_Parametros::Edit3KeyPress);
    agrega(m_Label3, m_Edit3);
    m_Label2 = etiqueta("Label2", QStringLiteral("Code Length"), tabSheet1);
    m_Edit2 = campo("Edit2", 1, &TF_Parametros::Edit2KeyPress, tabSheet1);
    agrega(m_Label2, m_Edit2);
    m_Label5 = etiqueta("Label5", QStringLiteral("Time A"), tabSheet1);
    m_Edit5 = campo("Edit5", 2, &TF_Parametros::Edit5KeyPress, tabSheet1);
    agrega(m_Label5, m_Edit5);
    m_Label6 = etiqueta("Label6", QStringLiteral("Time B"), tabSheet1);
    m_Edit6 = campo("Edit6", 2, &TF_Parametros::Edit6KeyPress, tabSheet1);
    agrega(m_Label6, m_Edit6);
    m_Label9 = etiqueta("Label9", QStringLiteral("Programming Code"), tabSheet1);
    m_Edit7 = campo("Edit7", BoardCodes::longestCode(), &TF_Parametros::Edit7KeyPress, tabSheet1);
    agrega(m_Label9, m_Edit7);
    m_Label11 = etiqueta("Label11", QStringLiteral("Master Code"), tabSheet1);
    m_Edit8 = campo("Edit8", BoardCodes::longestCode(), &TF_Parametros::Edit8KeyPress, tabSheet1);
    agrega(m_Label11, m_Edit8);
    rejilla->setColumnStretch(1, 1);
    rejilla->setRowStretch(fila, 1);

    auto *ayuda = new QGridLayout(m_TabSheet2);
    static constexpr struct
    {
        const char *nombre;
        const char *texto;
        const char *pista;
        const char *textoPista;
    } lineasAyuda[] = {
        {"Label7", "Panel number", "Label18", "from 1 to 31"},
        {"Label8", "Reader", "Label19", "0 : Card, 1 : Button"},
        {"Label10", "Language", "Label23", "until 4 languages"},
        {"Label12", "Code Length", "Label20", "4, 5, 6."},
        {"Label13", "Time A", "Label21", "from 4 to 59"},
        {"Label14", "Time B", "Label22", "from 4 to 59"},
        {"Label17", "Programming Code", "Label24", "users management"},
        {"Label16", "Master Code", "Label25", "system management"},
    };
    int lineaAyuda = 0;
    for (const auto &l : lineasAyuda) {
        QLabel *nombre = etiqueta(l.nombre, QString::fromUtf8(l.texto), m_TabSheet2);
        nombre->setFont(negrita);
        ayuda->addWidget(nombre, lineaAyuda, 0);
        ayuda->addWidget(etiqueta(l.pista, QString::fromUtf8(l.textoPista), m_TabSheet2), lineaAyuda, 1);
        ++lineaAyuda;
    }
    ayuda->setColumnStretch(1, 1);
    ayuda->setRowStretch(lineaAyuda, 1);

    auto *todo = new QVBoxLayout(this);
    todo->addWidget(panel3);
    todo->addWidget(titulo);
    todo->addWidget(label15);
    todo->addWidget(m_PageControl1, 1);
    // The window fits its captions in every language and cannot be resized.
    todo->setSizeConstraint(QLayout::SetFixedSize);

    Lenguaje_F_Parametros(this, textosDe(m_ctx));
}

QLineEdit *TF_Parametros::campo(const char *nombre, int longitud, FiltroTecla filtro, QWidget *padre)
{
    auto *edit = new QLineEdit(padre);
    edit->setObjectName(QString::fromLatin1(nombre));
    // The length limits what is typed or pasted; a value read from the board is shown whole, so
    // that the check sees what the board holds.
    const bool codigo = filtro == &TF_Parametros::Edit7KeyPress || filtro == &TF_Parametros::Edit8KeyPress;
    new EntryGuard(
        *edit,
        [this, filtro, codigo](const QString &texto, QChar c) {
            return codigo ? filtroCodigo(texto, c) : (this->*filtro)(c);
        },
        longitud);
    QPalette cara = edit->palette();
    cara.setColor(QPalette::Base, cara.color(QPalette::Button));
    edit->setPalette(cara);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(longitud + 1, QLatin1Char('W'))) + 12);
    // Only keys that pass the field's filter reach it; paste and drop would go around it.
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    edit->setAcceptDrops(false);
    edit->installEventFilter(this);
    m_filtros.insert(edit, filtro);
    return edit;
}

QChar TF_Parametros::Edit1KeyPress(QChar key) const
{
    return acepta(key, u'0', u'9');
}

QChar TF_Parametros::Edit2KeyPress(QChar key) const
{
    return acepta(key, u'4', u'6');
}

QChar TF_Parametros::Edit3KeyPress(QChar) const
{
    return QChar(RETORNO);
}

QChar TF_Parametros::Edit4KeyPress(QChar key) const
{
    return acepta(key, u'0', u'1');
}

QChar TF_Parametros::Edit5KeyPress(QChar key) const
{
    return acepta(key, u'0', u'9');
}

QChar TF_Parametros::Edit6KeyPress(QChar key) const
{
    return acepta(key, u'0', u'9');
}

QChar TF_Parametros::Edit7KeyPress(QChar key) const
{
    return filtroCodigo(m_Edit7->text(), key);
}

QChar TF_Parametros::Edit8KeyPress(QChar key) const
{
    return filtroCodigo(m_Edit8->text(), key);
}

// A code may not begin with "B"; the check refuses such a code anyway, the filter only helps.
QChar TF_Parametros::filtroCodigo(const QString &texto, QChar key) const
{
    const QChar mayuscula = key.toUpper();
    if (control(mayuscula) || (mayuscula >= QLatin1Char('0') && mayuscula <= QLatin1Char('9')) ||
        mayuscula == QLatin1Char('A') || (mayuscula == QLatin1Char('B') && !texto.isEmpty()))
        return mayuscula;
    return QChar(RETORNO);
}

bool TF_Parametros::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto filtro = m_filtros.constFind(watched);
        if (filtro != m_filtros.constEnd()) {
            const auto *tecla = static_cast<QKeyEvent *>(event);
            if (tecla->matches(QKeySequence::Paste))
                return true;
            const QString texto = tecla->text();
            // Keys without a character of their own (arrows, Delete, Home) edit as usual.
            if (texto.isEmpty() || texto.at(0).unicode() == 0x7F)
                return QDialog::eventFilter(watched, event);
            const QChar escrita = texto.at(0);
            const QChar tomada = (this->*filtro.value())(escrita);
            if (tomada == QChar(RETORNO) && escrita != QChar(RETORNO))
                return true;
            if (tomada != escrita) {
                if (auto *edit = qobject_cast<QLineEdit *>(watched))
                    edit->insert(QString(tomada));
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

CamposParametros TF_Parametros::campos() const
{
    CamposParametros c;
    c.Edit1 = m_Edit1->text();
    c.Edit2 = m_Edit2->text();
    c.Edit3 = m_Edit3->currentText();
    c.Edit4 = m_Edit4->text();
    c.Edit5 = m_Edit5->text();
    c.Edit6 = m_Edit6->text();
    c.Edit7 = m_Edit7->text();
    c.Edit8 = m_Edit8->text();
    return c;
}

void TF_Parametros::setCampos(const CamposParametros &c)
{
    EntryGuard::muestra(m_Edit1, c.Edit1);
    EntryGuard::muestra(m_Edit2, c.Edit2);
    m_Edit3->setCurrentIndex(m_Edit3->findText(c.Edit3));
    EntryGuard::muestra(m_Edit4, c.Edit4);
    EntryGuard::muestra(m_Edit5, c.Edit5);
    EntryGuard::muestra(m_Edit6, c.Edit6);
    EntryGuard::muestra(m_Edit7, c.Edit7);
    EntryGuard::muestra(m_Edit8, c.Edit8);
}

EtiquetasParametros TF_Parametros::etiquetas() const
{
    EtiquetasParametros e;
    e.Label1 = m_Label1->text();
    e.Label2 = m_Label2->text();
    e.Label3 = m_Label3->text();
    e.Label4 = m_Label4->text();
    e.Label5 = m_Label5->text();
    e.Label6 = m_Label6->text();
    e.Label9 = m_Label9->text();
    e.Label11 = m_Label11->text();
    return e;
}

void TF_Parametros::Lee_Parametros(const QString &num_placa)
{
    if (!m_ctx.sesion)
        return;
    // The command's job (the longer reply time) is the main window's; this read only fills the fields.
    ParametersRead leidos;
    leidos.fields = campos();
    try {
        leidos = ParametersJob::readInto(*m_ctx.sesion, num_placa, leidos.fields);
    } catch (...) {
        setCampos(leidos.fields);
        throw;
    }
    setCampos(leidos.fields);
    if (leidos.languageInvalid)
        setWindowTitle(QStringLiteral("???"));
}

void TF_Parametros::AceptarClick()
{
    if (m_escribiendo || !m_ctx.sesion)
        return;
    const CursorOverride cursor(Qt::PointingHandCursor);
    CamposParametros c = campos();
    QString mensaje;
    if (!ParametersJob::validate(c, etiquetas(), mensaje)) {
        if (m_ctx.mensajeParametros)
            m_ctx.mensajeParametros->mostrar(mensaje);
        return;
    }
    const QScopedValueRollback<bool> escribiendo(m_escribiendo, true);
    m_parametros_grabados = true;
    ParametersWrite escritos;
    try {
        // With a data file open the write goes into its history.
        const DataFileRef fichero = m_ctx.fichero ? DataFileRef{m_ctx.fichero->Directorio_Trabajo(),
                                                                m_ctx.fichero->Nombre_Tabla()}
                                                  : DataFileRef{};
        escritos = ParametersJob::writeFields(*m_ctx.sesion, c, etiquetas(), m_placa_parametros, fichero);
    } catch (...) {
        setCampos(c);
        throw;
    }
    setCampos(c);
    if (!escritos.complete()) {
        const TextosContexto textos(m_ctx);
        showMessage(m_ctx, textos.texto(QStringLiteral("PARAM_INCOMPLETE"), QStringLiteral("Parameters not all written.")),
                    ParametersJob::describe(escritos, textos).join(QLatin1Char(' ')));
    }
    m_placa_parametros = m_Edit1->text();
    accept();
}

void TF_Parametros::aceptaProtegido()
{
    try {
        AceptarClick();
    } catch (const TzrError &e) {
        showErrorBox(this, e.message());
    } catch (const std::exception &e) {
        showErrorBox(this, QString::fromLocal8Bit(e.what()));
    }
}

void TF_Parametros::SpeedButton2Click()
{
    m_PageControl1->setCurrentWidget(m_TabSheet2);
}
