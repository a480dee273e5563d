#include "HistoryDialog.h"

#include "BoardRunReportDialog.h"
#include "HistoryCsv.h"
#include "TextLookup.h"
#include "TzrError.h"

#include <QComboBox>
#include <QHash>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int BOARDS = 32;
constexpr int MOST_CHANGES_COLUMN_WIDTH = 420;

QString t(const TextLookup &texts, const char *key, const char *fallback)
{
    return texts.texto(QString::fromLatin1(key), QString::fromUtf8(fallback));
}

// "send-changes" is asked as HIST_JOB_SEND_CHANGES.
QString keyed(const TextLookup &texts, const char *prefix, const QString &key, const QString &fallback)
{
    QString name = key.toUpper();
    name.replace(QLatin1Char('-'), QLatin1Char('_'));
    return texts.texto(QString::fromLatin1(prefix) + name, fallback);
}

QString boardText(int board)
{
    return board < 0 ? QString() : QStringLiteral("%1").arg(board, 2, 10, QLatin1Char('0'));
}

} // namespace

QString HistoryDialog::jobText(const TextLookup &texts, const QString &job)
{
    static const QHash<QString, QString> english{
        {History::Job::Send, QStringLiteral("Send")},
        {History::Job::SendChanges, QStringLiteral("Send changes")},
        {History::Job::Receive, QStringLiteral("Receive")},
        {History::Job::Compare, QStringLiteral("Compare")},
        {History::Job::RestoreImage, QStringLiteral("Restore image")},
        {History::Job::Parameters, QStringLiteral("Parameters")}};
    if (job.isEmpty())
        return t(texts, "HIST_UNREADABLE", "Unreadable entry");
    if (!english.contains(job))
        return job;
    return keyed(texts, "HIST_JOB_", job, english.value(job));
}

QString HistoryDialog::outcomeText(const TextLookup &texts, const QString &outcome)
{
    static const QHash<QString, QString> english{
        {History::Outcome::Done, QStringLiteral("Done")},
        {History::Outcome::Incomplete, QStringLiteral("Incomplete")},
        {History::Outcome::NoAnswer, QStringLiteral("No answer")},
        {History::Outcome::Stopped, QStringLiteral("Stopped")},
        {History::Outcome::PortLost, QStringLiteral("Port lost")},
        {History::Outcome::Failed, QStringLiteral("Failed")},
        {History::Outcome::Different, QStringLiteral("Differs from the file")}};
    if (!english.contains(outcome))
        return outcome;
    return keyed(texts, "HIST_OUTCOME_", outcome, english.value(outcome));
}

QString HistoryDialog::changeText(const TextLookup &texts, HistoryChange::Kind kind)
{
    switch (kind) {
    case HistoryChange::Kind::Added:
        return t(texts, "HIST_CHANGE_ADDED", "added");
    case HistoryChange::Kind::Removed:
        return t(texts, "HIST_CHANGE_REMOVED", "removed");
    case HistoryChange::Kind::CodeChanged:
        return t(texts, "HIST_CHANGE_CODE_CHANGED", "code changed");
    case HistoryChange::Kind::FieldsChanged:
        return t(texts, "HIST_CHANGE_FIELDS_CHANGED", "fields changed");
    case HistoryChange::Kind::Expired:
        return t(texts, "HIST_CHANGE_EXPIRED", "removed, its end date had passed");
    case HistoryChange::Kind::Written:
        break;
    }
    return t(texts, "HIST_CHANGE_WRITTEN", "written");
}

QString HistoryDialog::changesText(const TextLookup &texts, const QList<HistoryChange> &changes)
{
    QStringList parts;
    for (const HistoryChange &c : changes) {
        QString who = c.user.isEmpty() ? t(texts, "HIST_SLOT", "slot %1").arg(c.slot) : c.user;
        if (!c.previousUser.isEmpty() && c.previousUser != c.user)
            who = t(texts, "HIST_RENAMED", "%1 (was %2)").arg(who, c.previousUser);
        parts << QStringLiteral("%1: %2").arg(who, changeText(texts, c.kind));
    }
    return parts.join(QStringLiteral("; "));
}

