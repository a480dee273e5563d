#include "Asigna_Lenguaje.h"

#include "ColumnTitles.h"
#include "Contexto.h"
#include "EstadoPrograma.h"
#include "Lenguaje.h"
#include "TextLookup.h"
#include "WindowSet.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QTableWidget>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace {

class FallbackLookup : public TextLookup
{
public:
    QString texto(const QString &, const QString &fallback) const override { return fallback; }
    QString seccion() const override { return {}; }
};

void asignaTexto(QObject *objeto, const QString &texto)
{
    if (auto *label = qobject_cast<QLabel *>(objeto)) {
        label->setText(texto);
    } else if (auto *boton = qobject_cast<QAbstractButton *>(objeto)) {
        boton->setText(texto);
    } else if (auto *menu = qobject_cast<QMenu *>(objeto)) {
        menu->setTitle(texto);
    } else if (auto *accion = qobject_cast<QAction *>(objeto)) {
        // A menu entry captioned "-" is a separator and any other caption makes it an entry, so a
        // file that lacks a separator's key shows that separator as a fall-back entry. A
        // separator keeps no text: styles draw a separator's text as a section title.
        const bool separador = texto == QLatin1String("-");
        accion->setSeparator(separador);
        accion->setText(separador ? QString() : texto);
    } else if (auto *grupo = qobject_cast<QGroupBox *>(objeto)) {
        grupo->setTitle(texto);
    } else if (auto *widget = qobject_cast<QWidget *>(objeto)) {
        // A tab page sits in the tab widget's stack; its caption is the tab's text.
        for (QWidget *p = widget->parentWidget(); p; p = p->parentWidget()) {
            if (auto *tabs = qobject_cast<QTabWidget *>(p)) {
                const int indice = tabs->indexOf(widget);
                if (indice >= 0) {
                    tabs->setTabText(indice, texto);
                    return;
                }
                break;
            }
        }
        widget->setWindowTitle(texto);
    }
}

void asignaHint(QObject *objeto, const QString &texto)
{
    if (auto *accion = qobject_cast<QAction *>(objeto))
        accion->setToolTip(texto);
    else if (auto *widget = qobject_cast<QWidget *>(objeto))
        widget->setToolTip(texto);
}

// Applies the keys of one window in the order they are asked for.
class Captions
{
public:
    Captions(QWidget *ventana, const TextLookup &lenguaje, QString fallo)
        : m_ventana(ventana), m_lenguaje(lenguaje), m_fallo(std::move(fallo))
    {
    }

    QString lee(const char *clave) const { return lee(clave, m_fallo); }
    QString lee(const char *clave, const QString &fallo) const
    {
        return m_lenguaje.texto(QString::fromLatin1(clave), fallo);
    }

    QObject *busca(const char *nombre) const
    {
        return m_ventana ? m_ventana->findChild<QObject *>(QString::fromLatin1(nombre)) : nullptr;
    }

    void titulo(const char *clave) const
    {
        const QString texto = lee(clave);
        if (m_ventana)
            m_ventana->setWindowTitle(texto);
    }
    void caption(const char *clave, const char *componente) const
    {
        asignaTexto(busca(componente), lee(clave));
    }
    void caption(const char *clave, const char *componente, const char *fallo) const
    {
        asignaTexto(busca(componente), lee(clave, QString::fromUtf8(fallo)));
    }
    void hint(const char *clave, const char *componente, const char *fallo) const
    {
        asignaHint(busca(componente), lee(clave, QString::fromUtf8(fallo)));
    }
    void columna(const char *clave, int columna) const
    {
        const QString texto = lee(clave);
        if (!m_ventana)
            return;
        if (auto *titulos = dynamic_cast<ColumnTitles *>(m_ventana)) {
            titulos->setTituloColumna(columna, texto);
            return;
        }
        auto *grid = m_ventana->findChild<QAbstractItemView *>(QStringLiteral("DBGrid1"));
        if (auto *tabla = qobject_cast<QTableWidget *>(grid)) {
            if (columna < tabla->columnCount())
                tabla->setHorizontalHeaderItem(columna, new QTableWidgetItem(texto));
        } else if (grid && grid->model()) {
            grid->model()->setHeaderData(columna, Qt::Horizontal, texto);
        }
    }

private:
    QWidget *m_ventana;
    const TextLookup &m_lenguaje;
    QString m_fallo;
};

struct ClaveComponente
{
    const char *clave;
    const char *componente;
};

} // namespace

