#include "TFormPrincipal.h"

#include "EntryGuard.h"

#include "Asigna_Lenguaje.h"
#include "BoardSession.h"
#include "Comunicacion_TZR.h"
#include "ScanJob.h"
#include "TextLookup.h"
#include "WindowJobObserver.h"
#include "Configuracion.h"
#include "Contexto.h"
#include "Contrasenas.h"
#include "ErrorBox.h"
#include "EstadoPrograma.h"
#include "FicheroActual.h"
#include "Lenguaje.h"
#include "PortMenu.h"
#include "ToolImages.h"
#include "Recursos.h"
#include "SerialPort.h"
#include "TFProgreso.h"
#include "TF_ShowMessage.h"
#include "Table1Model.h"
#include "TfrmDebug.h"
#include "Tidiomaa.h"
#include "TzrError.h"
#include "UsersGrid.h"
#include "UsersTable.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QScopedValueRollback>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include <chrono>

using namespace std::chrono_literals;

namespace {

constexpr QSize TAMANO_VENTANA{850, 444};
constexpr int ANCHO_COLUMNA_IZQUIERDA = 193;
constexpr std::chrono::milliseconds ESPERA_APERTURA = 100ms;
constexpr std::chrono::milliseconds INTERVALO_REINICIO = 5000ms;
constexpr QSize TAMANO_ICONO_BARRA{24, 24};
constexpr QSize TAMANO_NODO{32, 17};


const char *const PROP_IMAGEN = "ImageIndex";
// Which picture holder a glyph or picture was copied from, so the look can be asked for by name.
const char *const PROP_ORIGEN = "PictureFrom";

QString textoError(const std::exception &e)
{
    if (const auto *tzr = dynamic_cast<const TzrError *>(&e))
        return tzr->message();
    return QString::fromLocal8Bit(e.what());
}

QFrame *panel(const char *nombre, QWidget *padre)
{
    auto *p = new QFrame(padre);
    p->setObjectName(QString::fromLatin1(nombre));
    return p;
}

QLabel *etiqueta(const char *nombre, const QString &texto, QWidget *padre)
{
    auto *l = new QLabel(texto, padre);
    l->setObjectName(QString::fromLatin1(nombre));
    return l;
}

QLabel *imagenOculta(const char *nombre, const QString &recurso, QWidget *padre)
{
    QLabel *l = etiqueta(nombre, QString(), padre);
    if (!recurso.isEmpty())
        l->setPixmap(QPixmap(recurso));
    l->hide();
    return l;
}

void habilita(QMenu *menu, bool on)
{
    menu->menuAction()->setEnabled(on);
}

// The hourglass for the length of a handler.
class CursorEspera
{
public:
    CursorEspera() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CursorEspera() { QApplication::restoreOverrideCursor(); }
    CursorEspera(const CursorEspera &) = delete;
    CursorEspera &operator=(const CursorEspera &) = delete;
};

// Lets the port settle while the window stays responsive.
void esperaBombeando(std::chrono::milliseconds tiempo)
{
    QEventLoop bucle;
    QTimer::singleShot(tiempo, &bucle, &QEventLoop::quit);
    bucle.exec();
}

} // namespace

TFormPrincipal::TFormPrincipal(Contexto &ctx, QWidget *parent) : QMainWindow(parent), m_ctx(ctx)
{
    cargaRecursos();
    setObjectName(QStringLiteral("TFormPrincipal"));
    m_avisoError = [this](const QString &mensaje) { showErrorBox(this, mensaje); };
    creaComponentes();
    creaMenus();
    m_portMenu = std::make_unique<PortMenu>(
        m_ctx, *m_Configuracin1, *menuBar(), *this,
        PortMenu::Handlers{[this](QAction *entrada) { protegido([this, entrada] { COMClick(entrada); }); },
                           [this](QAction *a, std::function<void()> f) {
                               connect(a, &QAction::triggered, this, [this, f] { protegido(f); });
                           },
                           [this] { Parametros1Click(); }});
    creaMenuImportar();
    creaMenusSincronia();
    creaBarra();
    creaRejillaUsuarios();

    m_TIEMPO_REINICIA_PLACA = new QTimer(this);
    m_TIEMPO_REINICIA_PLACA->setObjectName(QStringLiteral("TIEMPO_REINICIA_PLACA"));
    m_TIEMPO_REINICIA_PLACA->setInterval(INTERVALO_REINICIO);
    connect(m_TIEMPO_REINICIA_PLACA, &QTimer::timeout, this,
            [this] { protegido([this] { TIEMPO_REINICIA_PLACATimer(); }); });

    // Design state: locked, nothing but the lock button available.
    for (QAction *a :
         {m_ToolFicheros, m_ToolNuevo, m_ToolSalvar, m_ToolConectar, m_ToolRecibir, m_ToolEnviar, m_ToolOrden,
          m_ToolExcel, m_ToolTest, m_ToolSistema, m_RecibirdelSistema2, m_EnviaralSistema1})
        a->setEnabled(false);
    for (QMenu *m : {m_Archivo1, m_miComunication, m_Herraminetas1, m_Configuracin1})
        habilita(m, false);
    for (QPushButton *b : {m_B_Refresh, m_conectar, m_Recibir, m_Enviar})
        b->setEnabled(false);

    // The grid's columns grow with the font (so that a card code shows whole), and the window
    // with them, as far as the screen allows.
    QSize tamano = TAMANO_VENTANA;
    if (m_DBGrid1->model()) {
        int extra = 0;
        for (int c = 0; c < Table1Model::COLUMNAS; ++c)
            extra += m_DBGrid1->horizontalHeader()->sectionSize(c) - Table1Model::ancho(c);
        tamano.rwidth() += std::max(0, extra);
    }
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (screen)
        tamano = tamano.boundedTo(screen->availableGeometry().size()).expandedTo(TAMANO_VENTANA);
    resize(tamano);
    if (screen)
        move(screen->availableGeometry().center() - rect().center());

    if (m_ctx.link)
        m_ctx.link->setFuentePlaca([this] { return m_num_placa->text(); });
    preparaLinea();
}

