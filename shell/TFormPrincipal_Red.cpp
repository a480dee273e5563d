// TFormPrincipal: network ports in the port menu and the dialog that keeps them.
#include "Asigna_Lenguaje.h"
#include "Comunicacion_TZR.h"
#include "Contexto.h"
#include "NetworkPortList.h"
#include "NetworkPortsDialog.h"
#include "SerialPort.h"
#include "TFormPrincipal.h"
#include "TextLookup.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace {

QString usuarioIni(const Contexto &ctx)
{
    return ctx.carpetaKorvel + QStringLiteral("/TZR_USR.ini");
}

} // namespace

QString TFormPrincipal::portNameOf(const QAction *entrada)
{
    // Serial entries carry their port number, network entries their name.
    return entrada->data().typeId() == QMetaType::QString ? entrada->data().toString() : entrada->text();
}

void TFormPrincipal::listNetworkPorts()
{
    if (m_ctx.carpetaKorvel.isEmpty())
        return;
    for (const NetworkPortList::Entry &port : NetworkPortList(usuarioIni(m_ctx)).entries()) {
        auto *entrada = new QAction(QStringLiteral("%1 \u2013 %2").arg(port.name, port.address), menuBar());
        entrada->setObjectName(QStringLiteral("miNET_%1").arg(port.name));
        entrada->setData(port.name);
        entrada->setCheckable(true);
        entrada->setChecked(m_ctx.puerto && m_ctx.puerto->isOpen() &&
                            m_ctx.puerto->portName().compare(port.name, Qt::CaseInsensitive) == 0);
        connect(entrada, &QAction::triggered, this,
                [this, entrada] { protegido([this, entrada] { COMClick(entrada); }); });
        m_Configuracin1->addAction(entrada);
        m_entradasPuerto << entrada;
    }
    auto *editar = new QAction(
        textosDe(m_ctx).texto(QStringLiteral("NET_MENU"), QStringLiteral("Network ports\u2026")), menuBar());
    editar->setObjectName(QStringLiteral("miNetworkPorts"));
    conecta(editar, &TFormPrincipal::NetworkPortsClick);
    m_Configuracin1->addAction(editar);
}

void TFormPrincipal::NetworkPortsClick()
{
    NetworkPortsDialog dialog(textosDe(m_ctx), usuarioIni(m_ctx), this);
    if (dialog.exec() == QDialog::Accepted)
        listCOMPorts();
}
