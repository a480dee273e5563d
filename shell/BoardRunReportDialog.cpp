#include "BoardRunReportDialog.h"

#include "FileData.h"
#include "TextLookup.h"
#include "TzrError.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString t(const TextLookup &texts, const char *key, const char *fallback)
{
    return texts.texto(QString::fromLatin1(key), QString::fromUtf8(fallback));
}

} // namespace

QString BoardRunReportDialog::outcomeText(const TextLookup &texts, BoardOutcome outcome)
{
    switch (outcome) {
    case BoardOutcome::Done:
        return t(texts, "MULTI_OUT_DONE", "Done");
    case BoardOutcome::Different:
        return t(texts, "MULTI_OUT_DIFFERENT", "Differs from the file");
    case BoardOutcome::GuardRefused:
        return t(texts, "MULTI_OUT_GUARD", "Refused: changed on the board since the last send");
    case BoardOutcome::NoImage:
        return t(texts, "MULTI_OUT_NO_IMAGE", "Refused: the file has no record of this board");
    case BoardOutcome::CodeRefused:
        return t(texts, "MULTI_OUT_CODE", "Code refused");
    case BoardOutcome::NotAnswering:
        return t(texts, "MULTI_OUT_SILENT", "Not answering");
    case BoardOutcome::Stopped:
        return t(texts, "MULTI_OUT_STOPPED", "Stopped");
    case BoardOutcome::FailedUsers:
        return t(texts, "MULTI_OUT_FAILED_USERS", "Incomplete");
    case BoardOutcome::NotDone:
        return t(texts, "MULTI_OUT_NOT_DONE", "Not done");
    case BoardOutcome::Failed:
        return t(texts, "MULTI_OUT_FAILED", "Failed");
    }
    return QString();
}

BoardRunReportDialog::BoardRunReportDialog(const TextLookup &texts, const BoardRunReport &report, QWidget *parent)
    : QDialog(parent), m_texts(texts), m_report(report)
{
    setObjectName(QStringLiteral("BoardRunReport"));
    setWindowTitle(t(texts, "MULTI_REPORT_TITLE", "Report of the run"));
    auto *layout = new QVBoxLayout(this);
    m_table = new QTableWidget(static_cast<int>(report.boards.size()), 6, this);
    m_table->setObjectName(QStringLiteral("table"));
    m_table->setHorizontalHeaderLabels({t(texts, "MULTI_COL_BOARD", "Board"), t(texts, "MULTI_COL_OUTCOME", "Outcome"),
                                        t(texts, "MULTI_COL_WRITTEN", "Written"),
                                        t(texts, "MULTI_COL_FAILED", "Users not written"),
                                        t(texts, "MULTI_COL_TIME", "Time (s)"), t(texts, "MULTI_COL_DETAIL", "Detail")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int row = 0; row < report.boards.size(); ++row) {
        const BoardRunEntry &e = report.boards.at(row);
        const QString written = e.total > 0 ? QStringLiteral("%1 / %2").arg(e.written).arg(e.total)
                                            : QString::number(e.written);
        QString detail = e.detail;
        if (e.outcome == BoardOutcome::Different)
            detail = t(texts, "MULTI_DIFFERENCES", "%1 differences").arg(e.differences);
        const QStringList cells{QStringLiteral("%1").arg(e.board, 2, 10, QLatin1Char('0')),
                                outcomeText(texts, e.outcome),
                                written,
                                e.failedUsers.join(QStringLiteral(", ")),
                                QString::number(static_cast<double>(e.milliseconds) / 1000.0, 'f', 1),
                                detail};
        for (int column = 0; column < cells.size(); ++column)
            m_table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    }
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *save = buttons->addButton(t(texts, "MULTI_SAVE_CSV", "Save as CSV…"), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("saveCsv"));
    QPushButton *close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("close"));
    layout->addWidget(buttons);
    connect(save, &QPushButton::clicked, this, &BoardRunReportDialog::saveClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(640, 120 + 30 * static_cast<int>(report.boards.size()));
}

bool BoardRunReportDialog::saveCsv(const QString &path, QString &error) const
{
    try {
        FileData::write(path, m_report.toCsv());
    } catch (const TzrError &e) {
        error = e.message();
        return false;
    }
    return true;
}

void BoardRunReportDialog::saveClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, windowTitle(), QString(),
                                                      t(m_texts, "MULTI_CSV_FILTER", "CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveCsv(path, error))
        QMessageBox::warning(this, windowTitle(), error);
}