TFormPrincipal::~TFormPrincipal()
{
    FormDestroy();
    if (m_ctx.link)
        m_ctx.link->setFuentePlaca({});
    if (m_lenguaje && m_ctx.lenguaje == m_lenguaje.get())
        m_ctx.lenguaje = nullptr;
}

void TFormPrincipal::creaComponentes()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *vertical = new QVBoxLayout(central);
    vertical->setContentsMargins(0, 0, 0, 0);
    vertical->setSpacing(0);

    QFrame *panel6 = panel("Panel6", central);
    auto *filaBarra = new QHBoxLayout(panel6);
    filaBarra->setContentsMargins(2, 0, 2, 0);
    m_ToolBar1 = new QToolBar(panel6);
    m_ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    m_ToolBar1->setIconSize(TAMANO_ICONO_BARRA);
    m_ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_ToolBar1->setFloatable(false);
    m_ToolBar1->setMovable(false);
    filaBarra->addWidget(m_ToolBar1);
    vertical->addWidget(panel6);

    QFrame *panel4 = panel("Panel4", central);
    panel4->setFixedHeight(3);
    vertical->addWidget(panel4);

    m_Panel5 = panel("Panel5", central);
    m_Panel5->setFixedHeight(24);
    m_Panel5->setAutoFillBackground(true);
    QPalette gris = m_Panel5->palette();
    gris.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    m_Panel5->setPalette(gris);
    auto *tira = new QHBoxLayout(m_Panel5);
    tira->setContentsMargins(8, 0, 2, 0);
    m_Label6 = etiqueta("Label6", QStringLiteral("TZR - Gestión de Usuarios"), m_Panel5);
    QFont negrita = m_Label6->font();
    negrita.setBold(true);
    m_Label6->setFont(negrita);
    m_Label6->setStyleSheet(QStringLiteral("color: white;"));
    m_Label10 = etiqueta("Label10", QStringLiteral("v3.0"), m_Panel5);
    m_Label10->setStyleSheet(QStringLiteral("color: silver;"));
    m_LED_OFF = imagenOculta("LED_OFF", QStringLiteral(":/tzr/led_off.png"), m_Panel5);
    m_LED_ON = imagenOculta("LED_ON", QStringLiteral(":/tzr/led_on.png"), m_Panel5);
    m_I_NO = imagenOculta("I_NO", QStringLiteral(":/tzr/i_no.png"), m_Panel5);
    m_I_YES = imagenOculta("I_YES", QStringLiteral(":/tzr/i_yes.png"), m_Panel5);
    m_L_Usuario_Proceso = etiqueta("L_Usuario_Proceso", QStringLiteral("0"), m_Panel5);
    m_L_Usuario_Proceso->hide();
    for (const char *nombre : {"I_NO_ANT", "I_YES_ANT", "I_LED_ant", "Image2", "Image3"})
        imagenOculta(nombre, QString(), m_Panel5);
    QFrame *panel10 = panel("Panel10", m_Panel5);
    auto *filaLogo = new QHBoxLayout(panel10);
    filaLogo->setContentsMargins(0, 0, 0, 0);
    m_Image1 = etiqueta("Image1", QString(), panel10);
    m_Image1->setPixmap(
        QPixmap(QStringLiteral(":/tzr/logo.png")).scaledToHeight(22, Qt::SmoothTransformation));
    m_Image1->setCursor(Qt::PointingHandCursor);
    m_Image1->setToolTip(QStringLiteral("Korvel - TZR door-entry systems"));
    filaLogo->addWidget(m_Image1);
    tira->addWidget(m_Label6);
    tira->addStretch();
    tira->addWidget(m_Label10);
    tira->addSpacing(8);
    tira->addWidget(panel10);
    vertical->addWidget(m_Panel5);

    auto *cuerpo = new QHBoxLayout;
    cuerpo->setContentsMargins(0, 0, 0, 0);
    cuerpo->setSpacing(0);
    vertical->addLayout(cuerpo, 1);

    QFrame *panel3 = panel("Panel3", central);
    panel3->setFixedWidth(ANCHO_COLUMNA_IZQUIERDA);
    panel3->setFrameShape(QFrame::StyledPanel);
    auto *columna = new QVBoxLayout(panel3);
    columna->setContentsMargins(2, 2, 2, 2);
    columna->setSpacing(2);
    QFrame *panel13 = panel("Panel13", panel3);
    auto *filaRefresco = new QHBoxLayout(panel13);
    filaRefresco->setContentsMargins(0, 0, 0, 0);
    m_B_Refresh = new QPushButton(QStringLiteral("R"), panel13);
    m_B_Refresh->setObjectName(QStringLiteral("B_Refresh"));
    m_B_Refresh->setFlat(true);
    m_B_Refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    filaRefresco->addWidget(m_B_Refresh);
    columna->addWidget(panel13);

    m_Arbol = new QTreeWidget(panel3);
    m_Arbol->setObjectName(QStringLiteral("Arbol"));
    m_Arbol->setHeaderHidden(true);
    m_Arbol->setRootIsDecorated(false);
    m_Arbol->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_Arbol->setIconSize(TAMANO_NODO);
    m_Arbol->setContextMenuPolicy(Qt::CustomContextMenu);
    columna->addWidget(m_Arbol, 1);
    m_L_MotivoPuerto = new QLabel(panel3);
    m_L_MotivoPuerto->setObjectName(QStringLiteral("L_MotivoPuerto"));
    m_L_MotivoPuerto->setWordWrap(true);
    {
        QPalette rojo = m_L_MotivoPuerto->palette();
        rojo.setColor(QPalette::WindowText, Qt::red);
        m_L_MotivoPuerto->setPalette(rojo);
    }
    m_L_MotivoPuerto->hide();
    columna->addWidget(m_L_MotivoPuerto);
    m_PopupMenu1 = new QMenu(m_Arbol);
    m_PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction *refresh1 = m_PopupMenu1->addAction(QStringLiteral("Refresh"));
    refresh1->setObjectName(QStringLiteral("Refresh1"));
    m_PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N3"));
    m_PopupMenu1->addAction(QStringLiteral("Cancel"))->setObjectName(QStringLiteral("Cancel1"));
    conecta(refresh1, &TFormPrincipal::Refresh1Click);
    connect(m_Arbol, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_PopupMenu1->popup(m_Arbol->viewport()->mapToGlobal(pos)); });
    connect(m_Arbol, &QTreeWidget::itemClicked, this, [this] { protegido([this] { ArbolClick(); }); });

    QFrame *panel8 = panel("Panel8", panel3);
    auto *botones = new QVBoxLayout(panel8);
    botones->setContentsMargins(0, 0, 0, 0);
    botones->setSpacing(2);
    m_conectar = new QPushButton(panel8);
    m_conectar->setObjectName(QStringLiteral("conectar"));
    m_conectar->setIconSize(QSize(16, 16));
    m_Recibir = new QPushButton(QStringLiteral("Recibir"), panel8);
    m_Recibir->setObjectName(QStringLiteral("Recibir"));
    m_Recibir->setIcon(ImageList2(IMG_RECIBIR));
    m_Enviar = new QPushButton(QStringLiteral("Enviar"), panel8);
    m_Enviar->setObjectName(QStringLiteral("Enviar"));
    m_Enviar->setIcon(ImageList2(IMG_ENVIAR));
    auto *recibirAnt = new QPushButton(panel8);
    recibirAnt->setObjectName(QStringLiteral("Recibir_ANT"));
    recibirAnt->hide();
    auto *enviarAtn = new QPushButton(panel8);
    enviarAtn->setObjectName(QStringLiteral("Enviar_ATN"));
    enviarAtn->hide();
    for (QPushButton *b : {m_conectar, m_Recibir, m_Enviar})
        botones->addWidget(b);
    columna->addWidget(panel8);
    conecta(m_B_Refresh, &TFormPrincipal::B_RefreshClick);
    conecta(m_conectar, &TFormPrincipal::CONECTARClick);
    conecta(m_Recibir, &TFormPrincipal::Recibir_ANTClick);
    conecta(recibirAnt, &TFormPrincipal::Recibir_ANTClick);
    conecta(m_Enviar, &TFormPrincipal::Enviar_ATNClick);
    conecta(enviarAtn, &TFormPrincipal::Enviar_ATNClick);
    cuerpo->addWidget(panel3);

    QFrame *panel2 = panel("Panel2", central);
    auto *principal = new QVBoxLayout(panel2);
    principal->setContentsMargins(2, 2, 2, 2);
    QFrame *panel7 = panel("Panel7", panel2);
    panel7->setFrameShape(QFrame::StyledPanel);
    auto *fila = new QHBoxLayout(panel7);
    fila->setContentsMargins(6, 3, 6, 3);
    m_Label8 = etiqueta("Label8", QStringLiteral("Placa :"), panel7);
    m_num_placa = new QLineEdit(QStringLiteral("01"), panel7);
    m_num_placa->setObjectName(QStringLiteral("num_placa"));
    m_num_placa->setMaxLength(2);
    m_num_placa->setFixedWidth(m_num_placa->fontMetrics().horizontalAdvance(QStringLiteral("000")) + 12);
    m_num_placa->setContextMenuPolicy(Qt::NoContextMenu);
    m_num_placa->setAcceptDrops(false);
    m_num_placa->installEventFilter(this);
    // The board every transfer goes to: while connected it is the board that passed the code
    // check, whatever route text comes by (a selection paste, an assistive tool).
    auto *guardaPlaca = new EntryGuard(
        *m_num_placa, [](const QString &, QChar c) { return c >= u'0' && c <= u'9' ? c : QChar(); }, 2);
    guardaPlaca->setBloqueo([this] { return m_ctx.estado && m_ctx.estado->placa_conectada(); });
    m_I_LED = etiqueta("I_LED", QString(), panel7);
    m_I_LED->setFixedSize(24, 24);
    m_I_LED->setScaledContents(true);
    m_L_DESC_F = etiqueta("L_DESC_F", QStringLiteral("Data file :"), panel7);
    m_L_Fichero = etiqueta("L_Fichero", QString(), panel7);
    m_L_Fichero->setFont(negrita);
    imagenOculta("I_LED_ANT2", QString(), panel7);
    fila->addWidget(m_Label8);
    fila->addWidget(m_num_placa);
    fila->addWidget(m_I_LED);
    fila->addSpacing(16);
    fila->addWidget(m_L_DESC_F);
    fila->addWidget(m_L_Fichero, 1);
    principal->addWidget(panel7);

    m_DBGrid1 = new QTableView(panel2);
    m_DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    m_DBGrid1->hide();
    principal->addWidget(m_DBGrid1, 1);
    m_Lista_solo_EXCEL = new QListWidget(panel2);
    m_Lista_solo_EXCEL->setObjectName(QStringLiteral("Lista_solo_EXCEL"));
    m_Lista_solo_EXCEL->hide();
    m_edtCode = new QLineEdit(panel2);
    m_edtCode->setObjectName(QStringLiteral("edtCode"));
    m_edtCode->hide();
    principal->addStretch();
    cuerpo->addWidget(panel2, 1);

    QFrame *panel1 = panel("Panel1", central);
    panel1->setFixedHeight(13);
    vertical->addWidget(panel1);
}