QString falloPrincipal()
{
    return QStringLiteral("¿?");
}

QString falloGeneral()
{
    return QStringLiteral("¿¿??");
}

void Lenguaje_FormPrincipal(QWidget *principal, const TextLookup &lenguaje, EstadoPrograma &estado)
{
    const Captions c(principal, lenguaje, falloPrincipal());
    c.titulo("FormPrincipal_Caption");
    c.caption("FormPrincipal_Label6_Caption", "Label6");
    c.caption("FormPrincipal_Label8_Caption", "Label8");
    c.caption("FormPrincipal_CONECTAR_Caption", "conectar");
    // That caption is the not-connected one: while connected the button disconnects and says so.
    if (estado.placa_conectada())
        asignaTexto(c.busca("conectar"), lenguaje.texto(QStringLiteral("SHOW_M4"), QStringLiteral("Disconnect")));
    c.caption("FormPrincipal_Enviar_Caption", "Enviar");
    c.caption("FormPrincipal_Recibir_Caption", "Recibir");
    c.columna("FormPrincipal_DBGrid1_Columns_0_title_Caption", 0);
    c.columna("FormPrincipal_DBGrid1_Columns_1_title_Caption", 1);
    c.columna("FormPrincipal_DBGrid1_Columns_3_title_Caption", 3);
    c.columna("FormPrincipal_DBGrid1_Columns_4_title_Caption", 4);
    c.columna("FormPrincipal_DBGrid1_Columns_6_title_Caption", 6);
    c.caption("FormPrincipal_MainMenu1_Items_Items_0_caption", "Archivo1");
    c.caption("FormPrincipal_MainMenu1_Items_Items_0_items_0_caption", "DirectoriodeTrabajo1");
    c.caption("FormPrincipal_MainMenu1_Items_Items_0_items_1_caption", "N2");
    c.caption("FormPrincipal_MainMenu1_Items_Items_0_items_2_caption", "N5");
    c.caption("FormPrincipal_MainMenu1_Items_Items_0_items_3_caption", "Contrasea1");
    c.caption("FormPrincipal_MainMenu1_Items_Items_0_items_4_caption", "Idioma1");
    c.caption("FormPrincipal_MainMenu1_Items_Items_0_items_5_caption", "N4");
    c.caption("FormPrincipal_MainMenu1_Items_Items_0_items_6_caption", "Salir1");
    c.caption("FormPrincipal_MainMenu1_Items_Items_1_caption", "miComunication");
    c.caption("FormPrincipal_MainMenu1_Items_Items_1_items_0_caption", "Conexin1");
    asignaTexto(c.busca("N1"), QStringLiteral("-"));
    c.caption("FormPrincipal_MainMenu1_Items_Items_1_items_2_caption", "RecibirdelSistema2");
    c.caption("FormPrincipal_MainMenu1_Items_Items_1_items_3_caption", "EnviaralSistema1");
    c.caption("FormPrincipal_MainMenu1_Items_Items_2_caption", "Herraminetas1");
    c.caption("FormPrincipal_MainMenu1_Items_Items_2_items_0_caption", "TestdePlacas1");
    c.caption("FormPrincipal_MainMenu1_Items_Items_3_caption", "Configuracin1");
    estado.setCaption_Parametros(c.lee("FormPrincipal_parameters"));
    c.caption("FormPrincipal_B_Refresh", "B_Refresh");
    c.caption("FormPrincipal_L_DESC", "L_DESC_F", "Data file");
    c.hint("HINT_01", "ToolPWD_APP", "PWD");
    c.hint("HINT_02", "ToolFicheros", "Open");
    c.hint("HINT_03", "ToolNuevo", "New");
    c.hint("HINT_04", "ToolSalvar", "Save as");
    c.hint("HINT_05", "ToolConectar", "Connect/Disconnect");
    c.hint("HINT_06", "ToolRecibir", "Receive from system");
    c.hint("HINT_07", "ToolEnviar", "Send to system");
    c.hint("HINT_08", "ToolOrden", "Order by name");
    c.hint("HINT_09", "ToolExcel", "Export to MS-Excel");
    c.hint("HINT_10", "ToolTest", "Test panel");
    c.hint("HINT_11", "ToolSistema", "Panel Parameters");
}

