#pragma once

#include "ArranquePrueba.h"
#include "DataFileCopy.h"
#include "FicheroActual.h"
#include "ModalDriver.h"
#include "TF_ShowMessage.h"
#include "TF_Solicita_Contra.h"
#include "UsersTable.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

// A run on the in-process bus with the window unlocked, ready to connect to its boards once a
// data file is open.
class ConexionPrueba : public ArranquePrueba
{
public:
    explicit ConexionPrueba(const QList<int> &placas = {1}) : ArranquePrueba(placas) {}
    ~ConexionPrueba()
    {
        termina();
        if (m_ctx.usuarios == m_tabla.get())
            m_ctx.usuarios = nullptr;
    }
    ConexionPrueba(const ConexionPrueba &) = delete;
    ConexionPrueba &operator=(const ConexionPrueba &) = delete;

    // Starts, unlocks and forgets the start-up scan's traffic.
    void arrancaDesbloqueado()
    {
        arranca();
        principal().conecta_APLICACION(true);
        olvidaTrafico();
    }

    void olvidaTrafico()
    {
        m_bus.clearLog();
        m_port.clearWritten();
    }

    // Table1 open on a fresh copy of the template.
    void abreFichero()
    {
        if (!m_ctx.usuarios) {
            m_tabla = std::make_unique<UsersTable>(*m_ctx.fichero);
            m_ctx.usuarios = m_tabla.get();
        }
        const QString datos = m_dir.filePath(QStringLiteral("datos"));
        QDir().mkpath(datos);
        Copia_Patron(datos + QStringLiteral("/users.db"),
                     qEnvironmentVariable("TZR_BUILD_DIR") + QStringLiteral("/data"));
        m_ctx.fichero->setDirectorio_Trabajo(datos + QLatin1Char('/'));
        m_ctx.fichero->setNombre_Tabla(QStringLiteral("users.db"));
        m_ctx.usuarios->Activa_Tabla(true);
    }

    Board &placa(int n = 1) { return *m_bus.board(n); }

    TF_Solicita_Contra &dialogo() { return *m_ctx.solicitaContra; }

    // Addresses of the reads that went to the board, in order.
    QList<int> lecturas(int n = 1) const
    {
        QList<int> r;
        for (const BoardBus::Request &q : m_bus.requests(BoardBus::CMD_READ, n))
            r << q.address;
        return r;
    }

    // The password dialog, when it comes up, gets this text typed and Aceptar clicked.
    static void alPedirContra(const QString &tecleado)
    {
        onNextModal([tecleado](QWidget *w) {
            QTest::keyClicks(w->findChild<QLineEdit *>(QStringLiteral("E_Contra")), tecleado);
            QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("Aceptar")), Qt::LeftButton);
        });
    }

    // Connects with this code; true when the board was connected.
    bool conecta(const QString &tecleado)
    {
        alPedirContra(tecleado);
        principal().CONECTARClick();
        return m_ctx.estado->placa_conectada();
    }

    std::unique_ptr<UsersTable> m_tabla;
};

// Closes every TF_ShowMessage that comes up while it lives and keeps its two lines; rejects the
// password dialog too when told to, so a test that expects no dialog cannot hang on one.
class CierraShowMessage : public QObject
{
public:
    explicit CierraShowMessage(bool rechazaContra = false)
    {
        connect(&m_timer, &QTimer::timeout, this, [this, rechazaContra] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<TF_ShowMessage *>(modal)) {
                m_lineas << QStringList{box->linea1(), box->linea2()};
                m_rojas << (box->findChild<QLabel *>(QStringLiteral("MiMensaje1"))
                                ->palette()
                                .color(QPalette::WindowText) == QColor(Qt::red));
                box->B_OKClick();
            } else if (auto *contra = qobject_cast<TF_Solicita_Contra *>(modal); contra && rechazaContra) {
                ++m_contrasRechazadas;
                contra->CancelarClick();
            }
        });
        m_timer.start(5);
    }
    QList<QStringList> m_lineas;
    // Whether each message was drawn in the warning colour.
    QList<bool> m_rojas;
    int m_contrasRechazadas = 0;

private:
    QTimer m_timer;
};
