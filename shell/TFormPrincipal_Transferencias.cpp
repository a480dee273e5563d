// The two transfers of the main window: receive a board's users into the open data file, and
// send the data file to the board. The loops themselves live in the link's Transferencias.

#include "TFormPrincipal.h"

#include "Clock.h"
#include "Comunicacion_TZR.h"
#include "Contexto.h"
#include "ErrorBox.h"
#include "EstadoPrograma.h"
#include "FicheroActual.h"
#include "Lenguaje.h"
#include "SerialPort.h"
#include "TAdvertencia.h"
#include "TF_Advertencia3.h"
#include "TF_ShowMessage.h"
#include "TFProgreso.h"
#include "TablaCursor.h"
#include "Transferencias.h"
#include "TzrError.h"
#include "TfrmDebug.h"
#include "UserArea.h"
#include "UsersTable.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QPushButton>

namespace {

QString texto(Contexto &ctx, const char *key, const char *fallback)
{
    const QString k = QString::fromLatin1(key);
    const QString f = QString::fromUtf8(fallback);
    return ctx.lenguaje ? ctx.lenguaje->texto(k, f) : f;
}

void purga(Contexto &ctx)
{
    if (ctx.puerto && ctx.puerto->isOpen())
        ctx.puerto->purge();
}

} // namespace

void TFormPrincipal::habilitaTransferencia(bool on)
{
    for (QWidget *w : {static_cast<QWidget *>(m_conectar), static_cast<QWidget *>(m_B_Refresh),
                       static_cast<QWidget *>(m_Recibir), static_cast<QWidget *>(m_Enviar)}) {
        if (w)
            w->setEnabled(on);
    }
    for (QAction *a : {m_ToolConectar, m_ToolRecibir, m_ToolEnviar, m_RecibirdelSistema2, m_EnviaralSistema1}) {
        if (a)
            a->setEnabled(on);
    }
}

// After an error in the middle of a transfer the window returns to its connected state with the
// data file open, instead of staying locked with the progress window up.
void TFormPrincipal::terminaTransferencia()
{
    if (m_ctx.progreso)
        m_ctx.progreso->cerrar();
    try {
        if (m_ctx.usuarios && !m_ctx.fichero->Nombre_Tabla().isEmpty())
            m_ctx.usuarios->Activa_Tabla(true);
    } catch (const TzrError &) {
    }
    habilitaTransferencia(true);
}

