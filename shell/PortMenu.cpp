#include "PortMenu.h"

#include "Asigna_Lenguaje.h"
#include "BoardContext.h"
#include "BoardSession.h"
#include "Configuracion.h"
#include "Contexto.h"
#include "EstadoPrograma.h"
#include "NetworkPortList.h"
#include "NetworkPortsDialog.h"
#include "TFormPrincipal.h"
#include "TextLookup.h"
#include "ToolImages.h"
#include "TzrError.h"

#include <QAction>
#include <QMenu>

PortMenu::PortMenu(Contexto &ctx, QMenu &menu, QObject &owner, QWidget &dialogParent, Handlers handlers)
    : m_ctx(ctx), m_menu(menu), m_owner(owner), m_dialogParent(dialogParent), m_handlers(std::move(handlers))
{
}

int PortMenu::comNumber(const QString &name)
{
    QString rest = name;
    rest.remove(QStringLiteral("COM"), Qt::CaseInsensitive);
    bool ok = false;
    const int number = rest.toInt(&ok, 10);
    if (!ok)
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(rest));
    return number;
}

QString PortMenu::portNameOf(const QAction *entry)
{
    // Serial entries carry their port number, network entries their name.
    return entry->data().typeId() == QMetaType::QString ? entry->data().toString() : entry->text();
}

void PortMenu::list()
{
    list(m_ctx.placas ? m_ctx.placas->serialPortNames() : QStringList());
}

void PortMenu::list(const QStringList &names)
{
    const QList<QAction *> previous = m_menu.actions();
    for (QAction *a : previous) {
        m_menu.removeAction(a);
        if (a->parent() == &m_owner || a->parent() == &m_menu)
            delete a;
    }
    m_entries.clear();

    for (const QString &name : names) {
        int number = 0;
        try {
            number = comNumber(name);
        } catch (const ConversionError &) {
            // A port the program could not store in ComPort is not offered.
            continue;
        }
        auto *entry = new QAction(name, &m_owner);
        entry->setObjectName(QStringLiteral("miCOM%1").arg(m_entries.size() + 1));
        entry->setData(number);
        entry->setCheckable(true);
        QObject::connect(entry, &QAction::triggered, &m_menu, [this, entry] { m_handlers.choose(entry); });
        m_menu.addAction(entry);
        m_entries << entry;
    }
    listNetworkPorts();
    m_menu.addSeparator();
    auto *parametros1 = new QAction(m_ctx.estado->Caption_Parametros(), &m_owner);
    parametros1->setObjectName(QStringLiteral("Parametros1"));
    TFormPrincipal::setImageIndex(parametros1, IMG_PARAMETROS);
    m_handlers.connect(parametros1, m_handlers.parameters);
    m_menu.addAction(parametros1);
}

QString PortMenu::usersIni() const
{
    return m_ctx.carpetaKorvel + QStringLiteral("/TZR_USR.ini");
}

void PortMenu::listNetworkPorts()
{
    if (m_ctx.carpetaKorvel.isEmpty())
        return;
    for (const NetworkPortList::Entry &port : NetworkPortList(usersIni()).entries()) {
        auto *entry = new QAction(QStringLiteral("%1 \u2013 %2").arg(port.name, port.address), &m_owner);
        entry->setObjectName(QStringLiteral("miNET_%1").arg(port.name));
        entry->setData(port.name);
        entry->setCheckable(true);
        entry->setChecked(isOpenOn(port.name));
        QObject::connect(entry, &QAction::triggered, &m_menu, [this, entry] { m_handlers.choose(entry); });
        m_menu.addAction(entry);
        m_entries << entry;
    }
    auto *edit = new QAction(textosDe(m_ctx).texto(QStringLiteral("NET_MENU"), QStringLiteral("Network ports\u2026")),
                             &m_owner);
    edit->setObjectName(QStringLiteral("miNetworkPorts"));
    m_handlers.connect(edit, [this] { editNetworkPorts(); });
    m_menu.addAction(edit);
}

void PortMenu::editNetworkPorts()
{
    NetworkPortsDialog dialog(textosDe(m_ctx), usersIni(), &m_dialogParent);
    if (dialog.exec() == QDialog::Accepted)
        list();
}

void PortMenu::refresh()
{
    list(m_ctx.placas ? m_ctx.placas->serialPortNames(true) : QStringList());
    for (QAction *entry : std::as_const(m_entries))
        entry->setChecked(isOpenOn(portNameOf(entry)));
}

bool PortMenu::isOpenOn(const QString &name) const
{
    const BoardSession *s = m_ctx.sesion;
    return s && s->isOpen() && s->portName().compare(name, Qt::CaseInsensitive) == 0;
}

void PortMenu::uncheckAll()
{
    for (QAction *entry : std::as_const(m_entries))
        entry->setChecked(false);
}

QAction *PortMenu::savedEntry() const
{
    const QString saved = m_ctx.configuracion->ComPort().trimmed();
    bool isNumber = false;
    const int number = saved.toInt(&isNumber);
    for (QAction *entry : m_entries) {
        // ComPort holds a serial port's number or a network port's name.
        const bool chosen = isNumber ? entry->data().typeId() == QMetaType::Int && entry->data().toInt() == number
                                     : portNameOf(entry).compare(saved, Qt::CaseInsensitive) == 0;
        if (chosen)
            return entry;
    }
    return nullptr;
}

QString PortMenu::savedName() const
{
    const QString saved = m_ctx.configuracion->ComPort().trimmed();
    bool isNumber = false;
    const int number = saved.toInt(&isNumber);
    return isNumber ? QStringLiteral("COM%1").arg(number) : saved;
}
