#include "Asigna_Lenguaje.h"
#include "Contexto.h"
#include "EstadoPrograma.h"
#include "FicheroActual.h"
#include "Lenguaje.h"
#include "PrincipalStandIn.h"
#include "RecordingLookup.h"
#include "TAdvertencia.h"
#include "TFProgreso.h"
#include "TF_Advertencia3.h"
#include "TF_Contra_Aplicacion.h"
#include "TF_Contrasena.h"
#include "Tidiomaa.h"
#include "WindowSet.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString kInterrogacion = QStringLiteral("¿?");
const QString kDobleInterrogacion = QStringLiteral("¿¿??");

QString ficheroDatos()
{
    return qEnvironmentVariable("TZR_SOURCE_DIR") + QStringLiteral("/data/TZR_LANG.ini");
}

template <typename T> T *hijo(QWidget *ventana, const QString &nombre, QWidget *padre = nullptr)
{
    auto *w = new T(padre ? padre : ventana);
    w->setObjectName(nombre);
    return w;
}

// The windows that other parts of the shell build, with the components their routines address.
std::unique_ptr<QDialog> parametrosStandIn()
{
    auto v = std::make_unique<QDialog>();
    v->setObjectName(QStringLiteral("TF_Parametros"));
    hijo<QLabel>(v.get(), QStringLiteral("L_TITULO"));
    hijo<QLabel>(v.get(), QStringLiteral("Label15"));
    auto *paginas = hijo<QTabWidget>(v.get(), QStringLiteral("PageControl1"));
    auto *hoja1 = hijo<QWidget>(v.get(), QStringLiteral("TabSheet1"));
    auto *hoja2 = hijo<QWidget>(v.get(), QStringLiteral("TabSheet2"));
    paginas->addTab(hoja1, QStringLiteral("Parameters"));
    paginas->addTab(hoja2, QStringLiteral("Help"));
    for (int i = 1; i <= 25; ++i)
        if (i != 15)
            hijo<QLabel>(v.get(), QStringLiteral("Label%1").arg(i), i % 2 ? hoja1 : hoja2);
    return v;
}

std::unique_ptr<QDialog> standIn(const char *nombre, std::initializer_list<const char *> etiquetas,
                                 std::initializer_list<const char *> botones)
{
    auto v = std::make_unique<QDialog>();
    v->setObjectName(QString::fromLatin1(nombre));
    for (const char *e : etiquetas)
        hijo<QLabel>(v.get(), QString::fromLatin1(e));
    for (const char *b : botones)
        hijo<QPushButton>(v.get(), QString::fromLatin1(b));
    return v;
}

QString textoDe(QObject *o)
{
    if (auto *l = qobject_cast<QLabel *>(o))
        return l->text();
    if (auto *b = qobject_cast<QAbstractButton *>(o))
        return b->text();
    if (auto *m = qobject_cast<QMenu *>(o))
        return m->title();
    if (auto *a = qobject_cast<QAction *>(o))
        return a->text();
    return QStringLiteral("<unknown>");
}

// Keys the other layers read at the moment a text is shown.
const QStringList clavesMensaje = {
    QStringLiteral("SHOW_M1"),    QStringLiteral("SHOW_M2"),
    QStringLiteral("SHOW_M3"),    QStringLiteral("SHOW_M4"),
    QStringLiteral("SHOW_M5"),    QStringLiteral("SHOW_M6"),
    QStringLiteral("SHOW_M7"),    QStringLiteral("SHOW_M8"),
    QStringLiteral("SHOW_M9"),    QStringLiteral("SHOW_M10"),
    QStringLiteral("SHOW_M11"),   QStringLiteral("F_SHOW_M1"),
    QStringLiteral("F_SHOW_M2"),  QStringLiteral("F_SHOW_M3"),
    QStringLiteral("F_SHOW_M4"),  QStringLiteral("F_SHOW_M9"),
    QStringLiteral("F_SHOW_M11"), QStringLiteral("F_SHOW_M12"),
    QStringLiteral("F_SHOW_M13"), QStringLiteral("F_SHOW_M14"),
    QStringLiteral("F_SHOW_M15"), QStringLiteral("F_SHOW_M16"),
    QStringLiteral("F_SHOW_M17"), QStringLiteral("F_SHOW_M18"),
    QStringLiteral("F_SHOW_M19"), QStringLiteral("F_test_label2_caption"),
    QStringLiteral("K_TECLADO"),  QStringLiteral("K_TARJETA"),
    QStringLiteral("K_LLAVE"),
};

