#include "BoardRunReportDialog.h"

#include "TextLookup.h"
#include "TzrError.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString t(const TextLookup &texts, const char *key, const char *fallback)
{
    return texts.texto(QString::fromLatin1(key), QString::fromUtf8(fallback));
}

} // namespace

QString BoardRunReportDialog::outcomeText(const TextLookup &texts, BoardOutcome outcome)
{
    return BoardRunReport::outcomeText(texts, outcome);
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
                                        report.compared ? t(texts, "MULTI_COL_DIFFERENCES", "Differences")
                                                        : t(texts, "MULTI_COL_WRITTEN", "Written"),
                                        t(texts, "MULTI_COL_FAILED", "Users not written"),
                                        t(texts, "MULTI_COL_TIME", "Time (s)"), t(texts, "MULTI_COL_DETAIL", "Detail")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int row = 0; row < report.boards.size(); ++row) {
        const BoardRunEntry &e = report.boards.at(row);
        const bool compared = e.outcome == BoardOutcome::Done || e.outcome == BoardOutcome::Different;
        const QString written = report.compared ? (compared ? QString::number(e.differences) : QString())
                                : e.total > 0   ? QStringLiteral("%1 / %2").arg(e.written).arg(e.total)
                                                : QString::number(e.written);
        QString detail = e.detail;
        if (e.outcome == BoardOutcome::Different)
            detail = t(texts, "MULTI_DIFFERENCES", "%1 differences").arg(e.differences);
        else if (e.outcome == BoardOutcome::GuardRefused && !e.detail.isEmpty())
            detail = t(texts, "MULTI_GUARD_SLOTS", "Slots changed on the board: %1").arg(e.detail);
        const QStringList cells{QStringLiteral("%1").arg(e.board, 2, 10, QLatin1Char('0')),
                                outcomeText(texts, e.outcome),
                                written,
                                e.failedUsers.join(QStringLiteral(", ")),
                                QString::number(static_cast<double>(e.milliseconds) / 1000.0, 'f', 1),
                                detail};
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells.at(column));
            item->setToolTip(cells.at(column));
            m_table->setItem(row, column, item);
        }
    }
    // Nothing is written by a compare.
    m_table->setColumnHidden(3, report.compared);
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
    // Wide enough for every column whole (a detail is an image's path), within the screen.
    const QMargins margins = layout->contentsMargins();
    int width = m_table->frameWidth() * 2 + m_table->verticalScrollBar()->sizeHint().width() + margins.left() +
                margins.right() + 8;
    for (int column = 0; column < m_table->columnCount(); ++column) {
        if (!m_table->isColumnHidden(column))
            width += m_table->columnWidth(column);
    }
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const int most = screen ? screen->availableGeometry().width() - 40 : width;
    resize(std::clamp(width, 640, std::max(640, most)), 120 + 30 * static_cast<int>(report.boards.size()));
}

QString BoardRunReportDialog::withCsvSuffix(const QString &path)
{
    return QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".csv") : path;
}

bool BoardRunReportDialog::saveCsv(const QString &path, QString &error) const
{
    try {
        m_report.saveCsv(path);
    } catch (const TzrError &e) {
        error = e.message();
        return false;
    }
    return true;
}

void BoardRunReportDialog::saveClicked()
{
    QString path = QFileDialog::getSaveFileName(this, windowTitle(), QString(),
                                                t(m_texts, "MULTI_CSV_FILTER", "CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    path = withCsvSuffix(path);
    QString error;
    if (!saveCsv(path, error))
        QMessageBox::warning(this, windowTitle(), error);
}
