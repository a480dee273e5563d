#include "MainWindowLayout.h"

#include "BoardNumberFilter.h"

#include "Contexto.h"
#include "EntryGuard.h"
#include "EstadoPrograma.h"
#include "TFormPrincipal.h"
#include "ToolImages.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int ANCHO_COLUMNA_IZQUIERDA = 193;
constexpr QSize TAMANO_ICONO_BARRA{24, 24};
constexpr QSize TAMANO_NODO{32, 17};

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

} // namespace

void MainWindowLayout::components()
{
    auto *central = new QWidget(&m_window);
    m_window.setCentralWidget(central);
    auto *vertical = new QVBoxLayout(central);
    vertical->setContentsMargins(0, 0, 0, 0);
    vertical->setSpacing(0);

    QFrame *panel6 = panel("Panel6", central);
    auto *filaBarra = new QHBoxLayout(panel6);
    filaBarra->setContentsMargins(2, 0, 2, 0);
    m_window.m_ToolBar1 = new QToolBar(panel6);
    m_window.m_ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    m_window.m_ToolBar1->setIconSize(TAMANO_ICONO_BARRA);
    m_window.m_ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_window.m_ToolBar1->setFloatable(false);
    m_window.m_ToolBar1->setMovable(false);
    filaBarra->addWidget(m_window.m_ToolBar1);
    vertical->addWidget(panel6);

    QFrame *panel4 = panel("Panel4", central);
    panel4->setFixedHeight(3);
    vertical->addWidget(panel4);

    m_window.m_Panel5 = panel("Panel5", central);
    m_window.m_Panel5->setFixedHeight(24);
    m_window.m_Panel5->setAutoFillBackground(true);
    QPalette gris = m_window.m_Panel5->palette();
    gris.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    m_window.m_Panel5->setPalette(gris);
    auto *tira = new QHBoxLayout(m_window.m_Panel5);
    tira->setContentsMargins(8, 0, 2, 0);
    m_window.m_Label6 = etiqueta("Label6", QStringLiteral("TZR - Gestión de Usuarios"), m_window.m_Panel5);
    QFont negrita = m_window.m_Label6->font();
    negrita.setBold(true);
    m_window.m_Label6->setFont(negrita);
    m_window.m_Label6->setStyleSheet(QStringLiteral("color: white;"));
    m_window.m_Label10 = etiqueta("Label10", QStringLiteral("v3.0"), m_window.m_Panel5);
    m_window.m_Label10->setStyleSheet(QStringLiteral("color: silver;"));
    m_window.m_LED_OFF = imagenOculta("LED_OFF", QStringLiteral(":/tzr/led_off.png"), m_window.m_Panel5);
    m_window.m_LED_ON = imagenOculta("LED_ON", QStringLiteral(":/tzr/led_on.png"), m_window.m_Panel5);
    m_window.m_I_NO = imagenOculta("I_NO", QStringLiteral(":/tzr/i_no.png"), m_window.m_Panel5);
    m_window.m_I_YES = imagenOculta("I_YES", QStringLiteral(":/tzr/i_yes.png"), m_window.m_Panel5);
    m_window.m_L_Usuario_Proceso = etiqueta("L_Usuario_Proceso", QStringLiteral("0"), m_window.m_Panel5);
    m_window.m_L_Usuario_Proceso->hide();
    for (const char *nombre : {"I_NO_ANT", "I_YES_ANT", "I_LED_ant", "Image2", "Image3"})
        imagenOculta(nombre, QString(), m_window.m_Panel5);
    QFrame *panel10 = panel("Panel10", m_window.m_Panel5);
    auto *filaLogo = new QHBoxLayout(panel10);
    filaLogo->setContentsMargins(0, 0, 0, 0);
    m_window.m_Image1 = etiqueta("Image1", QString(), panel10);
    m_window.m_Image1->setPixmap(
        QPixmap(QStringLiteral(":/tzr/logo.png")).scaledToHeight(22, Qt::SmoothTransformation));
    m_window.m_Image1->setCursor(Qt::PointingHandCursor);
    m_window.m_Image1->setToolTip(QStringLiteral("Korvel - TZR door-entry systems"));
    filaLogo->addWidget(m_window.m_Image1);
    tira->addWidget(m_window.m_Label6);
    tira->addStretch();
    tira->addWidget(m_window.m_Label10);
    tira->addSpacing(8);
    tira->addWidget(panel10);
    vertical->addWidget(m_window.m_Panel5);

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
    m_window.m_B_Refresh = new QPushButton(QStringLiteral("R"), panel13);
    m_window.m_B_Refresh->setObjectName(QStringLiteral("B_Refresh"));
    m_window.m_B_Refresh->setFlat(true);
    m_window.m_B_Refresh->setIcon(m_window.style()->standardIcon(QStyle::SP_BrowserReload));
    filaRefresco->addWidget(m_window.m_B_Refresh);
    columna->addWidget(panel13);

    m_window.m_Arbol = new QTreeWidget(panel3);
    m_window.m_Arbol->setObjectName(QStringLiteral("Arbol"));
    m_window.m_Arbol->setHeaderHidden(true);
    m_window.m_Arbol->setRootIsDecorated(false);
    m_window.m_Arbol->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_window.m_Arbol->setIconSize(TAMANO_NODO);
    m_window.m_Arbol->setContextMenuPolicy(Qt::CustomContextMenu);
    columna->addWidget(m_window.m_Arbol, 1);
    m_window.m_L_MotivoPuerto = new QLabel(panel3);
    m_window.m_L_MotivoPuerto->setObjectName(QStringLiteral("L_MotivoPuerto"));
    m_window.m_L_MotivoPuerto->setWordWrap(true);
    {
        QPalette rojo = m_window.m_L_MotivoPuerto->palette();
        rojo.setColor(QPalette::WindowText, Qt::red);
        m_window.m_L_MotivoPuerto->setPalette(rojo);
    }
    m_window.m_L_MotivoPuerto->hide();
    columna->addWidget(m_window.m_L_MotivoPuerto);
    m_window.m_PopupMenu1 = new QMenu(m_window.m_Arbol);
    m_window.m_PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction *refresh1 = m_window.m_PopupMenu1->addAction(QStringLiteral("Refresh"));
    refresh1->setObjectName(QStringLiteral("Refresh1"));
    m_window.m_PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N3"));
    m_window.m_PopupMenu1->addAction(QStringLiteral("Cancel"))->setObjectName(QStringLiteral("Cancel1"));
    m_window.conecta(refresh1, &TFormPrincipal::Refresh1Click);
    TFormPrincipal *w = &m_window;
    QObject::connect(w->m_Arbol, &QWidget::customContextMenuRequested, w,
                     [w](const QPoint &pos) { w->m_PopupMenu1->popup(w->m_Arbol->viewport()->mapToGlobal(pos)); });
    QObject::connect(w->m_Arbol, &QTreeWidget::itemClicked, w, [w] { w->protegido([w] { w->ArbolClick(); }); });

    QFrame *panel8 = panel("Panel8", panel3);
    auto *botones = new QVBoxLayout(panel8);
    botones->setContentsMargins(0, 0, 0, 0);
    botones->setSpacing(2);
    m_window.m_conectar = new QPushButton(panel8);
    m_window.m_conectar->setObjectName(QStringLiteral("conectar"));
    m_window.m_conectar->setIconSize(QSize(16, 16));
    m_window.m_Recibir = new QPushButton(QStringLiteral("Recibir"), panel8);
    m_window.m_Recibir->setObjectName(QStringLiteral("Recibir"));
    m_window.m_Recibir->setIcon(ToolImages::ImageList2(IMG_RECIBIR));
    m_window.m_Enviar = new QPushButton(QStringLiteral("Enviar"), panel8);
    m_window.m_Enviar->setObjectName(QStringLiteral("Enviar"));
    m_window.m_Enviar->setIcon(ToolImages::ImageList2(IMG_ENVIAR));
    auto *recibirAnt = new QPushButton(panel8);
    recibirAnt->setObjectName(QStringLiteral("Recibir_ANT"));
    recibirAnt->hide();
    auto *enviarAtn = new QPushButton(panel8);
    enviarAtn->setObjectName(QStringLiteral("Enviar_ATN"));
    enviarAtn->hide();
    for (QPushButton *b : {m_window.m_conectar, m_window.m_Recibir, m_window.m_Enviar})
        botones->addWidget(b);
    columna->addWidget(panel8);
    m_window.conecta(m_window.m_B_Refresh, &TFormPrincipal::B_RefreshClick);
    m_window.conecta(m_window.m_conectar, &TFormPrincipal::CONECTARClick);
    m_window.conecta(m_window.m_Recibir, &TFormPrincipal::Recibir_ANTClick);
    m_window.conecta(recibirAnt, &TFormPrincipal::Recibir_ANTClick);
    m_window.conecta(m_window.m_Enviar, &TFormPrincipal::Enviar_ATNClick);
    m_window.conecta(enviarAtn, &TFormPrincipal::Enviar_ATNClick);
    cuerpo->addWidget(panel3);

    QFrame *panel2 = panel("Panel2", central);
    auto *principal = new QVBoxLayout(panel2);
    principal->setContentsMargins(2, 2, 2, 2);
    QFrame *panel7 = panel("Panel7", panel2);
    panel7->setFrameShape(QFrame::StyledPanel);
    auto *fila = new QHBoxLayout(panel7);
    fila->setContentsMargins(6, 3, 6, 3);
    m_window.m_Label8 = etiqueta("Label8", QStringLiteral("Placa :"), panel7);
    m_window.m_num_placa = new QLineEdit(QStringLiteral("01"), panel7);
    m_window.m_num_placa->setObjectName(QStringLiteral("num_placa"));
    m_window.m_num_placa->setMaxLength(2);
    m_window.m_num_placa->setFixedWidth(m_window.m_num_placa->fontMetrics().horizontalAdvance(QStringLiteral("000")) + 12);
    m_window.m_num_placa->setContextMenuPolicy(Qt::NoContextMenu);
    m_window.m_num_placa->setAcceptDrops(false);
    m_window.m_boardNumberFilter = new BoardNumberFilter(
        *m_window.m_num_placa, [w] { return w->m_ctx.estado->placa_conectada(); }, m_window.m_num_placa);
    // The board every transfer goes to: while connected it is the board that passed the code
    // check, whatever route text comes by (a selection paste, an assistive tool).
    auto *guardaPlaca = new EntryGuard(
        *m_window.m_num_placa, [](const QString &, QChar c) { return c >= u'0' && c <= u'9' ? c : QChar(); }, 2);
    guardaPlaca->setBloqueo([w] { return w->m_ctx.estado && w->m_ctx.estado->placa_conectada(); });
    m_window.m_I_LED = etiqueta("I_LED", QString(), panel7);
    m_window.m_I_LED->setFixedSize(24, 24);
    m_window.m_I_LED->setScaledContents(true);
    m_window.m_L_DESC_F = etiqueta("L_DESC_F", QStringLiteral("Data file :"), panel7);
    m_window.m_L_Fichero = etiqueta("L_Fichero", QString(), panel7);
    m_window.m_L_Fichero->setFont(negrita);
    imagenOculta("I_LED_ANT2", QString(), panel7);
    fila->addWidget(m_window.m_Label8);
    fila->addWidget(m_window.m_num_placa);
    fila->addWidget(m_window.m_I_LED);
    fila->addSpacing(16);
    fila->addWidget(m_window.m_L_DESC_F);
    fila->addWidget(m_window.m_L_Fichero, 1);
    principal->addWidget(panel7);

    m_window.m_DBGrid1 = new QTableView(panel2);
    m_window.m_DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    m_window.m_DBGrid1->hide();
    principal->addWidget(m_window.m_DBGrid1, 1);
    m_window.m_Lista_solo_EXCEL = new QListWidget(panel2);
    m_window.m_Lista_solo_EXCEL->setObjectName(QStringLiteral("Lista_solo_EXCEL"));
    m_window.m_Lista_solo_EXCEL->hide();
    m_window.m_edtCode = new QLineEdit(panel2);
    m_window.m_edtCode->setObjectName(QStringLiteral("edtCode"));
    m_window.m_edtCode->hide();
    principal->addStretch();
    cuerpo->addWidget(panel2, 1);

    QFrame *panel1 = panel("Panel1", central);
    panel1->setFixedHeight(13);
    vertical->addWidget(panel1);
}