QStringList clavesDeLasRutinas()
{
    RecordingLookup registro;
    EstadoPrograma estado;
    QWidget vacia;
    Lenguaje_FormPrincipal(&vacia, registro, estado);
    for (auto rutina : {Lenguaje_Advertencia, Lenguaje_F_Advertencia3, Lenguaje_F_Contrasena,
                        Lenguaje_F_Contra_Aplicacion, Lenguaje_F_Mensaje_Parametros, Lenguaje_F_Parametros,
                        Lenguaje_Idiomaa, Lenguaje_FProgreso, Lenguaje_F_Solicita_Contra, Lenguaje_F_Test})
        rutina(&vacia, registro);
    return registro.claves();
}

} // namespace

class tst_Asigna_Lenguaje : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_xdg.isValid());
        qputenv("XDG_DATA_HOME", m_xdg.path().toLocal8Bit());
    }

    void sinFichero_principalCaptions_data()
    {
        QTest::addColumn<QString>("componente");
        for (const char *n : {"Label6",
                              "Label8",
                              "conectar",
                              "Enviar",
                              "Recibir",
                              "Archivo1",
                              "DirectoriodeTrabajo1",
                              "N2",
                              "N5",
                              "Contrasea1",
                              "Idioma1",
                              "N4",
                              "Salir1",
                              "miComunication",
                              "Conexin1",
                              "RecibirdelSistema2",
                              "EnviaralSistema1",
                              "Herraminetas1",
                              "TestdePlacas1",
                              "Configuracin1",
                              "B_Refresh"})
            QTest::newRow(n) << QString::fromLatin1(n);
    }
    void sinFichero_principalCaptions()
    {
        QFETCH(QString, componente);
        PrincipalStandIn principal;
        EstadoPrograma estado;
        Lenguaje_FormPrincipal(&principal, sinFichero(), estado);
        QObject *o = principal.findChild<QObject *>(componente);
        QVERIFY(o);
        QCOMPARE(textoDe(o), kInterrogacion);
    }

    void sinFichero_principalResto()
    {
        PrincipalStandIn principal;
        EstadoPrograma estado;
        Lenguaje_FormPrincipal(&principal, sinFichero(), estado);
        QCOMPARE(principal.windowTitle(), kInterrogacion);
        QCOMPARE(principal.componente<QLabel>("L_DESC_F")->text(), QStringLiteral("Data file"));
        QCOMPARE(estado.Caption_Parametros(), kInterrogacion);
        QCOMPARE(principal.componente<QAction>("N1")->text(), QString());
        QVERIFY(principal.componente<QAction>("N1")->isSeparator());
        // Without their keys the File menu's separators turn into entries.
        QVERIFY(!principal.componente<QAction>("N5")->isSeparator());
        QVERIFY(!principal.componente<QAction>("N4")->isSeparator());
        // The port menu's entries are not the routine's: the parameters entry takes
        // Caption_Parametros only when the port menu is built or a language accepted.
        QCOMPARE(principal.componente<QAction>("Parametros1")->text(), QStringLiteral("design"));
        QCOMPARE(principal.componente<QAction>("miCOM1")->text(), QStringLiteral("COM1"));
        QCOMPARE(principal.componente<QAction>("miDebugWindow")->text(), QString());
        const QMap<int, QString> columnas{{0, kInterrogacion},
                                          {1, kInterrogacion},
                                          {3, kInterrogacion},
                                          {4, kInterrogacion},
                                          {6, kInterrogacion}};
        QCOMPARE(principal.titulos(), columnas);
    }

    void sinFichero_hints_data()
    {
        QTest::addColumn<QString>("boton");
        QTest::addColumn<QString>("hint");
        QTest::newRow("lock") << "ToolPWD_APP"
                              << "PWD";
        QTest::newRow("open") << "ToolFicheros"
                              << "Open";
        QTest::newRow("new") << "ToolNuevo"
                             << "New";
        QTest::newRow("save") << "ToolSalvar"
                              << "Save as";
        QTest::newRow("connect") << "ToolConectar"
                                 << "Connect/Disconnect";
        QTest::newRow("receive") << "ToolRecibir"
                                 << "Receive from system";
        QTest::newRow("send") << "ToolEnviar"
                              << "Send to system";
        QTest::newRow("order") << "ToolOrden"
                               << "Order by name";
        QTest::newRow("excel") << "ToolExcel"
                               << "Export to MS-Excel";
        QTest::newRow("test") << "ToolTest"
                              << "Test panel";
        QTest::newRow("system") << "ToolSistema"
                                << "Panel Parameters";
    }
    void sinFichero_hints()
    {
        QFETCH(QString, boton);
        QFETCH(QString, hint);
        PrincipalStandIn principal;
        EstadoPrograma estado;
        Lenguaje_FormPrincipal(&principal, sinFichero(), estado);
        auto *accion = principal.findChild<QAction *>(boton);
        QVERIFY(accion);
        QCOMPARE(accion->toolTip(), hint);
    }

    void sinFichero_otrasVentanas()
    {
        Contexto ctx;
        EstadoPrograma estado;
        FicheroActual fichero;
        Lenguaje lenguaje = sinFichero();
        ctx.lenguaje = &lenguaje;
        ctx.estado = &estado;
        ctx.fichero = &fichero;
        TAdvertencia advertencia(ctx);
        TF_Advertencia3 advertencia3(ctx);
        TF_Contrasena contrasena(ctx);
        TF_Contra_Aplicacion contraAplicacion(ctx);
        Tidiomaa idiomaa(ctx);
        TFProgreso progreso(ctx);
        auto parametros = parametrosStandIn();
        auto mensaje = standIn("TF_Mensaje_Parametros", {"L1", "L2"}, {"B_Aceptar"});
        auto solicita =
            standIn("TF_Solicita_Contra", {"Label1", "L_a_que", "Label2"}, {"Aceptar", "Cancelar"});
        auto test =
            standIn("TF_Test", {"Label1", "Label2", "Label3", "L_TITULO", "Label4"}, {"Iniciar", "Detener"});
        Lenguaje_F_Parametros(parametros.get(), lenguaje);
        Lenguaje_F_Mensaje_Parametros(mensaje.get(), lenguaje);
        Lenguaje_F_Solicita_Contra(solicita.get(), lenguaje);
        Lenguaje_F_Test(test.get(), lenguaje);

        for (QWidget *v : std::initializer_list<QWidget *>{&advertencia, &advertencia3, &contrasena,
                                                           &contraAplicacion, solicita.get(), test.get()})
            QCOMPARE(v->windowTitle(), kDobleInterrogacion);
        const std::pair<QWidget *, QStringList> conClave[] = {
            {&advertencia, {"Label1", "Label2", "Label3", "Label4", "Label5", "Aceptar", "Cancelar"}},
            {&advertencia3, {"Label1", "Label2", "Label3", "Label4", "Label5", "Aceptar", "Cancelar"}},
            {&contrasena, {"Label1", "Validar", "Aceptar1", "Cancelar1", "L2", "L3"}},
            {&contraAplicacion, {"Label1", "Label2", "Aceptar", "Cancelar"}},
            {&idiomaa, {"Label1", "Aceptar"}},
            {&progreso, {"Mensaje"}},
            {mensaje.get(), {"L1", "B_Aceptar"}},
            {solicita.get(), {"Label1", "L_a_que", "Label2", "Aceptar", "Cancelar"}},
            {test.get(), {"Label1", "Label2", "Label3", "Iniciar", "Detener", "L_TITULO"}},
            {parametros.get(),
             {"L_TITULO", "Label15", "Label1",  "Label7",  "Label4",  "Label8",  "Label3",  "Label10",
              "Label2",   "Label12", "Label5",  "Label13", "Label6",  "Label14", "Label9",  "Label17",
              "Label11",  "Label16", "Label18", "Label23", "Label21", "Label22", "Label24", "Label25"}},
        };
        for (const auto &[ventana, nombres] : conClave) {
            for (const QString &nombre : nombres) {
                QObject *o = ventana->findChild<QObject *>(nombre);
                QVERIFY2(o, qPrintable(nombre));
                QVERIFY2(textoDe(o) == kDobleInterrogacion,
                         qPrintable(ventana->objectName() + u'.' + nombre));
            }
        }
        auto *paginas = parametros->findChild<QTabWidget *>();
        QCOMPARE(paginas->tabText(0), kDobleInterrogacion);
        QCOMPARE(paginas->tabText(1), kDobleInterrogacion);
        QCOMPARE(parametros->findChild<QLabel *>(QStringLiteral("Label19"))->text(), QString());
        QCOMPARE(mensaje->findChild<QLabel *>(QStringLiteral("L2"))->text(), QString());
        QCOMPARE(test->findChild<QLabel *>(QStringLiteral("Label4"))->text(), QString());
        // The parameters window keeps its own caption.
        QCOMPARE(parametros->windowTitle(), QString());
    }

    void conFichero_principal_data()
    {
        QTest::addColumn<QString>("idioma");
        QTest::addColumn<QString>("archivo");
        QTest::addColumn<QString>("columna0");
        QTest::addColumn<QString>("parametros");
        QTest::newRow("es") << "ESPAÑOL"
                            << "&Archivo"
                            << "Nombre"
                            << "Parámetros del Sistema";
        QTest::newRow("fr") << "FRANÇAIS"
                            << "&Fichier"
                            << "Nom"
                            << "Paramètres du système";
        QTest::newRow("en") << "ENGLISH"
                            << "&File"
                            << "Name"
                            << "System Parameters";
    }
    void conFichero_principal()
    {
        QFETCH(QString, idioma);
        QFETCH(QString, archivo);
        QFETCH(QString, columna0);
        QFETCH(QString, parametros);
        const Lenguaje lenguaje(ficheroDatos(), [idioma] { return idioma; });
        PrincipalStandIn principal;
        EstadoPrograma estado;
        Lenguaje_FormPrincipal(&principal, lenguaje, estado);
        QCOMPARE(principal.componente<QMenu>("Archivo1")->title(), archivo);
        QCOMPARE(principal.titulos().value(0), columna0);
        QCOMPARE(estado.Caption_Parametros(), parametros);
        // Drawn as plain separators: a separator's text would show as a "-" title.
        for (const char *separador : {"N5", "N4", "N1"}) {
            QVERIFY(principal.componente<QAction>(separador)->isSeparator());
            QCOMPARE(principal.componente<QAction>(separador)->text(), QString());
        }
        for (QObject *o : principal.findChildren<QObject *>()) {
            const QString t = textoDe(o);
            QVERIFY2(!t.contains(u'¿'), qPrintable(o->objectName()));
        }
    }

    // Without ColumnTitles the titles go to the grid's own header.
    void columnasSinGancho_data()
    {
        QTest::addColumn<bool>("tablaWidget");
        QTest::newRow("table widget") << true;
        QTest::newRow("view with model") << false;
    }
    void columnasSinGancho()
    {
        QFETCH(bool, tablaWidget);
        QWidget principal;
        QStandardItemModel modelo(0, 7);
        if (tablaWidget) {
            auto *grid = hijo<QTableWidget>(&principal, QStringLiteral("DBGrid1"));
            grid->setColumnCount(7);
            grid->setHorizontalHeaderLabels({"NOMBRE", "CALL", "TZR", "CODIGO", "LINEA2", "L2", "TIPO_CODE"});
        } else {
            auto *grid = hijo<QTableView>(&principal, QStringLiteral("DBGrid1"));
            modelo.setHorizontalHeaderLabels(
                {"NOMBRE", "CALL", "TZR", "CODIGO", "LINEA2", "L2", "TIPO_CODE"});
            grid->setModel(&modelo);
        }
        EstadoPrograma estado;
        Lenguaje_FormPrincipal(&principal, espanol(), estado);
        auto *vista = principal.findChild<QAbstractItemView *>(QStringLiteral("DBGrid1"));
        const QStringList esperado{"Nombre", "Llamada", "TZR", "Código", "Línea 2", "L2", "Tipo"};
        for (int c = 0; c < 7; ++c)
            QCOMPARE(vista->model()->headerData(c, Qt::Horizontal).toString(), esperado[c]);
    }

    void sinComponentesSeLeenTodasLasClaves()
    {
        RecordingLookup registro;
        EstadoPrograma estado;
        Lenguaje_FormPrincipal(nullptr, registro, estado);
        QCOMPARE(registro.claves().size(), 40);
        QCOMPARE(registro.claves().first(), QStringLiteral("FormPrincipal_Caption"));
        QCOMPARE(registro.claves().last(), QStringLiteral("HINT_11"));
        QCOMPARE(registro.fallos().count(kInterrogacion), 28);
        QCOMPARE(estado.Caption_Parametros(), kInterrogacion);
    }

    void ordenDeLasClaves()
    {
        RecordingLookup registro;
        QWidget vacia;
        Lenguaje_F_Parametros(&vacia, registro);
        QCOMPARE(registro.claves().size(), 26);
        QCOMPARE(registro.claves().at(2), QStringLiteral("F_Parametros_TabSheet1_Caption"));
        QCOMPARE(registro.claves().at(19), QStringLiteral("F_Parametros_label16_Caption"));
        RecordingLookup test;
        Lenguaje_F_Test(&vacia, test);
        QCOMPARE(test.claves(),
                 (QStringList{"F_Test_Caption", "F_Test_label1_Caption", "F_test_label2_caption",
                              "F_test_label3_caption", "F_test_Iniciar_Caption", "F_test_Detener_Caption",
                              "F_Test_L_TITULO_Caption"}));
    }

    void ficheroDeDatos_tieneTodasLasClavesUsadas_data()
    {
        QTest::addColumn<QString>("idioma");
        QTest::newRow("es") << QStringLiteral("ESPAÑOL");
        QTest::newRow("fr") << QStringLiteral("FRANÇAIS");
        QTest::newRow("en") << QStringLiteral("ENGLISH");
    }
    void ficheroDeDatos_tieneTodasLasClavesUsadas()
    {
        QFETCH(QString, idioma);
        const QStringList usadas = clavesDeLasRutinas() + clavesMensaje;
        QVERIFY(usadas.size() > 100);
        const Lenguaje lenguaje(ficheroDatos(), [idioma] { return idioma; });
        const QString centinela = QStringLiteral("\x01missing");
        for (const QString &clave : usadas)
            QVERIFY2(lenguaje.texto(clave, centinela) != centinela, qPrintable(clave));
    }

    void todosReCaptionaCadaVentana()
    {
        Contexto ctx;
        EstadoPrograma estado;
        FicheroActual fichero;
        QString idioma = QStringLiteral("ENGLISH");
        Lenguaje lenguaje(ficheroDatos(), [&] { return idioma; });
        ctx.lenguaje = &lenguaje;
        ctx.estado = &estado;
        ctx.fichero = &fichero;
        ctx.advertencia = new TAdvertencia(ctx);
        ctx.advertencia3 = new TF_Advertencia3(ctx);
        ctx.contrasena = new TF_Contrasena(ctx);
        ctx.contraAplicacion = new TF_Contra_Aplicacion(ctx);
        ctx.idiomaa = new Tidiomaa(ctx);
        ctx.progreso = new TFProgreso(ctx);
        const std::unique_ptr<QWidget> propios[] = {
            std::unique_ptr<QWidget>(ctx.advertencia), std::unique_ptr<QWidget>(ctx.advertencia3),
            std::unique_ptr<QWidget>(ctx.contrasena),  std::unique_ptr<QWidget>(ctx.contraAplicacion),
            std::unique_ptr<QWidget>(ctx.idiomaa),     std::unique_ptr<QWidget>(ctx.progreso)};
        PrincipalStandIn principal;
        auto parametros = parametrosStandIn();
        auto test = standIn("TF_Test", {"Label1", "Label2", "Label3", "L_TITULO"}, {"Iniciar", "Detener"});
        WindowSet ventanas = WindowSet::of(ctx);
        ventanas.principal = &principal;
        ventanas.parametros = parametros.get();
        ventanas.test = test.get();
        auto label1 = [](QWidget *v) { return v->findChild<QLabel *>(QStringLiteral("Label1"))->text(); };

        Lenguaje_Todos(ventanas, lenguaje, estado);
        QCOMPARE(label1(ctx.advertencia), QStringLiteral("WARNING :"));
        idioma = QStringLiteral("ESPAÑOL");
        Lenguaje_Todos(ventanas, lenguaje, estado);
        QCOMPARE(principal.windowTitle(), QStringLiteral("Gestión de Usuarios"));
        QCOMPARE(estado.Caption_Parametros(), QStringLiteral("Parámetros del Sistema"));
        QCOMPARE(label1(ctx.advertencia), QStringLiteral("ATENCIÓN :"));
        QCOMPARE(label1(ctx.advertencia3), QStringLiteral("ATENCIÓN :"));
        QCOMPARE(label1(ctx.contrasena), QStringLiteral("Introduzca la contraseña actual :"));
        QCOMPARE(ctx.contraAplicacion->windowTitle(), QStringLiteral("Contraseña acceso Datos"));
        QCOMPARE(label1(ctx.idiomaa), QStringLiteral("Seleccione el Idioma :"));
        QCOMPARE(ctx.progreso->mensaje(), QStringLiteral("Transferencia :"));
        QCOMPARE(parametros->findChild<QTabWidget *>()->tabText(1), QStringLiteral("Ayuda"));
        QCOMPARE(label1(test.get()), QStringLiteral("Test General de Placas"));

        // Through the run's context, with the windows it knows.
        idioma = QStringLiteral("FRANÇAIS");
        Lenguaje_Todos(ctx);
        QCOMPARE(label1(ctx.advertencia), QStringLiteral("ATTENTION :"));
        QCOMPARE(ctx.progreso->mensaje(), QStringLiteral("Transfert :"));
    }

private:
    static Lenguaje sinFichero()
    {
        static QTemporaryDir vacia;
        return Lenguaje(vacia.filePath(QStringLiteral("TZR_LANG.ini")),
                        [] { return QStringLiteral("ENGLISH"); });
    }
    static Lenguaje espanol()
    {
        return Lenguaje(ficheroDatos(), [] { return QStringLiteral("ESPAÑOL"); });
    }

    QTemporaryDir m_xdg;
};

QTEST_MAIN(tst_Asigna_Lenguaje)
#include "tst_Asigna_Lenguaje.moc"
