#pragma once

#include "DataFileRef.h"
#include "History.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;
class TextLookup;

// A data file's history, read-only: the entries newest last, narrowed by user and board, the
// result of the chain's check, and Save as CSV of what is shown.
class HistoryDialog : public QDialog
{
    Q_OBJECT
public:
    // Reads the history through its own handle; raises TzrError when the file cannot be opened.
    HistoryDialog(const TextLookup &texts, const DataFileRef &file, QWidget *parent = nullptr);

    // The entries the filters keep, as the table shows them.
    const QList<HistoryEntry> &shownEntries() const { return m_shown; }
    // Writes the shown entries as CSV; false (with why) when the file cannot be written.
    bool saveCsv(const QString &path, QString &error) const;

    static QString jobText(const TextLookup &texts, const QString &job);
    static QString outcomeText(const TextLookup &texts, const QString &outcome);
    static QString changeText(const TextLookup &texts, HistoryChange::Kind kind);
    // One cell naming each slot's user and what happened to it; codes are never part of it.
    static QString changesText(const TextLookup &texts, const QList<HistoryChange> &changes);

private:
    void applyFilter();
    void fillTable();
    void showCheck(const History::Check &check);
    void saveClicked();

    const TextLookup &m_texts;
    QList<HistoryEntry> m_entries;
    QList<HistoryEntry> m_shown;
    QTableWidget *m_table = nullptr;
    QLineEdit *m_userFilter = nullptr;
    QComboBox *m_boardFilter = nullptr;
    QLabel *m_check = nullptr;
};