QAction *MainWindowLayout::action(const char *nombre, const QString &texto, int imagen)
{
    auto *a = new QAction(texto, &m_window);
    a->setObjectName(QString::fromLatin1(nombre));
    if (imagen >= 0)
        ToolImages::setImageIndex(a, imagen);
    return a;
}

void MainWindowLayout::menus()
{
    QMenuBar *barra = m_window.menuBar();
    barra->setObjectName(QStringLiteral("MainMenu1"));

    m_window.m_Archivo1 = barra->addMenu(QStringLiteral("&Archivo"));
    m_window.m_Archivo1->setObjectName(QStringLiteral("Archivo1"));
    QAction *directorio = action("DirectoriodeTrabajo1", QStringLiteral("Open"), IMG_ABRIR);
    QAction *n2 = action("N2", QStringLiteral("New"), IMG_NUEVO);
    QAction *contrasea1 = action("Contrasea1", QStringLiteral("Cambio de Contraseña"), -1);
    QAction *idioma1 = action("Idioma1", QStringLiteral("&Idioma"), -1);
    QAction *salir1 = action("Salir1", QStringLiteral("&Salir"), IMG_SALIR);
    m_window.m_Archivo1->addAction(directorio);
    m_window.m_Archivo1->addAction(n2);
    m_window.m_Archivo1->addSeparator()->setObjectName(QStringLiteral("N5"));
    m_window.m_Archivo1->addAction(contrasea1);
    m_window.m_Archivo1->addAction(idioma1);
    m_window.m_Archivo1->addSeparator()->setObjectName(QStringLiteral("N4"));
    m_window.m_Archivo1->addAction(salir1);
    m_window.conecta(directorio, &TFormPrincipal::DirectoriodeTrabajo1Click);
    m_window.conecta(n2, &TFormPrincipal::N2Click);
    m_window.conecta(contrasea1, &TFormPrincipal::Contrasea1Click);
    m_window.conecta(idioma1, &TFormPrincipal::Idioma1Click);
    m_window.conecta(salir1, &TFormPrincipal::Salir1Click);

    m_window.m_miComunication = barra->addMenu(QStringLiteral("&Comunicación"));
    m_window.m_miComunication->setObjectName(QStringLiteral("miComunication"));
    QAction *conexin1 = action("Conexin1", QStringLiteral("C&onectar/Desconectar"), -1);
    m_window.m_RecibirdelSistema2 = action("RecibirdelSistema2", QStringLiteral("&Recibir del Sistema"), IMG_RECIBIR);
    m_window.m_EnviaralSistema1 = action("EnviaralSistema1", QStringLiteral("&Enviar al Sistema"), IMG_ENVIAR);
    m_window.m_miComunication->addAction(conexin1);
    m_window.m_miComunication->addSeparator()->setObjectName(QStringLiteral("N1"));
    m_window.m_miComunication->addAction(m_window.m_RecibirdelSistema2);
    m_window.m_miComunication->addAction(m_window.m_EnviaralSistema1);
    m_window.conecta(conexin1, &TFormPrincipal::Conexin1Click);
    m_window.conecta(m_window.m_RecibirdelSistema2, &TFormPrincipal::Recibir_ANTClick);
    m_window.conecta(m_window.m_EnviaralSistema1, &TFormPrincipal::Enviar_ATNClick);

    m_window.m_Herraminetas1 = barra->addMenu(QStringLiteral("&Herramientas"));
    m_window.m_Herraminetas1->setObjectName(QStringLiteral("Herraminetas1"));
    QAction *test1 = action("TestdePlacas1", QStringLiteral("Test de &Placas"), IMG_TEST);
    m_window.m_miDebugWindow = action("miDebugWindow", QStringLiteral("Debug Window"), -1);
    m_window.m_miDebugWindow->setVisible(false);
    m_window.m_Herraminetas1->addAction(test1);
    m_window.m_Herraminetas1->addAction(m_window.m_miDebugWindow);
    m_window.conecta(test1, &TFormPrincipal::TestdePlacas1Click);
    m_window.conecta(m_window.m_miDebugWindow, &TFormPrincipal::miDebugWindowClick);

    m_window.m_Configuracin1 = barra->addMenu(QStringLiteral("Con&figuración"));
    m_window.m_Configuracin1->setObjectName(QStringLiteral("Configuracin1"));
}