void Lenguaje_Advertencia(QWidget *ventana, const TextLookup &lenguaje)
{
    const Captions c(ventana, lenguaje, falloGeneral());
    c.titulo("Advertencia_Caption");
    c.caption("Advertencia_label1_Caption", "Label1");
    c.caption("Advertencia_label2_caption", "Label2");
    c.caption("Advertencia_label3_caption", "Label3");
    c.caption("Advertencia_label4_Caption", "Label4");
    c.caption("Advertencia_Label5_Caption", "Label5");
    c.caption("Advertencia_Aceptar_Caption", "Aceptar");
    c.caption("Advertencia_Cancelar_Caption", "Cancelar");
}

void Lenguaje_F_Advertencia3(QWidget *ventana, const TextLookup &lenguaje)
{
    const Captions c(ventana, lenguaje, falloGeneral());
    c.titulo("F_Advertencia3_Caption");
    c.caption("F_Advertencia3_label1_Caption", "Label1");
    c.caption("F_Advertencia3_label2_caption", "Label2");
    c.caption("F_Advertencia3_label3_Caption", "Label3");
    c.caption("F_Advertencia3_Label4_Caption", "Label4");
    c.caption("F_Advertencia3_Label5_Caption", "Label5");
    c.caption("F_Advertencia3_Aceptar_Caption", "Aceptar");
    c.caption("F_Advertencia3_Cancelar_Caption", "Cancelar");
}

void Lenguaje_F_Contrasena(QWidget *ventana, const TextLookup &lenguaje)
{
    const Captions c(ventana, lenguaje, falloGeneral());
    c.titulo("F_Contrasena_Caption");
    c.caption("F_Contrasena_label1_caption", "Label1");
    c.caption("F_Contrasena_Validar_Caption", "Validar");
    c.caption("F_Contrasena_Aceptar1_Caption", "Aceptar1");
    c.caption("F_Contrasena_Cancelar1_Caption", "Cancelar1");
    c.caption("F_Contrasena_L2_Caption", "L2");
    c.caption("F_Contrasena_L3_Caption", "L3");
}

void Lenguaje_F_Contra_Aplicacion(QWidget *ventana, const TextLookup &lenguaje)
{
    const Captions c(ventana, lenguaje, falloGeneral());
    c.titulo("F_Contra_Aplicacion_Caption");
    c.caption("F_Contra_Aplicacion_label1_Caption", "Label1");
    c.caption("F_Contra_Aplicacion_label2_caption", "Label2");
    c.caption("F_Contra_Aplicacion_Aceptar_Caption", "Aceptar");
    c.caption("F_Contra_Aplicacion_Cancelar_Caption", "Cancelar");
}

void Lenguaje_F_Mensaje_Parametros(QWidget *ventana, const TextLookup &lenguaje)
{
    const Captions c(ventana, lenguaje, falloGeneral());
    c.caption("F_Mensaje_Parametros_L1_Caption", "L1");
    c.caption("F_Mensaje_Parametros_B_Aceptar_Caption", "B_Aceptar");
}

void Lenguaje_F_Parametros(QWidget *ventana, const TextLookup &lenguaje)
{
    static constexpr ClaveComponente claves[] = {
        {"F_Parametros_L_TITULO_Caption", "L_TITULO"},   {"F_Parametros_Label15_Caption", "Label15"},
        {"F_Parametros_TabSheet1_Caption", "TabSheet1"}, {"F_Parametros_TabSheet2_Caption", "TabSheet2"},
        {"F_Parametros_Label1_Caption", "Label1"},       {"F_Parametros_Label7_Caption", "Label7"},
        {"F_Parametros_Label4_Caption", "Label4"},       {"F_Parametros_Label8_Caption", "Label8"},
        {"F_Parametros_Label3_Caption", "Label3"},       {"F_Parametros_Label10_Caption", "Label10"},
        {"F_Parametros_Label2_Caption", "Label2"},       {"F_Parametros_Label12_Caption", "Label12"},
        {"F_Parametros_Label5_Caption", "Label5"},       {"F_Parametros_Label13_Caption", "Label13"},
        {"F_Parametros_Label6_Caption", "Label6"},       {"F_Parametros_Label14_Caption", "Label14"},
        {"F_Parametros_Label9_Caption", "Label9"},       {"F_Parametros_Label17_Caption", "Label17"},
        {"F_Parametros_Label11_Caption", "Label11"},     {"F_Parametros_label16_Caption", "Label16"},
        {"F_Parametros_Label18_Caption", "Label18"},     {"F_Parametros_Label23_Caption", "Label23"},
        {"F_Parametros_Label21_Caption", "Label21"},     {"F_Parametros_Label22_Caption", "Label22"},
        {"F_Parametros_Label24_Caption", "Label24"},     {"F_Parametros_Label25_Caption", "Label25"},
    };
    const Captions c(ventana, lenguaje, falloGeneral());
    for (const auto &k : claves)
        c.caption(k.clave, k.componente);
}

