#pragma once

#include "NetworkPortList.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;
class TextLookup;

// Adds, edits and removes the named network ports. OK checks every row (a valid name, used once,
// and an address of a known kind) and stays open on the first bad one, saying which; only then is
// the list written, so a slip loses none of the ports already kept.
class NetworkPortsDialog : public QDialog
{
    Q_OBJECT
public:
    NetworkPortsDialog(const TextLookup &texts, const QString &iniPath, QWidget *parent = nullptr);

    // The rows as they stand, empty rows left out.
    QList<NetworkPortList::Entry> rows() const;
    // The first problem of the rows, empty when there is none.
    QString problem() const;
    // Writes the rows when they are sound; false (and the problem shown) otherwise.
    bool save();

    void accept() override;

private:
    void addRow(const QString &name, const QString &address);

    const TextLookup &m_texts;
    QString m_iniPath;
    QTableWidget *m_table = nullptr;
    QLabel *m_problem = nullptr;
};
