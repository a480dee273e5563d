#pragma once

#include "ColumnTitles.h"
#include "JobChores.h"
#include "ToolImages.h"

#include <QMainWindow>
#include <QMap>
#include <QSet>

#include <functional>
#include <QPointer>

#include <memory>

class BoardNumberFilter;
class BoardSession;
enum class CodeCheck;
class Contexto;
struct DataFileRef;
struct ImageResult;
struct JobStatus;
class TextLookup;
class Lenguaje;
class LineEcho;
class PortMenu;
class QAction;
class QFileDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QTableView;
class QTimer;
class QToolBar;
class QTreeWidget;
class TF_Comparacion;
class UserArea;
class UsersGrid;
struct FileCommandResult;
struct OutcomeLines;
struct PreparacionCambios;
class SendChangesJob;
struct SendChangesPlan;
class SendJob;
struct SendPlan;
struct SendResult;

// The main window (unit F_directorio2): menus, tool bar, the tree of boards on the bus, the board
// number and the users grid. Every component carries its system name as objectName.
//
// A command is enabled or disabled through its QAction (tool buttons and menu entries) or its
// widget; a whole menu through menuAction(). Handlers run on the UI thread and may pump events
// while they wait for the boards.
class TFormPrincipal : public QMainWindow, public ColumnTitles
{
    Q_OBJECT
public:
    explicit TFormPrincipal(Contexto &ctx, QWidget *parent = nullptr);
    // Runs FormDestroy.
    ~TFormPrincipal() override;

    // Run once, right after the window is stored in the Contexto.
    void FormCreate();
    // Writes the configuration and closes the port; errors are ignored.
    void FormDestroy();

    void listCOMPorts();
    // The port menu for these port names, in this order.
    void listCOMPorts(const QStringList &nombres);
    // PortMenu::comNumber.
    static int GetCOM_Number(const QString &name);
    void COMClick(QAction *entrada);
    // The name a port menu entry opens: the serial port's text or the network port's name.
    static QString portNameOf(const QAction *entrada);
    void conecta_APLICACION(bool unlock);

    void Test_INICIAL_PLACAS();
    void B_RefreshClick();
    void Refresh1Click();
    void ArbolClick();
    void TIEMPO_REINICIA_PLACATimer();
    // Whether a character typed into num_placa is let through.
    bool num_placaKeyPress(QChar key) const;

    void ToolPWD_APPClick();
    void DirectoriodeTrabajo1Click();
    void ToolNuevoClick();
    void N2Click();
    void ToolSalvarClick();
    void CONECTARClick();
    void Conexin1Click();
    void Conectar_Desconectar();
    // The disconnecting half of Conectar_Desconectar: sends nothing.
    void desconectaPlaca();
    // The system password check for the requester "P" (connecting) or "M" (panel parameters):
    // true, with confirmado set, when the typed code is the board's. Refused while the link is busy.
    bool Valida_Contra_Sistema(QChar letra);
    void Recibir_ANTClick();
    void Enviar_ATNClick();
    void ToolOrdenClick();
    void ToolExcelClick();
    // File menu "Import…": users from a .csv or .xls file into the open data file.
    void ImportarClick();
    void TestdePlacas1Click();
    void Parametros1Click();
    void Contrasea1Click();
    // Compare with the board, send only the changes, save and restore a whole board.
    void CompararSistemaClick();
    void EnviarCambiosClick();
    void GuardarImagenClick();
    void RestaurarImagenClick();
    void Idioma1Click();
    void miDebugWindowClick();
    void Salir1Click();

    // conectar's glyph, I_LED's picture, ToolConectar's image and conectar's caption.
    void showNotConnectedLook();
    void showConnectedLook();

    // ImageList2: the pictures of the tool buttons and menus by index (a null icon where unused).
    static QIcon ImageList2(int index) { return ToolImages::ImageList2(index); }
    // ImageList1: the tree's node picture.
    static QIcon ImageList1(int index) { return ToolImages::ImageList1(index); }
    // Sets an action's picture from ImageList2 and remembers the index ("ImageIndex" property).
    static void setImageIndex(QAction *action, int index) { ToolImages::setImageIndex(action, index); }
    static int imageIndex(const QAction *action) { return ToolImages::imageIndex(action); }

    // Titles of the users grid, kept here because the grid's model comes and goes with the file.
    void setTituloColumna(int column, const QString &title) override;
    QString tituloColumna(int column) const { return m_titulos.value(column); }
    // Puts the kept titles on the grid's current model; call after giving DBGrid1 a model.
    void aplicaTitulosColumnas();

