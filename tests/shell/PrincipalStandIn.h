#pragma once

#include "ColumnTitles.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolBar>

// A main window with the components the caption routines address, for tests that do not need the
// real one. It keeps the grid column titles it is handed.
class PrincipalStandIn : public QMainWindow, public ColumnTitles
{
public:
    PrincipalStandIn()
    {
        setObjectName(QStringLiteral("TFormPrincipal"));
        auto *centro = new QWidget(this);
        setCentralWidget(centro);
        for (const char *n : {"Label6", "Label8", "L_DESC_F", "L_Usuario_Proceso", "L_Fichero"})
            nombrado(new QLabel(centro), n);
        for (const char *n : {"conectar", "Enviar", "Recibir", "B_Refresh"})
            nombrado(new QPushButton(centro), n);

        QMenu *archivo = menu("Archivo1");
        entrada(archivo, "DirectoriodeTrabajo1");
        entrada(archivo, "N2");
        separador(archivo, "N5");
        entrada(archivo, "Contrasea1");
        entrada(archivo, "Idioma1");
        separador(archivo, "N4");
        entrada(archivo, "Salir1");
        QMenu *com = menu("miComunication");
        entrada(com, "Conexin1");
        separador(com, "N1");
        entrada(com, "RecibirdelSistema2");
        entrada(com, "EnviaralSistema1");
        QMenu *herr = menu("Herraminetas1");
        entrada(herr, "TestdePlacas1");
        entrada(herr, "miDebugWindow");
        QMenu *config = menu("Configuracin1");
        entrada(config, "miCOM1")->setText(QStringLiteral("COM1"));
        config->addSeparator();
        entrada(config, "Parametros1")->setText(QStringLiteral("design"));

        auto *barra = new QToolBar(this);
        barra->setObjectName(QStringLiteral("ToolBar1"));
        addToolBar(barra);
        for (const char *n :
             {"ToolPWD_APP", "ToolFicheros", "ToolNuevo", "ToolSalvar", "ToolConectar", "ToolRecibir",
              "ToolEnviar", "ToolOrden", "ToolExcel", "ToolTest", "ToolSistema"})
            nombrado(barra->addAction(QString()), n);
    }

    void setTituloColumna(int column, const QString &title) override { m_titulos[column] = title; }
    QMap<int, QString> titulos() const { return m_titulos; }

    template <typename T = QObject> T *componente(const char *name) const
    {
        return findChild<T *>(QString::fromLatin1(name));
    }

private:
    template <typename T> static T *nombrado(T *o, const char *name)
    {
        o->setObjectName(QString::fromLatin1(name));
        return o;
    }
    QMenu *menu(const char *name) { return nombrado(menuBar()->addMenu(QString()), name); }
    static QAction *entrada(QMenu *m, const char *name) { return nombrado(m->addAction(QString()), name); }
    static QAction *separador(QMenu *m, const char *name) { return nombrado(m->addSeparator(), name); }

    QMap<int, QString> m_titulos;
};
