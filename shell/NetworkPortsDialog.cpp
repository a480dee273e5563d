#include "NetworkPortsDialog.h"

#include "TextLookup.h"
#include "TzrError.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

NetworkPortsDialog::NetworkPortsDialog(const TextLookup &texts, const QString &iniPath, QWidget *parent)
    : QDialog(parent), m_texts(texts), m_iniPath(iniPath)
{
    setObjectName(QStringLiteral("NetworkPortsDialog"));
    setWindowTitle(texts.texto(QStringLiteral("NET_TITLE"), QStringLiteral("Network ports")));
    auto *layout = new QVBoxLayout(this);

    m_table = new QTableWidget(0, 2, this);
    m_table->setObjectName(QStringLiteral("NetworkPortsTable"));
    m_table->setHorizontalHeaderLabels(
        {texts.texto(QStringLiteral("NET_NAME"), QStringLiteral("Name")),
         texts.texto(QStringLiteral("NET_ADDRESS"), QStringLiteral("Address"))});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setMinimumWidth(460);
    for (const NetworkPortList::Entry &entry : NetworkPortList(iniPath).entries())
        addRow(entry.name, entry.address);
    layout->addWidget(m_table);

    auto *help =
        new QLabel(texts.texto(QStringLiteral("NET_HELP"),
                               QStringLiteral("Addresses: tcp://HOST:PORT (raw TCP) or rfc2217://HOST:PORT "
                                              "(Telnet; the program sets the line itself).")),
                   this);
    help->setWordWrap(true);
    layout->addWidget(help);
    auto *clear =
        new QLabel(texts.texto(QStringLiteral("NET_CLEAR"),
                               QStringLiteral("TCP and Telnet carry the codes in clear: reach the device "
                                              "server through a VPN or an SSH tunnel.")),
                   this);
    clear->setWordWrap(true);
    layout->addWidget(clear);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("NetworkPortsProblem"));
    m_problem->setStyleSheet(QStringLiteral("color: #b00020"));
    m_problem->setWordWrap(true);
    layout->addWidget(m_problem);

    auto *row = new QHBoxLayout;
    auto *add = new QPushButton(texts.texto(QStringLiteral("NET_ADD"), QStringLiteral("Add")), this);
    add->setObjectName(QStringLiteral("NetworkPortsAdd"));
    auto *remove = new QPushButton(texts.texto(QStringLiteral("NET_REMOVE"), QStringLiteral("Remove")), this);
    remove->setObjectName(QStringLiteral("NetworkPortsRemove"));
    row->addWidget(add);
    row->addWidget(remove);
    row->addStretch();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    row->addWidget(buttons);
    layout->addLayout(row);

    connect(add, &QPushButton::clicked, this, [this] {
        // The next free NET<n>, so the usual case needs only the address.
        int n = 1;
        const QList<NetworkPortList::Entry> present = rows();
        const auto taken = [&present](const QString &name) {
            return std::any_of(present.cbegin(), present.cend(), [&name](const NetworkPortList::Entry &e) {
                return e.name.compare(name, Qt::CaseInsensitive) == 0;
            });
        };
        while (taken(QStringLiteral("NET%1").arg(n)))
            ++n;
        addRow(QStringLiteral("NET%1").arg(n), QStringLiteral("rfc2217://"));
        m_table->setCurrentCell(m_table->rowCount() - 1, 1);
        m_table->editItem(m_table->item(m_table->rowCount() - 1, 1));
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_table->currentRow() >= 0)
            m_table->removeRow(m_table->currentRow());
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &NetworkPortsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &NetworkPortsDialog::reject);
}

void NetworkPortsDialog::addRow(const QString &name, const QString &address)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    m_table->setItem(row, 0, new QTableWidgetItem(name));
    m_table->setItem(row, 1, new QTableWidgetItem(address));
}

QList<NetworkPortList::Entry> NetworkPortsDialog::rows() const
{
    QList<NetworkPortList::Entry> result;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const QString name = m_table->item(row, 0) ? m_table->item(row, 0)->text().trimmed() : QString();
        const QString address = m_table->item(row, 1) ? m_table->item(row, 1)->text().trimmed() : QString();
        if (!name.isEmpty() || !address.isEmpty())
            result.append({name, address});
    }
    return result;
}

QString NetworkPortsDialog::problem() const
{
    QStringList seen;
    for (const NetworkPortList::Entry &entry : rows()) {
        if (!NetworkPortList::validName(entry.name))
            return m_texts
                .texto(QStringLiteral("NET_BAD_NAME"),
                       QStringLiteral(
                           "'%1' cannot be a port name: letters, digits, - and _, starting with a letter, "
                           "and not COM with a number."))
                .arg(entry.name);
        if (seen.contains(entry.name.toUpper()))
            return m_texts.texto(QStringLiteral("NET_TWICE"), QStringLiteral("The name %1 is used twice."))
                .arg(entry.name);
        seen << entry.name.toUpper();
        if (!NetworkPortList::validAddress(entry.address))
            return m_texts
                .texto(QStringLiteral("NET_BAD_ADDRESS"), QStringLiteral("'%1' is not a network address."))
                .arg(entry.address);
    }
    return {};
}

bool NetworkPortsDialog::save()
{
    const QString why = problem();
    m_problem->setText(why);
    if (!why.isEmpty())
        return false;
    NetworkPortList list(m_iniPath);
    const QList<NetworkPortList::Entry> wanted = rows();
    try {
        for (const NetworkPortList::Entry &old : list.entries()) {
            const bool kept =
                std::any_of(wanted.cbegin(), wanted.cend(), [&old](const NetworkPortList::Entry &e) {
                    return e.name.compare(old.name, Qt::CaseInsensitive) == 0;
                });
            if (!kept)
                list.remove(old.name);
        }
        for (const NetworkPortList::Entry &entry : wanted)
            list.set(entry.name, entry.address);
    } catch (const TzrError &e) {
        m_problem->setText(e.message());
        return false;
    }
    return true;
}

void NetworkPortsDialog::accept()
{
    if (save())
        QDialog::accept();
}