    // How an error that ends a command is shown; a modal box unless replaced (tests record it).
    void setAvisoError(std::function<void(const QString &)> aviso) { m_avisoError = std::move(aviso); }
    // How a file dialog (OpenFi, Salvar, Salvar_COMO, Dialogo1) is answered: the chosen path, empty
    // when cancelled. Shown modally unless replaced (tests answer without showing it).
    void setEligeFichero(std::function<QString(QFileDialog *)> elige) { m_eligeFichero = std::move(elige); }
    // A yes/no question in two lines; a message box unless replaced (tests answer it).
    void setPregunta(std::function<bool(const QString &, const QString &)> pregunta)
    {
        m_pregunta = std::move(pregunta);
    }
    // The report of the last comparison; null before the first.
    TF_Comparacion *comparacion() const { return m_comparacion; }
    // DBGrid1 and edtCode over Table1; null when the run has no users table.
    UsersGrid *rejillaUsuarios() const { return m_rejilla.get(); }

    QTreeWidget *Arbol() const { return m_Arbol; }
    QLineEdit *num_placa() const { return m_num_placa; }
    QTableView *DBGrid1() const { return m_DBGrid1; }
    QLineEdit *edtCode() const { return m_edtCode; }
    QListWidget *Lista_solo_EXCEL() const { return m_Lista_solo_EXCEL; }
    QLabel *L_Fichero() const { return m_L_Fichero; }
    QLabel *L_Usuario_Proceso() const { return m_L_Usuario_Proceso; }
    QTimer *TIEMPO_REINICIA_PLACA() const { return m_TIEMPO_REINICIA_PLACA; }
    QMenu *Configuracin1() const { return m_Configuracin1; }
    // The port entries miCOM1.. in menu order.
    const QList<QAction *> &entradasPuerto() const;
    // The per-port echo setting at the end of miComunication.
    QAction *miEcoLinea() const;
    // Lists the ports again (adapters plugged in or out) keeping the open port checked; runs
    // each time the port menu opens.
    void refrescaPuertos();

    // A line in the status bar: what a command refused or found without a message box.
    void avisaEstado(const QString &texto);
    QString textoEstado() const;

signals:
    // The window was closed: the run ends.
    void cerrada();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    friend class MainWindowLayout;
    void conecta(QAction *action, void (TFormPrincipal::*handler)());
    void conecta(QPushButton *button, void (TFormPrincipal::*handler)());
    void protegido(const std::function<void()> &handler);
    void habilitaMenuPuertos();
    void agregaNodo(int placa);
    void cierraTable1();
    void creaRejillaUsuarios();
    // vaciaNombre: the dialog starts with no file name instead of the previous use's.
    QString eligeFichero(QFileDialog *dialogo, bool vaciaNombre = false);
    void creaMenuImportar();
    void muestraResultado(const FileCommandResult &resultado);
    // The nine controls a transfer disables while it runs.
    void habilitaTransferencia(bool on);
    void terminaTransferencia();
    // The chores around a job run from this window, with its lock.
    JobChores choresFor(BoardSession &sesion, const JobChores::Steps &pasos);
    // A job's outcome in a message box; nothing when it has no lines.
    void showLines(const OutcomeLines &lineas);
    // Reads and encodes the rows; false when the send stops before the board is touched.
    bool prepareSend(SendJob &trabajo, SendPlan &plan);
    void showSendOutcome(const SendResult &resultado, JobChores &tareas);
    void creaMenusSincronia();
    // Valida_Contra_Sistema with a line in the dialog naming the code asked (motivo); cancelado
    // tells a dialog closed without Aceptar from a code typed and refused.
    CodeCheck compruebaCodigo(QChar letra, const QString &motivo, bool &cancelado);
    // The master code check before an image is saved or restored; a wrong code or a silent board
    // is answered with a message headed by the command's own line.
    bool pideCodigoMaestro(const QString &motivo, const QString &nadaHecho);
    // The send of changes' own confirmation: board, file, what is written; Cancel writes nothing.
    bool confirmaCambios(qsizetype escribir, qsizetype vaciar, const QStringList &leftOut);
    // The open data file remembers (area) or forgets (null) the board in num_placa.
    void recuerdaSincronia(const UserArea *area);
    // Real serial lines (TFormPrincipal_Linea.cpp).
    void preparaLinea();
    void aplicaEcoDeLinea();
    // Why the port chosen (puerto) did not open: in a message and under the board list.
    void avisaFalloApertura(const QString &puerto);
    void avisaPuertoAusente(const QString &dispositivo);
    // A job's entry could not be added to the data file's history: said once the job is over.
    void avisaSinHistorial(const QString &error);
    // The reason the board list is empty because of the port, under the list; empty hides it.
    void muestraMotivoPuerto(const QString &linea1, const QString &linea2);
    // Closes and unchecks a port that went away; linea1 heads the message when an operation ended.
    void puertoPerdido(const QString &linea1 = QString());
    // The board session on the window's port and link; null while either is missing.
    BoardSession *sesion();
    // Another operation holds the link: nothing may start an exchange or purge the port now.
    bool lineaOcupada() const;
    // A line of the debug log.
    void anota(const QString &linea) const;
    DataFileRef ficheroAbierto() const;
    // What the send of changes offers to run once it has let go of the link.
    enum class AfterChanges
    {
        Nothing,
        FullSend,
        Compare
    };
    bool prepareChanges(SendChangesJob &trabajo, SendChangesPlan &plan, AfterChanges &despues);
    AfterChanges sendChanges(BoardSession &sesion, SendChangesJob &trabajo, const PreparacionCambios &p);
    // A job that did not run to its end: Stop, a lost port or an error, headed by incompleta.
    void muestraFinTrabajo(const JobStatus &fin, const QString &incompleta);

