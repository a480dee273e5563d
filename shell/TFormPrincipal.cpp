#include "TFormPrincipal.h"
#include "BoardNumberFilter.h"
#include "CursorOverride.h"

#include "EntryGuard.h"

#include "Asigna_Lenguaje.h"
#include "BoardSession.h"
#include "ScanJob.h"
#include "TextLookup.h"
#include "WindowJobObserver.h"
#include "Configuracion.h"
#include "Contexto.h"
#include "Contrasenas.h"
#include "ErrorBox.h"
#include "EstadoPrograma.h"
#include "FicheroActual.h"
#include "HistoryMenu.h"
#include "Lenguaje.h"
#include "MainWindowLayout.h"
#include "PortMenu.h"
#include "ToolImages.h"
#include "Recursos.h"
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
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScopedValueRollback>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <optional>

using namespace std::chrono_literals;

namespace {

constexpr QSize TAMANO_VENTANA{850, 444};
constexpr std::chrono::milliseconds ESPERA_APERTURA = 100ms;
constexpr std::chrono::milliseconds INTERVALO_REINICIO = 5000ms;

// Which picture holder a glyph or picture was copied from, so the look can be asked for by name.
const char *const PROP_ORIGEN = "PictureFrom";

QString textoError(const std::exception &e)
{
    if (const auto *tzr = dynamic_cast<const TzrError *>(&e))
        return tzr->message();
    return QString::fromLocal8Bit(e.what());
}

void habilita(QMenu *menu, bool on)
{
    menu->menuAction()->setEnabled(on);
}

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
    MainWindowLayout disposicion(*this);
    disposicion.components();
    disposicion.menus();
    m_portMenu = std::make_unique<PortMenu>(
        m_ctx, *m_Configuracin1, *menuBar(), *this,
        PortMenu::Handlers{[this](QAction *entrada) { protegido([this, entrada] { COMClick(entrada); }); },
                           [this](QAction *a, std::function<void()> f) {
                               connect(a, &QAction::triggered, this, [this, f] { protegido(f); });
                           },
                           [this] { Parametros1Click(); }});
    creaMenuImportar();
    new HistoryMenu(m_ctx, *m_Archivo1, *this,
                    {[this] { return ficheroAbierto(); }, [this](std::function<void()> f) { protegido(f); },
                     [this](const QString &error) {
                         if (m_avisoError)
                             m_avisoError(error);
                     }});
    creaMenusSincronia();
    disposicion.toolBar();
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
        for (int c = 0; c < Table1Model::COLUMN_COUNT; ++c)
            extra += m_DBGrid1->horizontalHeader()->sectionSize(c) - Table1Model::ancho(c);
        tamano.rwidth() += std::max(0, extra);
    }
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (screen)
        tamano = tamano.boundedTo(screen->availableGeometry().size()).expandedTo(TAMANO_VENTANA);
    resize(tamano);
    if (screen)
        move(screen->availableGeometry().center() - rect().center());

    if (m_ctx.sesion) {
        // The field's text as it stands: the entry guard may put it back inside this signal.
        const auto placaDelCampo = [this] { m_ctx.sesion->setBoardText(m_num_placa->text()); };
        connect(m_num_placa, &QLineEdit::textChanged, this, placaDelCampo);
        placaDelCampo();
    }
    preparaLinea();
}

TFormPrincipal::~TFormPrincipal()
{
    FormDestroy();
    if (m_ctx.sesion)
        m_ctx.sesion->setBoard(1);
    if (m_lenguaje && m_ctx.lenguaje == m_lenguaje.get())
        m_ctx.lenguaje = nullptr;
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

    if (m_ctx.sesion)
        m_ctx.sesion->resetLink();
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
        if (m_ctx.sesion && m_ctx.sesion->isOpen())
            m_ctx.sesion->closePort();
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
    BoardSession *puerto = sesion();
    if (lineaOcupada()) {
        // Another operation is waiting for a reply on this port; closing it now would cut it off.
        entrada->setChecked(puerto && puerto->isOpen() && puerto->portName() == portNameOf(entrada));
        return;
    }
    EstadoPrograma &estado = *m_ctx.estado;
    ProgressView *progreso = m_ctx.progreso;

    m_Arbol->clear();
    habilita(m_Configuracin1, false);
    if (progreso) {
        progreso->display();
        progreso->setMessage(textosDe(m_ctx).texto(QStringLiteral("F_test_label2_caption"), falloGeneral()));
        progreso->setMaximum(ScanJob::BarMaximum);
        progreso->setPosition(0);
        progreso->setCounter(QStringLiteral("0/%1").arg(ScanJob::BarMaximum));
    }
    if (estado.placa_conectada())
        CONECTARClick();
    if (puerto && puerto->isOpen()) {
        estado.setDetener_proceso(true);
        try {
            puerto->closePort();
        } catch (...) {
        }
    }
    for (QAction *otra : m_portMenu->entries()) {
        if (otra != entrada)
            otra->setChecked(false);
    }
    // From here to the end of the scan nothing else may start an exchange on the new port.
    std::optional<BoardSession::Hold> reserva;
    if (puerto)
        reserva.emplace(*puerto);

    try {
        m_ctx.configuracion->setComPort(entrada->data().typeId() == QMetaType::Int
                                            ? QString::number(entrada->data().toInt())
                                            : portNameOf(entrada));
        estado.setPuerto_Actual(portNameOf(entrada));
        m_ctx.configuracion->Guarda_Configuracion();
    } catch (...) {
        entrada->setChecked(false);
        if (progreso)
            progreso->dismiss();
        habilitaMenuPuertos();
        throw;
    }

    try {
        if (!puerto)
            throw TzrError(QStringLiteral("No serial port"));
        if (!puerto->openOnly(portNameOf(entrada)))
            throw TzrError(puerto->portError());
        aplicaEcoDeLinea();
        entrada->setChecked(puerto->isOpen());
        if (puerto->isOpen()) {
            muestraMotivoPuerto(QString(), QString());
            const CursorOverride cursor;
            esperaBombeando(ESPERA_APERTURA);
            Test_INICIAL_PLACAS();
        }
        habilitaMenuPuertos();
    } catch (const std::exception &e) {
        entrada->setChecked(false);
        habilitaMenuPuertos();
        m_Arbol->clear();
        if (progreso)
            progreso->dismiss();
        anota(QStringLiteral("TFormPrincipal.COMClick Error: ") + textoError(e));
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
    anota(QStringLiteral("Test_INICIAL_PLACAS Error:") + resultado.error);
    if (resultado.end == JobEnd::PortLost)
        puertoPerdido();
}

void TFormPrincipal::B_RefreshClick()
{
    if (lineaOcupada())
        return;
    if (m_ctx.estado->placa_conectada())
        CONECTARClick();
    const CursorOverride cursor;
    Test_INICIAL_PLACAS();
}

void TFormPrincipal::Refresh1Click()
{
    if (lineaOcupada())
        return;
    const CursorOverride cursor;
    Test_INICIAL_PLACAS();
}

void TFormPrincipal::TIEMPO_REINICIA_PLACATimer()
{
    // The board restarts after new parameters; an exchange still in flight gets one more period.
    if (lineaOcupada())
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
        anota(QStringLiteral("TFormPrincipal.ArbolClick: Error:") + textoError(e));
    }
}

bool TFormPrincipal::num_placaKeyPress(QChar key) const
{
    return m_boardNumberFilter->accepts(key);
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
    if (lineaOcupada())
        return;
    if (m_ctx.sesion)
        m_ctx.sesion->purge();
    const CursorOverride cursor;
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