void MainWindowLayout::toolBar()
{
    m_window.m_ToolPWD_APP = action("ToolPWD_APP", QStringLiteral("PWD"), IMG_BLOQUEADO);
    m_window.m_ToolFicheros = action("ToolFicheros", QStringLiteral("Open"), IMG_ABRIR);
    m_window.m_ToolNuevo = action("ToolNuevo", QStringLiteral("New"), IMG_NUEVO);
    m_window.m_ToolSalvar = action("ToolSalvar", QStringLiteral("Save as"), IMG_GUARDAR);
    m_window.m_ToolConectar = action("ToolConectar", QStringLiteral("Connect/Disconnect"), IMG_DESCONECTADO);
    m_window.m_ToolRecibir = action("ToolRecibir", QStringLiteral("Receive from system"), IMG_RECIBIR);
    m_window.m_ToolEnviar = action("ToolEnviar", QStringLiteral("Send to system"), IMG_ENVIAR);
    m_window.m_ToolOrden = action("ToolOrden", QStringLiteral("Order by name"), IMG_ORDEN);
    m_window.m_ToolOrden->setCheckable(true);
    m_window.m_ToolExcel = action("ToolExcel", QStringLiteral("Export to MS-Excel"), IMG_EXCEL);
    m_window.m_ToolTest = action("ToolTest", QStringLiteral("Test panel"), IMG_TEST);
    m_window.m_ToolSistema = action("ToolSistema", QStringLiteral("Panel Parameters"), IMG_PARAMETROS);

    auto separador = [this](const char *nombre) {
        m_window.m_ToolBar1->addSeparator()->setObjectName(QString::fromLatin1(nombre));
    };
    auto boton = [this](QAction *a) {
        m_window.m_ToolBar1->addAction(a);
        if (QWidget *w = m_window.m_ToolBar1->widgetForAction(a))
            w->setObjectName(a->objectName());
    };
    boton(m_window.m_ToolPWD_APP);
    separador("ToolButton3");
    boton(m_window.m_ToolFicheros);
    boton(m_window.m_ToolNuevo);
    boton(m_window.m_ToolSalvar);
    separador("ToolButton1");
    boton(m_window.m_ToolConectar);
    separador("ToolButton5");
    boton(m_window.m_ToolRecibir);
    boton(m_window.m_ToolEnviar);
    separador("ToolButton11");
    boton(m_window.m_ToolOrden);
    boton(m_window.m_ToolExcel);
    separador("ToolButton9");
    boton(m_window.m_ToolTest);
    separador("ToolButton12");
    boton(m_window.m_ToolSistema);

    m_window.conecta(m_window.m_ToolPWD_APP, &TFormPrincipal::ToolPWD_APPClick);
    m_window.conecta(m_window.m_ToolFicheros, &TFormPrincipal::DirectoriodeTrabajo1Click);
    m_window.conecta(m_window.m_ToolNuevo, &TFormPrincipal::ToolNuevoClick);
    m_window.conecta(m_window.m_ToolSalvar, &TFormPrincipal::ToolSalvarClick);
    m_window.conecta(m_window.m_ToolConectar, &TFormPrincipal::CONECTARClick);
    m_window.conecta(m_window.m_ToolRecibir, &TFormPrincipal::Recibir_ANTClick);
    m_window.conecta(m_window.m_ToolEnviar, &TFormPrincipal::Enviar_ATNClick);
    m_window.conecta(m_window.m_ToolOrden, &TFormPrincipal::ToolOrdenClick);
    m_window.conecta(m_window.m_ToolExcel, &TFormPrincipal::ToolExcelClick);
    m_window.conecta(m_window.m_ToolTest, &TFormPrincipal::TestdePlacas1Click);
    m_window.conecta(m_window.m_ToolSistema, &TFormPrincipal::Parametros1Click);
}