void Lenguaje_Idiomaa(QWidget *ventana, const TextLookup &lenguaje)
{
    const Captions c(ventana, lenguaje, falloGeneral());
    c.caption("Idiomaa_Label1_Caption", "Label1");
    c.caption("Idiomaa_Aceptar_Caption", "Aceptar");
}

void Lenguaje_FProgreso(QWidget *ventana, const TextLookup &lenguaje)
{
    const Captions c(ventana, lenguaje, falloGeneral());
    c.caption("FProgreso_Mensaje_Caption", "Mensaje");
}

void Lenguaje_F_Solicita_Contra(QWidget *ventana, const TextLookup &lenguaje)
{
    const Captions c(ventana, lenguaje, falloGeneral());
    c.titulo("F_Solicita_Contra_Caption");
    c.caption("F_Solicita_Contra_label1_Caption", "Label1");
    c.caption("F_Solicita_Contra_L_a_que_caption", "L_a_que");
    c.caption("F_Solicita_Contra_label2_caption", "Label2");
    c.caption("F_Solicita_Contra_Aceptar_Caption", "Aceptar");
    c.caption("F_Solicita_Contra_Cancelar_Caption", "Cancelar");
}

void Lenguaje_F_Test(QWidget *ventana, const TextLookup &lenguaje)
{
    const Captions c(ventana, lenguaje, falloGeneral());
    c.titulo("F_Test_Caption");
    c.caption("F_Test_label1_Caption", "Label1");
    c.caption("F_test_label2_caption", "Label2");
    c.caption("F_test_label3_caption", "Label3");
    c.caption("F_test_Iniciar_Caption", "Iniciar");
    c.caption("F_test_Detener_Caption", "Detener");
    c.caption("F_Test_L_TITULO_Caption", "L_TITULO");
}

void Lenguaje_Todos(const WindowSet &v, const TextLookup &lenguaje, EstadoPrograma &estado)
{
    if (v.principal)
        Lenguaje_FormPrincipal(v.principal, lenguaje, estado);
    const std::pair<QWidget *, void (*)(QWidget *, const TextLookup &)> resto[] = {
        {v.advertencia, Lenguaje_Advertencia},
        {v.advertencia3, Lenguaje_F_Advertencia3},
        {v.contrasena, Lenguaje_F_Contrasena},
        {v.contraAplicacion, Lenguaje_F_Contra_Aplicacion},
        {v.mensajeParametros, Lenguaje_F_Mensaje_Parametros},
        {v.parametros, Lenguaje_F_Parametros},
        {v.idiomaa, Lenguaje_Idiomaa},
        {v.progreso, Lenguaje_FProgreso},
        {v.solicitaContra, Lenguaje_F_Solicita_Contra},
        {v.test, Lenguaje_F_Test},
    };
    for (const auto &[ventana, rutina] : resto) {
        if (ventana)
            rutina(ventana, lenguaje);
    }
}

bool cargaTraduccionesQt(const QString &seccion)
{
    static std::unique_ptr<QTranslator> instalada;
    if (instalada) {
        QCoreApplication::removeTranslator(instalada.get());
        instalada.reset();
    }
    const QString nombre = seccion.toUpper();
    QString codigo;
    if (nombre.startsWith(QLatin1String("ESPA")))
        codigo = QStringLiteral("es");
    else if (nombre.startsWith(QLatin1String("FRAN")))
        codigo = QStringLiteral("fr");
    if (codigo.isEmpty())
        return false;
    auto traduccion = std::make_unique<QTranslator>();
    if (!traduccion->load(QStringLiteral("qtbase_") + codigo, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(traduccion.get());
    instalada = std::move(traduccion);
    return true;
}

void Lenguaje_Todos(Contexto &ctx)
{
    cargaTraduccionesQt(textosDe(ctx).seccion());
    EstadoPrograma sinEstado;
    Lenguaje_Todos(WindowSet::of(ctx), textosDe(ctx), ctx.estado ? *ctx.estado : sinEstado);
}

const TextLookup &textosDe(const Contexto &ctx)
{
    static const FallbackLookup sinFichero;
    if (ctx.lenguaje)
        return *ctx.lenguaje;
    return sinFichero;
}
