#include "TFormPrincipal.h"

#include "Asigna_Lenguaje.h"
#include "BoardSession.h"
#include "Contexto.h"
#include "EstadoPrograma.h"
#include "TF_ShowMessage.h"
#include "TF_Solicita_Contra.h"
#include "TextLookup.h"
#include "UsersTable.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>

bool TFormPrincipal::Valida_Contra_Sistema(QChar letra)
{
    bool cancelado = false;
    return compruebaCodigo(letra, QString(), cancelado) == CodeCheck::Accepted;
}

CodeCheck TFormPrincipal::compruebaCodigo(QChar letra, const QString &motivo, bool &cancelado)
{
    cancelado = false;
    TF_Solicita_Contra *dialogo = m_ctx.solicitaContra;
    BoardSession *sesion = this->sesion();
    if (lineaOcupada() || !dialogo || !sesion) {
        cancelado = true;
        return CodeCheck::Refused;
    }
    // From the code reads to the marker read nothing else may start an exchange.
    const BoardSession::Hold reserva(*sesion);

    dialogo->reiniciaContraPlaca();
    dialogo->setQuienSolicita(letra);
    dialogo->setMotivo(motivo);
    const int respuesta = dialogo->exec();
    dialogo->setMotivo(QString());
    cancelado = respuesta != QDialog::Accepted;

    const CodeCheck veredicto =
        sesion->checkCode(letra, dialogo->codigoLeido(), dialogo->contra_tecleada(), dialogo->textoActual());
    if (veredicto == CodeCheck::Accepted)
        m_ctx.estado->setConfirmado(true);
    return veredicto;
}

void TFormPrincipal::desconectaPlaca()
{
    for (QAction *a : {m_RecibirdelSistema2, m_EnviaralSistema1, m_ToolRecibir, m_ToolEnviar})
        a->setEnabled(false);
    m_Recibir->setEnabled(false);
    m_Enviar->setEnabled(false);
    showNotConnectedLook();
    m_ctx.estado->setPlaca_conectada(false);
}

void TFormPrincipal::Conectar_Desconectar()
{
    if (lineaOcupada())
        return;
    EstadoPrograma &estado = *m_ctx.estado;
    const TextLookup &textos = textosDe(m_ctx);
    try {
        if (estado.placa_conectada()) {
            desconectaPlaca();
            return;
        }

        if (!m_ctx.usuarios || !m_ctx.usuarios->Table1().isOpen()) {
            const QString abrir = QStringLiteral("Open or create a file");
            showMessage(m_ctx, textos.texto(QStringLiteral("SHOW_M6"), abrir),
                        textos.texto(QStringLiteral("SHOW_M7"), abrir));
            return;
        }

        bool cancelado = false;
        const CodeCheck veredicto = compruebaCodigo(QLatin1Char('P'), QString(), cancelado);
        if (veredicto != CodeCheck::Accepted) {
            // Refused without a message box, but not without a word.
            const QString placa = QStringLiteral("%1").arg(m_num_placa->text().toInt(), 2, 10, QLatin1Char('0'));
            if (veredicto == CodeCheck::NoAnswer)
                avisaEstado(textos.texto(QStringLiteral("CONNECT_NO_ANSWER"), QStringLiteral("Board %1 did not answer"))
                                .arg(placa));
            else if (!cancelado)
                avisaEstado(textos.texto(QStringLiteral("CONNECT_REFUSED"),
                                         QStringLiteral("The code was refused by board %1"))
                                .arg(placa));
            return;
        }
        avisaEstado(QString());

        sesion()->readReaderType();

        for (QAction *a :
             {m_RecibirdelSistema2, m_EnviaralSistema1, m_ToolRecibir, m_ToolEnviar, m_ToolConectar})
            a->setEnabled(true);
        for (QPushButton *b : {m_Recibir, m_Enviar, m_conectar})
            b->setEnabled(true);
        showConnectedLook();
        estado.setPlaca_conectada(true);
    } catch (const std::exception &) {
        showMessage(m_ctx, textos.texto(QStringLiteral("F_SHOW_M1"), falloGeneral()),
                    textos.texto(QStringLiteral("F_SHOW_M2"), falloGeneral()));
    }
}