QAction *TFormPrincipal::accion(const char *nombre, const QString &texto, int imagen)
{
    auto *a = new QAction(texto, this);
    a->setObjectName(QString::fromLatin1(nombre));
    if (imagen >= 0)
        setImageIndex(a, imagen);
    return a;
}

void TFormPrincipal::creaMenus()
{
    QMenuBar *barra = menuBar();
    barra->setObjectName(QStringLiteral("MainMenu1"));

    m_Archivo1 = barra->addMenu(QStringLiteral("&Archivo"));
    m_Archivo1->setObjectName(QStringLiteral("Archivo1"));
    QAction *directorio = accion("DirectoriodeTrabajo1", QStringLiteral("Open"), IMG_ABRIR);
    QAction *n2 = accion("N2", QStringLiteral("New"), IMG_NUEVO);
    QAction *contrasea1 = accion("Contrasea1", QStringLiteral("Cambio de Contraseña"), -1);
    QAction *idioma1 = accion("Idioma1", QStringLiteral("&Idioma"), -1);
    QAction *salir1 = accion("Salir1", QStringLiteral("&Salir"), IMG_SALIR);
    m_Archivo1->addAction(directorio);
    m_Archivo1->addAction(n2);
    m_Archivo1->addSeparator()->setObjectName(QStringLiteral("N5"));
    m_Archivo1->addAction(contrasea1);
    m_Archivo1->addAction(idioma1);
    m_Archivo1->addSeparator()->setObjectName(QStringLiteral("N4"));
    m_Archivo1->addAction(salir1);
    conecta(directorio, &TFormPrincipal::DirectoriodeTrabajo1Click);
    conecta(n2, &TFormPrincipal::N2Click);
    conecta(contrasea1, &TFormPrincipal::Contrasea1Click);
    conecta(idioma1, &TFormPrincipal::Idioma1Click);
    conecta(salir1, &TFormPrincipal::Salir1Click);

    m_miComunication = barra->addMenu(QStringLiteral("&Comunicación"));
    m_miComunication->setObjectName(QStringLiteral("miComunication"));
    QAction *conexin1 = accion("Conexin1", QStringLiteral("C&onectar/Desconectar"), -1);
    m_RecibirdelSistema2 = accion("RecibirdelSistema2", QStringLiteral("&Recibir del Sistema"), IMG_RECIBIR);
    m_EnviaralSistema1 = accion("EnviaralSistema1", QStringLiteral("&Enviar al Sistema"), IMG_ENVIAR);
    m_miComunication->addAction(conexin1);
    m_miComunication->addSeparator()->setObjectName(QStringLiteral("N1"));
    m_miComunication->addAction(m_RecibirdelSistema2);
    m_miComunication->addAction(m_EnviaralSistema1);
    conecta(conexin1, &TFormPrincipal::Conexin1Click);
    conecta(m_RecibirdelSistema2, &TFormPrincipal::Recibir_ANTClick);
    conecta(m_EnviaralSistema1, &TFormPrincipal::Enviar_ATNClick);

    m_Herraminetas1 = barra->addMenu(QStringLiteral("&Herramientas"));
    m_Herraminetas1->setObjectName(QStringLiteral("Herraminetas1"));
    QAction *test1 = accion("TestdePlacas1", QStringLiteral("Test de &Placas"), IMG_TEST);
    m_miDebugWindow = accion("miDebugWindow", QStringLiteral("Debug Window"), -1);
    m_miDebugWindow->setVisible(false);
    m_Herraminetas1->addAction(test1);
    m_Herraminetas1->addAction(m_miDebugWindow);
    conecta(test1, &TFormPrincipal::TestdePlacas1Click);
    conecta(m_miDebugWindow, &TFormPrincipal::miDebugWindowClick);

    m_Configuracin1 = barra->addMenu(QStringLiteral("Con&figuración"));
    m_Configuracin1->setObjectName(QStringLiteral("Configuracin1"));
}