    Contexto &m_ctx;
    std::unique_ptr<Lenguaje> m_lenguaje;
    std::function<void(const QString &)> m_avisoError;
    QMap<int, QString> m_titulos;

    QFrame *m_Panel5 = nullptr;
    QLabel *m_Label6 = nullptr;
    QLabel *m_Label10 = nullptr;
    QLabel *m_LED_OFF = nullptr;
    QLabel *m_LED_ON = nullptr;
    QLabel *m_I_NO = nullptr;
    QLabel *m_I_YES = nullptr;
    QLabel *m_Image1 = nullptr;
    QLabel *m_L_Usuario_Proceso = nullptr;

    QPushButton *m_B_Refresh = nullptr;
    QTreeWidget *m_Arbol = nullptr;
    QLabel *m_L_MotivoPuerto = nullptr;
    // What a running job disabled beyond the transfer buttons, to be enabled again when it ends.
    QList<QPointer<QObject>> m_bloqueadosPorTrabajo;
    // Set while the saved port is opened at start-up, before the window is shown.
    bool m_abriendoAlArrancar = false;
    QMenu *m_PopupMenu1 = nullptr;
    QPushButton *m_conectar = nullptr;
    QPushButton *m_Recibir = nullptr;
    QPushButton *m_Enviar = nullptr;

    QLabel *m_Label8 = nullptr;
    QLineEdit *m_num_placa = nullptr;
    QLabel *m_I_LED = nullptr;
    QLabel *m_L_DESC_F = nullptr;
    QLabel *m_L_Fichero = nullptr;
    QTableView *m_DBGrid1 = nullptr;
    QListWidget *m_Lista_solo_EXCEL = nullptr;
    QLineEdit *m_edtCode = nullptr;

    QToolBar *m_ToolBar1 = nullptr;
    QAction *m_ToolPWD_APP = nullptr;
    QAction *m_ToolFicheros = nullptr;
    QAction *m_ToolNuevo = nullptr;
    QAction *m_ToolSalvar = nullptr;
    QAction *m_ToolConectar = nullptr;
    QAction *m_ToolRecibir = nullptr;
    QAction *m_ToolEnviar = nullptr;
    QAction *m_ToolOrden = nullptr;
    QAction *m_ToolExcel = nullptr;
    QAction *m_ToolTest = nullptr;
    QAction *m_ToolSistema = nullptr;

    QMenu *m_Archivo1 = nullptr;
    QMenu *m_miComunication = nullptr;
    QMenu *m_Herraminetas1 = nullptr;
    QMenu *m_Configuracin1 = nullptr;
    QAction *m_RecibirdelSistema2 = nullptr;
    QAction *m_EnviaralSistema1 = nullptr;
    QAction *m_miDebugWindow = nullptr;
    std::unique_ptr<PortMenu> m_portMenu;
    LineEcho *m_lineEcho = nullptr;

    QTimer *m_TIEMPO_REINICIA_PLACA = nullptr;

    std::unique_ptr<UsersGrid> m_rejilla;
    std::function<QString(QFileDialog *)> m_eligeFichero;
    BoardNumberFilter *m_boardNumberFilter = nullptr;
    QFileDialog *m_OpenFi = nullptr;
    QFileDialog *m_Salvar = nullptr;
    QFileDialog *m_Salvar_COMO = nullptr;
    QFileDialog *m_Dialogo1 = nullptr;
    QAction *m_Importar = nullptr;
    QFileDialog *m_DialogoImportar = nullptr;

    std::function<bool(const QString &, const QString &)> m_pregunta;
    TF_Comparacion *m_comparacion = nullptr;
    QFileDialog *m_DialogoImagen = nullptr;
    QFileDialog *m_DialogoAbrirImagen = nullptr;
};