void TFormPrincipal::Recibir_ANTClick()
{
    if (!m_ctx.link || m_ctx.link->ocupado() || !m_ctx.advertencia)
        return;
    m_ctx.advertencia->exec();
    QCoreApplication::processEvents();
    purga(m_ctx);
    if (!m_ctx.estado->confirmado())
        return;
    Comunicacion_TZR &link = *m_ctx.link;
    Comunicacion_TZR::Reserva reserva(link);
    ResultadoRecepcion resultado;
    UserArea areaLeida;
    bool abierta = false;
    try {
        if (m_ctx.debug)
            m_ctx.debug->btnClearClick();
        if (!link.Modo_Transferencia(true))
            return;
        abierta = true;
        habilitaTransferencia(false);
        if (m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(false);
        if (m_ctx.progreso) {
            m_ctx.progreso->setMaximo(MAX_USUARIOS);
            m_ctx.progreso->mostrar();
            m_ctx.progreso->setMensaje(texto(m_ctx, "SHOW_M5", "Receiving from system :"));
        }
        {
            TablaCursor tabla(m_ctx.fichero->Directorio_Trabajo(), m_ctx.fichero->Nombre_Tabla());
            Clock reloj;
            Transferencias transferencias(link, *m_ctx.lenguaje, reloj);
            transferencias.setProgreso(m_ctx.progreso);
            transferencias.setMensajes(m_ctx.showMessage);
            transferencias.setAreaLeida(&areaLeida);
            resultado = transferencias.Conexion_General(tabla);
        }
        if (m_ctx.debug) {
            try {
                m_ctx.debug->btnSaveClick();
            } catch (const TzrError &) {
                // The log stays in memory; a receive does not report a failed save.
            }
        }
        if (m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(true);
        if (m_ctx.progreso)
            m_ctx.progreso->cerrar();
        habilitaTransferencia(true);
        if (!link.Modo_Transferencia(false))
            link.Envia_Reinicio();
    } catch (const std::exception &e) {
        terminaTransferencia();
        if (abierta) {
            try {
                if (!link.Modo_Transferencia(false))
                    link.Envia_Reinicio();
            } catch (const std::exception &) {
            }
        }
        // The data file kept its old rows; say why the receive did not happen.
        const auto *tzr = dynamic_cast<const TzrError *>(&e);
        showErrorBox(this, tzr ? tzr->message() : QString::fromLocal8Bit(e.what()));
        return;
    }
    if (resultado.completa())
        recuerdaSincronia(&areaLeida);
    if (!resultado.completa())
        showMessage(m_ctx, texto(m_ctx, "F_SHOW_M14", "Receive incomplete: the file was not changed."),
                    texto(m_ctx, "F_SHOW_M15", "%1 user slots could not be read.").arg(resultado.slotsFallidos));
}

void TFormPrincipal::Enviar_ATNClick()
{
    if (!m_ctx.link || m_ctx.link->ocupado() || !m_ctx.advertencia3)
        return;
    m_ctx.advertencia3->exec();
    purga(m_ctx);
    QCoreApplication::processEvents();
    if (!m_ctx.estado->confirmado())
        return;
    Comunicacion_TZR &link = *m_ctx.link;
    Comunicacion_TZR::Reserva reserva(link);
    Clock reloj;
    Transferencias transferencias(link, *m_ctx.lenguaje, reloj);
    transferencias.setProgreso(m_ctx.progreso);
    transferencias.setMensajes(m_ctx.showMessage);

    // Every row is encoded before the board is touched, so a row the board cannot hold stops
    // the send with the board as it was.
    QList<RegistroEnvio> registros;
    {
        FilaRechazada rechazo;
        bool preparada = false;
        try {
            if (m_ctx.usuarios)
                m_ctx.usuarios->Activa_Tabla(false);
            TablaCursor tabla(m_ctx.fichero->Directorio_Trabajo(), m_ctx.fichero->Nombre_Tabla());
            preparada = transferencias.Prepara_Envio(tabla.filasEnOrden(m_ToolOrden && m_ToolOrden->isChecked()),
                                                     registros, rechazo);
        } catch (const TzrError &e) {
            terminaTransferencia();
            showErrorBox(this, e.message());
            return;
        }
        if (m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(true);
        if (!preparada) {
            showMessage(m_ctx, texto(m_ctx, "F_SHOW_M18", "Send refused: call code or TZR not a number."),
                        texto(m_ctx, "F_SHOW_M19", "Correct user %1. The board was not touched.")
                            .arg(QStringLiteral("%1 (%2)").arg(rechazo.posicion + 1).arg(rechazo.nombre)));
            return;
        }
    }

    if (m_ctx.debug)
        m_ctx.debug->btnClearClick();
    if (!link.Modo_Transferencia(true)) {
        showMessage(m_ctx, texto(m_ctx, "F_SHOW_M3", "¿¿??"), texto(m_ctx, "F_SHOW_M4", "¿¿??"));
        return;
    }
    ResultadoEnvio resultado;
    try {
        habilitaTransferencia(false);
        if (m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(false);
        if (m_ctx.progreso)
            m_ctx.progreso->mostrar();
        if (m_ctx.puerto) {
            const QString nombre = m_ctx.puerto->portName();
            m_ctx.puerto->close();
            if (!m_ctx.puerto->open(nombre))
                throw TzrError(m_ctx.puerto->errorString());
        }
        recuerdaSincronia(nullptr);
        resultado = transferencias.Envio_General(registros, m_ctx.estado->Puerto_Actual());
        if (m_ctx.debug)
            m_ctx.debug->btnSaveClick();
        if (m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(true);
        habilitaTransferencia(true);
        link.Modo_Transferencia(false);
        link.Envia_Reinicio();
    } catch (const std::exception &e) {
        terminaTransferencia();
        // Part of the board was written: the file no longer knows what it holds.
        recuerdaSincronia(nullptr);
        try {
            link.Modo_Transferencia(false);
            link.Envia_Reinicio();
        } catch (const std::exception &) {
        }
        const auto *tzr = dynamic_cast<const TzrError *>(&e);
        showErrorBox(this, tzr ? tzr->message() : QString::fromLocal8Bit(e.what()));
        return;
    }
    const UserArea enviada = UserArea::fromRecords(registros);
    recuerdaSincronia(resultado.completo() ? &enviada : nullptr);
    if (!resultado.completo()) {
        QStringList nombres = resultado.usuariosFallidos;
        for (QString &n : nombres)
            n = n.trimmed();
        showMessage(m_ctx, texto(m_ctx, "F_SHOW_M16", "Send incomplete."),
                    texto(m_ctx, "F_SHOW_M17", "Users not written: %1")
                        .arg(nombres.isEmpty() ? QStringLiteral("-") : nombres.join(QStringLiteral(", "))));
    }
}