void TFormPrincipal::creaBarra()
{
    m_ToolPWD_APP = accion("ToolPWD_APP", QStringLiteral("PWD"), IMG_BLOQUEADO);
    m_ToolFicheros = accion("ToolFicheros", QStringLiteral("Open"), IMG_ABRIR);
    m_ToolNuevo = accion("ToolNuevo", QStringLiteral("New"), IMG_NUEVO);
    m_ToolSalvar = accion("ToolSalvar", QStringLiteral("Save as"), IMG_GUARDAR);
    m_ToolConectar = accion("ToolConectar", QStringLiteral("Connect/Disconnect"), IMG_DESCONECTADO);
    m_ToolRecibir = accion("ToolRecibir", QStringLiteral("Receive from system"), IMG_RECIBIR);
    m_ToolEnviar = accion("ToolEnviar", QStringLiteral("Send to system"), IMG_ENVIAR);
    m_ToolOrden = accion("ToolOrden", QStringLiteral("Order by name"), IMG_ORDEN);
    m_ToolOrden->setCheckable(true);
    m_ToolExcel = accion("ToolExcel", QStringLiteral("Export to MS-Excel"), IMG_EXCEL);
    m_ToolTest = accion("ToolTest", QStringLiteral("Test panel"), IMG_TEST);
    m_ToolSistema = accion("ToolSistema", QStringLiteral("Panel Parameters"), IMG_PARAMETROS);

    auto separador = [this](const char *nombre) {
        m_ToolBar1->addSeparator()->setObjectName(QString::fromLatin1(nombre));
    };
    auto boton = [this](QAction *a) {
        m_ToolBar1->addAction(a);
        if (QWidget *w = m_ToolBar1->widgetForAction(a))
            w->setObjectName(a->objectName());
    };
    boton(m_ToolPWD_APP);
    separador("ToolButton3");
    boton(m_ToolFicheros);
    boton(m_ToolNuevo);
    boton(m_ToolSalvar);
    separador("ToolButton1");
    boton(m_ToolConectar);
    separador("ToolButton5");
    boton(m_ToolRecibir);
    boton(m_ToolEnviar);
    separador("ToolButton11");
    boton(m_ToolOrden);
    boton(m_ToolExcel);
    separador("ToolButton9");
    boton(m_ToolTest);
    separador("ToolButton12");
    boton(m_ToolSistema);

    conecta(m_ToolPWD_APP, &TFormPrincipal::ToolPWD_APPClick);
    conecta(m_ToolFicheros, &TFormPrincipal::DirectoriodeTrabajo1Click);
    conecta(m_ToolNuevo, &TFormPrincipal::ToolNuevoClick);
    conecta(m_ToolSalvar, &TFormPrincipal::ToolSalvarClick);
    conecta(m_ToolConectar, &TFormPrincipal::CONECTARClick);
    conecta(m_ToolRecibir, &TFormPrincipal::Recibir_ANTClick);
    conecta(m_ToolEnviar, &TFormPrincipal::Enviar_ATNClick);
    conecta(m_ToolOrden, &TFormPrincipal::ToolOrdenClick);
    conecta(m_ToolExcel, &TFormPrincipal::ToolExcelClick);
    conecta(m_ToolTest, &TFormPrincipal::TestdePlacas1Click);
    conecta(m_ToolSistema, &TFormPrincipal::Parametros1Click);
}

