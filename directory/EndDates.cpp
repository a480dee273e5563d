#include "EndDates.h"

#include <QCryptographicHash>
#include <QRegularExpression>

QString EndDates::keyOf(const QString &name, const QString &code)
{
    // Stored values drop trailing spaces; a received user and a typed one must meet on one key.
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(name.trimmed().toUtf8());
    h.addData(QByteArrayView("\n"));
    h.addData(code.trimmed().toUtf8());
    return QString::fromLatin1(h.result().toHex().left(32));
}

QDate EndDates::parse(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QString t = text.trimmed();
    if (!form.match(t).hasMatch())
        return {};
    return QDate::fromString(t, Qt::ISODate);
}

EndDates EndDates::fromRecords(const QList<TableStore::SideRecord> &records)
{
    EndDates dates;
    for (const TableStore::SideRecord &r : records) {
        const QDate d = parse(QString::fromLatin1(r.value));
        // An end that cannot be read is taken as long past: a code whose end is in doubt is not
        // sent, rather than kept alive.
        dates.m_dates.insert(r.key, d.isValid() ? d : QDate(1, 1, 1));
    }
    return dates;
}
