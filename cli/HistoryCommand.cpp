#include "HistoryCommand.h"

#include "Failure.h"
#include "History.h"
#include "TzrTool.h"

#include <QJsonObject>
#include <QRegularExpression>

namespace {

// A date alone is midnight local time, as a reader of the listing thinks of a day.
QDateTime sinceTime(const QString &text)
{
    static const QRegularExpression dateOnly(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (dateOnly.match(text).hasMatch()) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        return date.isValid() ? QDateTime(date, QTime(0, 0)) : QDateTime();
    }
    return QDateTime::fromString(text, Qt::ISODateWithMs);
}

} // namespace

int HistoryCommand::execute()
{
    dataFile(m_options.arguments.at(0), false, Access::Reads);
    const QCommandLineParser &parser = *m_options.parser;
    const bool csv = parser.isSet(QStringLiteral("csv"));
    if (csv && m_options.json)
        throw Failure{TzrTool::Usage,
                      say("CLI_HIST_CSV_JSON", QStringLiteral("--csv and --json exclude each other"))};
    if (parser.isSet(QStringLiteral("verify")))
        return verify();

    HistoryFilter filter;
    if (parser.isSet(QStringLiteral("board")))
        filter.board = m_options.board;
    if (parser.isSet(QStringLiteral("user"))) {
        filter.user = parser.value(QStringLiteral("user")).trimmed();
        if (filter.user.isEmpty())
            throw Failure{TzrTool::Usage,
                          say("CLI_HIST_BAD_USER", QStringLiteral("--user takes a name or part of one"))};
    }
    if (parser.isSet(QStringLiteral("since"))) {
        const QString text = parser.value(QStringLiteral("since")).trimmed();
        filter.since = sinceTime(text);
        if (!filter.since.isValid())
            throw Failure{
                TzrTool::Usage,
                say("CLI_HIST_BAD_SINCE",
                    QStringLiteral("--since takes a date YYYY-MM-DD or a time YYYY-MM-DDTHH:MM:SS, not '%1'"))
                    .arg(text)};
    }
    const QList<HistoryEntry> all = History(file()).entries();
    const QList<HistoryEntry> entries = filter.apply(all);
    if (all.isEmpty())
        note(say("CLI_HIST_EMPTY", QStringLiteral("%1 holds no history yet")).arg(m_data->tableName()));
    else if (entries.isEmpty())
        note(say("CLI_HIST_NONE_KEPT", QStringLiteral("none of the %1 entries of %2 fits"))
                 .arg(all.size())
                 .arg(m_data->tableName()));

    if (csv) {
        // Standard output gets no byte-order mark: it is read by scripts, not a spreadsheet.
        QByteArray bytes = History::toCsv(entries);
        if (bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        m_out << QString::fromUtf8(bytes);
        m_out.flush();
    } else if (m_options.json) {
        for (const HistoryEntry &e : entries)
            printJson(e.toJson());
    } else {
        printLines(entries);
    }
    return TzrTool::Success;
}

int HistoryCommand::verify()
{
    const History::Check check = History(file()).verify();
    if (m_options.json) {
        QJsonObject o{{QStringLiteral("intact"), check.intact},
                      {QStringLiteral("entries"), check.count},
                      {QStringLiteral("lastHash"), check.lastHash}};
        if (!check.intact) {
            o.insert(QStringLiteral("firstBad"), check.firstBad);
            o.insert(QStringLiteral("why"), check.why);
        }
        printJson(o);
    }
    if (!check.intact)
        throw Failure{TzrTool::Incomplete,
                      say("CLI_HIST_BROKEN", QStringLiteral("history of %1 does not hold at entry %2: %3"))
                          .arg(m_data->tableName())
                          .arg(check.firstBad)
                          .arg(check.why)};
    if (!m_options.json) {
        m_out << counted("CLI_HIST_INTACT", int(check.count),
                         QStringLiteral("history intact: %1 entry, last hash"),
                         QStringLiteral("history intact: %1 entries, last hash"))
              << ' ' << (check.count > 0 ? check.lastHash : QStringLiteral("-")) << '\n';
        m_out.flush();
    }
    return TzrTool::Success;
}

QString HistoryCommand::word(const QString &key) const
{
    const QByteArray name =
        "CLI_HIST_" + key.toUpper().replace(QLatin1Char('-'), QLatin1Char('_')).toLatin1();
    return say(name.constData(), key);
}

void HistoryCommand::printLines(const QList<HistoryEntry> &entries)
{
    for (const HistoryEntry &e : entries) {
        if (e.job.isEmpty()) {
            m_out << say("CLI_HIST_UNREADABLE", QStringLiteral("entry %1 cannot be read")).arg(e.sequence)
                  << '\n';
            continue;
        }
        QString head = say("CLI_HIST_LINE", QStringLiteral("%1  %2@%3  %4  board %5  %6  %7"))
                           .arg(e.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), e.user,
                                e.host, e.program,
                                e.board >= 0 ? QStringLiteral("%1").arg(e.board, 2, 10, QLatin1Char('0'))
                                             : QStringLiteral("--"),
                                word(e.job), word(e.outcome));
        if (e.read)
            head += QLatin1Char(' ') + say("CLI_HIST_READ", QStringLiteral("(read)"));
        if (e.changes.isEmpty())
            m_out << head << '\n';
        for (const HistoryChange &c : e.changes) {
            QString slot = say("CLI_HIST_SLOT", QStringLiteral("slot %1: %2 %3"))
                               .arg(c.slot)
                               .arg(word(HistoryChange::kindKey(c.kind)), c.user);
            if (!c.previousUser.isEmpty())
                slot +=
                    QLatin1Char(' ') + say("CLI_HIST_WAS", QStringLiteral("(was %1)")).arg(c.previousUser);
            if (!c.fields.isEmpty())
                slot += QLatin1Char(' ') +
                        say("CLI_HIST_FIELDS", QStringLiteral("[%1]")).arg(c.fields.join(QLatin1Char(' ')));
            m_out << head << "  " << slot << '\n';
        }
    }
    m_out.flush();
}