void TFormPrincipal::conecta(QAction *action, void (TFormPrincipal::*handler)())
{
    connect(action, &QAction::triggered, this,
            [this, handler] { protegido([this, handler] { (this->*handler)(); }); });
}

void TFormPrincipal::conecta(QPushButton *button, void (TFormPrincipal::*handler)())
{
    connect(button, &QPushButton::clicked, this,
            [this, handler] { protegido([this, handler] { (this->*handler)(); }); });
}

// An error that leaves a handler is shown to the user, as the toolkit does with errors that reach
// the top; it must not unwind through Qt's signal machinery.
void TFormPrincipal::protegido(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        if (m_avisoError)
            m_avisoError(textoError(e));
    }
}

QIcon TFormPrincipal::ImageList2(int index)
{
    static const QMap<int, QString> recursos{
        {IMG_NUEVO, QStringLiteral("nuevo")},
        {IMG_ABRIR, QStringLiteral("abrir")},
        {IMG_GUARDAR, QStringLiteral("guardar")},
        {IMG_SALIR, QStringLiteral("salir")},
        {IMG_DESBLOQUEADO, QStringLiteral("candado_abierto")},
        {IMG_ENVIAR, QStringLiteral("enviar")},
        {IMG_RECIBIR, QStringLiteral("recibir")},
        {IMG_TEST, QStringLiteral("test")},
        {IMG_PARAMETROS, QStringLiteral("parametros")},
        {IMG_ORDEN, QStringLiteral("ordenar")},
        {IMG_BLOQUEADO, QStringLiteral("candado_cerrado")},
        {IMG_EXCEL, QStringLiteral("excel")},
        {IMG_DESCONECTADO, QStringLiteral("desconectado")},
        {IMG_CONECTADO, QStringLiteral("conectado")},
    };
    const auto it = recursos.constFind(index);
    if (it == recursos.constEnd())
        return {};
    return QIcon(QStringLiteral(":/tzr/%1.png").arg(*it));
}

QIcon TFormPrincipal::ImageList1(int index)
{
    return index == 0 ? QIcon(QStringLiteral(":/tzr/board.png")) : QIcon();
}

void TFormPrincipal::setImageIndex(QAction *action, int index)
{
    action->setProperty(PROP_IMAGEN, index);
    action->setIcon(ImageList2(index));
}