HistoryDialog::HistoryDialog(const TextLookup &texts, const DataFileRef &file, QWidget *parent)
    : QDialog(parent), m_texts(texts)
{
    setObjectName(QStringLiteral("HistoryDialog"));
    setWindowTitle(t(texts, "HIST_TITLE", "History of %1").arg(file.table));
    History::Check check;
    {
        const History history(file);
        m_entries = history.entries();
        check = history.verify();
    }

    auto *layout = new QVBoxLayout(this);
    auto *filters = new QHBoxLayout;
    auto *userLabel = new QLabel(t(texts, "HIST_FILTER_USER", "User:"), this);
    m_userFilter = new QLineEdit(this);
    m_userFilter->setObjectName(QStringLiteral("userFilter"));
    m_userFilter->setClearButtonEnabled(true);
    m_userFilter->setMinimumWidth(m_userFilter->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 20);
    userLabel->setBuddy(m_userFilter);
    auto *boardLabel = new QLabel(t(texts, "HIST_FILTER_BOARD", "Board:"), this);
    m_boardFilter = new QComboBox(this);
    m_boardFilter->setObjectName(QStringLiteral("boardFilter"));
    m_boardFilter->addItem(t(texts, "HIST_ALL_BOARDS", "All"), -1);
    for (int board = 0; board < BOARDS; ++board)
        m_boardFilter->addItem(boardText(board), board);
    boardLabel->setBuddy(m_boardFilter);
    filters->addWidget(userLabel);
    filters->addWidget(m_userFilter);
    filters->addSpacing(12);
    filters->addWidget(boardLabel);
    filters->addWidget(m_boardFilter);
    filters->addStretch(1);
    layout->addLayout(filters);

    m_table = new QTableWidget(0, 6, this);
    m_table->setObjectName(QStringLiteral("table"));
    m_table->setHorizontalHeaderLabels({t(texts, "HIST_COL_TIME", "Time"), t(texts, "HIST_COL_WHO", "Who"),
                                        t(texts, "HIST_COL_BOARD", "Board"), t(texts, "HIST_COL_JOB", "Job"),
                                        t(texts, "HIST_COL_OUTCOME", "Outcome"),
                                        t(texts, "HIST_COL_CHANGES", "Users changed")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 8);
    layout->addWidget(m_table, 1);

    m_check = new QLabel(this);
    m_check->setObjectName(QStringLiteral("check"));
    m_check->setWordWrap(true);
    m_check->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_check);
    showCheck(check);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *save = buttons->addButton(t(texts, "HIST_SAVE_CSV", "Save as CSV…"), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("saveCsv"));
    QPushButton *close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("close"));
    layout->addWidget(buttons);
    connect(save, &QPushButton::clicked, this, &HistoryDialog::saveClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_userFilter, &QLineEdit::textChanged, this, &HistoryDialog::applyFilter);
    connect(m_boardFilter, &QComboBox::currentIndexChanged, this, &HistoryDialog::applyFilter);

    applyFilter();
    // Wide enough for every column whole but a long list of changes, within the screen.
    const QMargins margins = layout->contentsMargins();
    int width = m_table->frameWidth() * 2 + m_table->verticalScrollBar()->sizeHint().width() + margins.left() +
                margins.right() + 8;
    for (int column = 0; column < m_table->columnCount(); ++column)
        width += m_table->columnWidth(column);
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const int most = screen ? screen->availableGeometry().width() - 40 : width;
    resize(std::clamp(width, 720, std::max(720, most)), 420);
}

void HistoryDialog::showCheck(const History::Check &check)
{
    if (check.intact) {
        m_check->setText(t(m_texts, "HIST_INTACT", "The history is intact: %1 entries.").arg(check.count));
        return;
    }
    m_check->setText(
        t(m_texts, "HIST_BROKEN", "The check failed at entry %1: %2.")
            .arg(check.firstBad)
            .arg(check.why));
    m_check->setStyleSheet(QStringLiteral("color: red"));
}

void HistoryDialog::applyFilter()
{
    HistoryFilter filter;
    filter.board = m_boardFilter->currentData().toInt();
    filter.user = m_userFilter->text().trimmed();
    m_shown = filter.apply(m_entries);
    fillTable();
}

void HistoryDialog::fillTable()
{
    m_table->setRowCount(static_cast<int>(m_shown.size()));
    for (int row = 0; row < m_shown.size(); ++row) {
        const HistoryEntry &e = m_shown.at(row);
        QString who = e.user;
        if (!e.host.isEmpty())
            who += QLatin1Char('@') + e.host;
        if (!e.program.isEmpty())
            who += QStringLiteral(", ") + (e.version.isEmpty() ? e.program : e.program + QLatin1Char(' ') + e.version);
        const QStringList cells{e.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                who,
                                boardText(e.board),
                                jobText(m_texts, e.job),
                                outcomeText(m_texts, e.outcome),
                                changesText(m_texts, e.changes)};
        QStringList tip{cells.at(5)};
        if (!e.port.isEmpty())
            tip << t(m_texts, "HIST_PORT", "Port: %1").arg(e.port);
        if (!e.detail.isEmpty())
            tip << e.detail;
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells.at(column));
            item->setToolTip(column == 5 ? tip.join(QLatin1Char('\n')) : cells.at(column));
            m_table->setItem(row, column, item);
        }
    }
    // Sized to what the filters keep; the last column then takes the room left.
    QHeaderView *header = m_table->horizontalHeader();
    header->setStretchLastSection(false);
    m_table->resizeColumnsToContents();
    m_table->setColumnWidth(5, std::min(m_table->columnWidth(5), MOST_CHANGES_COLUMN_WIDTH));
    header->setStretchLastSection(true);
}

bool HistoryDialog::saveCsv(const QString &path, QString &error) const
{
    try {
        HistoryCsv::save(path, m_shown);
    } catch (const TzrError &e) {
        error = e.message();
        return false;
    }
    return true;
}

void HistoryDialog::saveClicked()
{
    QString path = QFileDialog::getSaveFileName(this, windowTitle(), QString(),
                                                t(m_texts, "HIST_CSV_FILTER", "CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    path = BoardRunReportDialog::withCsvSuffix(path);
    QString error;
    if (!saveCsv(path, error))
        QMessageBox::warning(this, windowTitle(), error);
}
