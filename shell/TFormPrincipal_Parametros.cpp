#include "TFormPrincipal.h"

#include "EntryGuard.h"

#include "BoardSession.h"
#include "Contexto.h"
#include "EstadoPrograma.h"
#include "ParametersJob.h"
#include "TF_Parametros.h"
#include "TF_Test.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>

void TFormPrincipal::Parametros1Click()
{
    TF_Parametros *ventana = m_ctx.parametros;
    BoardSession *sesion = this->sesion();
    if (lineaOcupada() || !ventana || !sesion)
        return;
    m_ctx.estado->setConfirmado(false);
    // The longer reply time belongs to this command alone, however it ends.
    const ParametersJob trabajo(*sesion, true);
    if (Valida_Contra_Sistema(QLatin1Char('M'))) {
        // Until the window is done with the board no timer or other command may start an exchange.
        const BoardSession::Hold reserva(*sesion);
        QCoreApplication::processEvents();
        ventana->Lee_Parametros(m_num_placa->text());
        ventana->setParametros_grabados(false);
        ventana->setPlaca_parametros(m_num_placa->text());
        ventana->exec();
        // The board answers to its new number only after the restart, and that number never
        // passed the programming-code check: a connection does not follow it.
        if (ventana->placa_parametros() != m_num_placa->text() && m_ctx.estado->placa_conectada())
            desconectaPlaca();
        EntryGuard::muestra(m_num_placa, ventana->placa_parametros());
        if (ventana->parametros_grabados()) {
            // The timer's handler restores the cursor once; a restart already pending keeps its own.
            if (!m_TIEMPO_REINICIA_PLACA->isActive())
                QApplication::setOverrideCursor(Qt::WaitCursor);
            m_Arbol->clear();
            m_TIEMPO_REINICIA_PLACA->start();
        }
    }
}

void TFormPrincipal::TestdePlacas1Click()
{
    if (!m_ctx.test)
        return;
    m_ctx.test->show();
    m_ctx.test->raise();
    m_ctx.test->activateWindow();
}