int TFormPrincipal::imageIndex(const QAction *action)
{
    const QVariant v = action->property(PROP_IMAGEN);
    return v.isValid() ? v.toInt() : -1;
}

void TFormPrincipal::setTituloColumna(int column, const QString &title)
{
    m_titulos.insert(column, title);
    aplicaTitulosColumnas();
}

void TFormPrincipal::aplicaTitulosColumnas()
{
    QAbstractItemModel *modelo = m_DBGrid1->model();
    if (!modelo)
        return;
    // The kind texts change with the language, and the widths with them.
    if (m_rejilla)
        m_rejilla->ajustaAnchos();
    for (auto it = m_titulos.cbegin(); it != m_titulos.cend(); ++it) {
        if (it.key() < modelo->columnCount())
            modelo->setHeaderData(it.key(), Qt::Horizontal, it.value());
    }
}

void TFormPrincipal::FormCreate()
{
    m_conectar->setIcon(QIcon(m_LED_OFF->pixmap()));
    m_conectar->setProperty(PROP_ORIGEN, m_LED_OFF->objectName());
    m_I_LED->setPixmap(m_I_NO->pixmap());
    m_I_LED->setProperty(PROP_ORIGEN, m_I_NO->objectName());
    setImageIndex(m_ToolConectar, IMG_DESCONECTADO);

    m_ctx.link->reinicia();
    m_ctx.configuracion->Lee_Configuracion();

    if (!m_ctx.lenguaje) {
        Configuracion *cfg = m_ctx.configuracion;
        m_lenguaje = std::make_unique<Lenguaje>(m_ctx.carpetaKorvel + QStringLiteral("/TZR_LANG.ini"),
                                                [cfg] { return cfg->IDIOMA(); });
        m_ctx.lenguaje = m_lenguaje.get();
    }
    cargaTraduccionesQt(textosDe(m_ctx).seccion());
    Lenguaje_FormPrincipal(this, textosDe(m_ctx), *m_ctx.estado);

    listCOMPorts();

    if (QAction *guardada = m_portMenu->savedEntry()) {
        const QScopedValueRollback<bool> arrancando(m_abriendoAlArrancar, true);
        guardada->trigger();
    } else if (!m_ctx.configuracion->ComPort().trimmed().isEmpty()) {
        // No message box before the window is even shown: the reason stays under the board list.
        const TextLookup &textos = textosDe(m_ctx);
        muestraMotivoPuerto(
            textos.texto(QStringLiteral("LINE_ABSENT_1"), QStringLiteral("The saved port %1 is not present."))
                .arg(m_portMenu->savedName()),
            textos.texto(QStringLiteral("LINE_GONE_2"),
                         QStringLiteral("Plug the adapter in again, then choose its port in the port menu.")));
    }

    m_RecibirdelSistema2->setEnabled(false);
    m_EnviaralSistema1->setEnabled(false);
    habilita(m_Configuracin1, false);
    for (QPushButton *b : {m_B_Refresh, m_Recibir, m_Enviar})
        b->setEnabled(false);
    m_ToolRecibir->setEnabled(false);
    m_ToolEnviar->setEnabled(false);

    m_L_Fichero->setText(m_ctx.fichero->Nombre_Tabla());
    m_ctx.estado->setAplicacion_conectada(false);
    m_ctx.estado->setPlaca_conectada(false);
}

void TFormPrincipal::FormDestroy()
{
    try {
        if (m_ctx.configuracion)
            m_ctx.configuracion->Guarda_Configuracion();
    } catch (...) {
    }
    try {
        if (m_ctx.puerto && m_ctx.puerto->isOpen())
            m_ctx.puerto->close();
    } catch (...) {
    }
}

void TFormPrincipal::closeEvent(QCloseEvent *event)
{
    if (m_ctx.estado)
        m_ctx.estado->setDetener_proceso(true);
    event->accept();
    emit cerrada();
}

void TFormPrincipal::Salir1Click()
{
    close();
}

int TFormPrincipal::GetCOM_Number(const QString &name)
{
    return PortMenu::comNumber(name);
}

QString TFormPrincipal::portNameOf(const QAction *entrada)
{
    return PortMenu::portNameOf(entrada);
}

const QList<QAction *> &TFormPrincipal::entradasPuerto() const
{
    return m_portMenu->entries();
}

void TFormPrincipal::listCOMPorts()
{
    m_portMenu->list();
}

void TFormPrincipal::listCOMPorts(const QStringList &nombres)
{
    m_portMenu->list(nombres);
}

// The port menu follows the lock: a scan or a port choice that ends while the window is locked
// leaves it disabled.
void TFormPrincipal::habilitaMenuPuertos()
{
    habilita(m_Configuracin1, m_ctx.estado->aplicacion_conectada());
}

