#pragma once

#include "BoardRun.h"

#include <QDialog>

class QTableWidget;
class TextLookup;

// The report at the end of a run over several boards: one row per board, and Save as CSV.
class BoardRunReportDialog : public QDialog
{
    Q_OBJECT
public:
    BoardRunReportDialog(const TextLookup &texts, const BoardRunReport &report, QWidget *parent = nullptr);

    // The outcome as the report's table shows it, in the chosen language.
    static QString outcomeText(const TextLookup &texts, BoardOutcome outcome);
    // Writes the report as CSV; false (with why) when the file cannot be written.
    bool saveCsv(const QString &path, QString &error) const;
    // A name chosen without an extension gets ".csv", as the filter promises.
    static QString withCsvSuffix(const QString &path);

private:
    void saveClicked();

    const TextLookup &m_texts;
    BoardRunReport m_report;
    QTableWidget *m_table = nullptr;
};