void TFormPrincipal::COMClick(QAction *entrada)
{
    Comunicacion_TZR &link = *m_ctx.link;
    SerialPort *puerto = m_ctx.puerto;
    if (link.ocupado()) {
        // Another operation is waiting for a reply on this port; closing it now would cut it off.
        entrada->setChecked(puerto && puerto->isOpen() && puerto->portName() == portNameOf(entrada));
        return;
    }
    EstadoPrograma &estado = *m_ctx.estado;
    ProgressView *progreso = m_ctx.progreso;

    m_Arbol->clear();
    habilita(m_Configuracin1, false);
    if (progreso) {
        progreso->mostrar();
        progreso->setMensaje(textosDe(m_ctx).texto(QStringLiteral("F_test_label2_caption"), falloGeneral()));
        progreso->setMaximo(ScanJob::BarMaximum);
        progreso->setPosicion(0);
        progreso->setContador(QStringLiteral("0/%1").arg(ScanJob::BarMaximum));
    }
    if (estado.placa_conectada())
        CONECTARClick();
    if (puerto && puerto->isOpen()) {
        estado.setDetener_proceso(true);
        try {
            puerto->close();
        } catch (...) {
        }
    }
    for (QAction *otra : m_portMenu->entries()) {
        if (otra != entrada)
            otra->setChecked(false);
    }
    // From here to the end of the scan nothing else may start an exchange on the new port.
    const Comunicacion_TZR::Reserva reserva(link);

    try {
        m_ctx.configuracion->setComPort(entrada->data().typeId() == QMetaType::Int
                                            ? QString::number(entrada->data().toInt())
                                            : portNameOf(entrada));
        estado.setPuerto_Actual(portNameOf(entrada));
        m_ctx.configuracion->Guarda_Configuracion();
    } catch (...) {
        entrada->setChecked(false);
        if (progreso)
            progreso->cerrar();
        habilitaMenuPuertos();
        throw;
    }

    try {
        if (!puerto)
            throw TzrError(QStringLiteral("No serial port"));
        if (!puerto->isOpen() && !puerto->open(portNameOf(entrada)))
            throw TzrError(puerto->errorString());
        aplicaEcoDeLinea();
        entrada->setChecked(puerto->isOpen());
        if (puerto->isOpen()) {
            muestraMotivoPuerto(QString(), QString());
            const CursorEspera cursor;
            esperaBombeando(ESPERA_APERTURA);
            Test_INICIAL_PLACAS();
        }
        habilitaMenuPuertos();
    } catch (const std::exception &e) {
        entrada->setChecked(false);
        habilitaMenuPuertos();
        m_Arbol->clear();
        if (progreso)
            progreso->cerrar();
        link.printDebug(QStringLiteral("TFormPrincipal.COMClick Error: ") + textoError(e));
        if (puerto && !puerto->isOpen())
            avisaFalloApertura(entrada->text());
    }
}

void TFormPrincipal::conecta_APLICACION(bool unlock)
{
    try {
        if (!unlock) {
            m_DBGrid1->hide();
            cierraTable1();
            m_L_Fichero->clear();
        }
        setImageIndex(m_ToolPWD_APP, unlock ? IMG_DESBLOQUEADO : IMG_BLOQUEADO);
        m_ctx.estado->setAplicacion_conectada(unlock);

        m_ToolFicheros->setEnabled(unlock);
        m_ToolConectar->setEnabled(unlock);
        setImageIndex(m_ToolConectar, IMG_DESCONECTADO);
        m_ToolNuevo->setEnabled(unlock);
        m_ToolSalvar->setEnabled(unlock);
        m_B_Refresh->setEnabled(unlock);
        for (QAction *a : {m_ToolEnviar, m_ToolRecibir, m_RecibirdelSistema2, m_EnviaralSistema1})
            a->setEnabled(false);
        for (QAction *a : {m_ToolOrden, m_ToolExcel, m_ToolTest, m_ToolSistema})
            a->setEnabled(unlock);
        for (QMenu *m : {m_Archivo1, m_miComunication, m_Herraminetas1, m_Configuracin1})
            habilita(m, unlock);
        m_conectar->setEnabled(unlock);

        showNotConnectedLook();
        m_Enviar->setEnabled(false);
        m_Recibir->setEnabled(false);
    } catch (...) {
        m_DBGrid1->hide();
        cierraTable1();
    }
}

void TFormPrincipal::cierraTable1()
{
    if (m_rejilla)
        m_rejilla->cierra();
    else if (m_ctx.usuarios)
        m_ctx.usuarios->cierraFichero();
}

void TFormPrincipal::showNotConnectedLook()
{
    m_conectar->setIcon(QIcon(m_LED_OFF->pixmap()));
    m_conectar->setProperty(PROP_ORIGEN, m_LED_OFF->objectName());
    m_I_LED->setPixmap(m_I_NO->pixmap());
    m_I_LED->setProperty(PROP_ORIGEN, m_I_NO->objectName());
    setImageIndex(m_ToolConectar, IMG_DESCONECTADO);
    m_conectar->setText(textosDe(m_ctx).texto(QStringLiteral("SHOW_M3"), QStringLiteral("Connect")));
}

void TFormPrincipal::showConnectedLook()
{
    m_conectar->setIcon(QIcon(m_LED_ON->pixmap()));
    m_conectar->setProperty(PROP_ORIGEN, m_LED_ON->objectName());
    m_I_LED->setPixmap(m_I_YES->pixmap());
    m_I_LED->setProperty(PROP_ORIGEN, m_I_YES->objectName());
    setImageIndex(m_ToolConectar, IMG_CONECTADO);
    m_conectar->setText(textosDe(m_ctx).texto(QStringLiteral("SHOW_M4"), QStringLiteral("Disconnect")));
}

void TFormPrincipal::agregaNodo(int placa)
{
    auto *nodo = new QTreeWidgetItem(m_Arbol, {QStringLiteral("%1").arg(placa, 2, 10, QLatin1Char('0'))});
    nodo->setIcon(0, ImageList1(0));
}

void TFormPrincipal::Test_INICIAL_PLACAS()
{
    Comunicacion_TZR &link = *m_ctx.link;
    BoardSession *sesion = this->sesion();
    if (!sesion)
        return;
    EstadoPrograma &estado = *m_ctx.estado;
    estado.setDetener_proceso(false);
    habilita(m_Configuracin1, false);
    m_ToolConectar->setEnabled(false);
    m_B_Refresh->setEnabled(false);
    m_conectar->setEnabled(false);
    m_Arbol->clear();
    WindowJobObserver observador(m_ctx.progreso, m_ctx.showMessage);
    const BoardSession::Observing observando(*sesion, observador);
    ScanJob exploracion(*sesion);
    exploracion.setOnFound([this](int placa) { agregaNodo(placa); });
    exploracion.setSkipRest([&estado] { return estado.detener_proceso(); });
    const ScanResult resultado = exploracion.run();
    habilitaMenuPuertos();
    m_B_Refresh->setEnabled(estado.aplicacion_conectada());
    if (resultado.done()) {
        m_ToolConectar->setEnabled(true);
        m_conectar->setEnabled(true);
        return;
    }
    link.printDebug(QStringLiteral("Test_INICIAL_PLACAS Error:") + resultado.error);
    if (resultado.end == JobEnd::PortLost)
        puertoPerdido();
}

void TFormPrincipal::B_RefreshClick()
{
    if (m_ctx.link->ocupado())
        return;
    if (m_ctx.estado->placa_conectada())
        CONECTARClick();
    const CursorEspera cursor;
    Test_INICIAL_PLACAS();
}

void TFormPrincipal::Refresh1Click()
{
    if (m_ctx.link->ocupado())
        return;
    const CursorEspera cursor;
    Test_INICIAL_PLACAS();
}

void TFormPrincipal::TIEMPO_REINICIA_PLACATimer()
{
    // The board restarts after new parameters; an exchange still in flight gets one more period.
    if (m_ctx.link->ocupado())
        return;
    m_TIEMPO_REINICIA_PLACA->stop();
    Test_INICIAL_PLACAS();
    if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void TFormPrincipal::ArbolClick()
{
    try {
        const QTreeWidgetItem *nodo = m_Arbol->currentItem();
        if (nodo && !nodo->text(0).isEmpty() && !m_ctx.estado->placa_conectada())
            EntryGuard::muestra(m_num_placa, nodo->text(0));
    } catch (const std::exception &e) {
        m_ctx.link->printDebug(QStringLiteral("TFormPrincipal.ArbolClick: Error:") + textoError(e));
    }
}

bool TFormPrincipal::num_placaKeyPress(QChar key) const
{
    if (m_ctx.estado->placa_conectada())
        return false;
    const char16_t c = key.unicode();
    // 0x7F is the Delete key, which never reached the original filter as a character.
    return c == 8 || c == 9 || c == 10 || c == 13 || c == 0x7F || (c >= u'0' && c <= u'9');
}

void TFormPrincipal::avisaEstado(const QString &texto)
{
    statusBar()->showMessage(texto);
}

QString TFormPrincipal::textoEstado() const
{
    return statusBar()->currentMessage();
}

void TFormPrincipal::changeEvent(QEvent *event)
{
    // Back from a terminal where tzr may have written the file: show what it holds now.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_rejilla)
        m_rejilla->sigueFichero();
    QMainWindow::changeEvent(event);
}

bool TFormPrincipal::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_num_placa && event->type() == QEvent::KeyPress) {
        const auto *tecla = static_cast<QKeyEvent *>(event);
        const QString texto = tecla->text();
        if (!texto.isEmpty()) {
            if (!num_placaKeyPress(texto.at(0)))
                return true;
            // The bus numbers end at 31: a digit that would make a larger number is not taken.
            if (texto.at(0).isDigit()) {
                QString despues = m_num_placa->text();
                const int desde = m_num_placa->hasSelectedText() ? m_num_placa->selectionStart()
                                                                 : m_num_placa->cursorPosition();
                despues.remove(desde, m_num_placa->selectedText().size());
                despues.insert(desde, texto.at(0));
                if (despues.size() <= m_num_placa->maxLength() && despues.toInt() > 31)
                    return true;
            }
            return false;
        }
        // Keys that edit without a character of their own.
        if (m_ctx.estado->placa_conectada() &&
            (tecla->key() == Qt::Key_Delete || tecla->key() == Qt::Key_Backspace))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormPrincipal::ToolPWD_APPClick()
{
    ::ToolPWD_APPClick(m_ctx, [this](bool unlock) { conecta_APLICACION(unlock); });
}

void TFormPrincipal::Contrasea1Click()
{
    ::Contrasea1Click(m_ctx);
}

void TFormPrincipal::Idioma1Click()
{
    ::Idioma1Click(m_ctx);
}

void TFormPrincipal::miDebugWindowClick()
{
    if (m_ctx.debug) {
        m_ctx.debug->show();
        m_ctx.debug->raise();
    }
}

void TFormPrincipal::CONECTARClick()
{
    // Purging now would throw away the reply another operation is waiting for.
    if (m_ctx.link->ocupado())
        return;
    if (m_ctx.puerto && m_ctx.puerto->isOpen())
        m_ctx.puerto->purge();
    const CursorEspera cursor;
    Conectar_Desconectar();
}

void TFormPrincipal::Conexin1Click()
{
    Conectar_Desconectar();
}

void TFormPrincipal::N2Click()
{
    ToolNuevoClick();
}
