#pragma once

#include "TableStore.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>

// The last day of each user's access, kept beside the users table in the data file's database
// member as side records, so that it travels with the file through copies and Save as without
// a field of the table changing. A date belongs to a user by name and access code together: it
// follows the user through ordering and through a receive that brings the same user back; the
// window moves it when it edits either. The key is a digest, so the code is not stored twice.
class EndDates
{
public:
    static constexpr const char *Kind = "valid-until";

    static QString keyOf(const QString &name, const QString &code);
    // The date a cell or an import gives in the form YYYY-MM-DD; an invalid date for anything else.
    static QDate parse(const QString &text);
    static QString text(const QDate &date) { return date.toString(Qt::ISODate); }
    // A user is let in through the whole of its last day and is out from the next.
    static bool expired(const QDate &until, const QDate &today) { return until.isValid() && until < today; }

    static EndDates fromRecords(const QList<TableStore::SideRecord> &records);
    // Any handle that keeps side records: the dataset, a cursor, the store itself.
    template <class Store>
    static EndDates load(const Store &store)
    {
        return fromRecords(store.sideRecords(QString::fromLatin1(Kind)));
    }
    // An invalid date removes the user's end.
    template <class Store>
    static void set(Store &store, const QString &name, const QString &code, const QDate &until)
    {
        if (until.isValid())
            store.setSideRecord(QString::fromLatin1(Kind), keyOf(name, code), text(until).toLatin1());
        else
            store.removeSideRecord(QString::fromLatin1(Kind), keyOf(name, code));
    }
    // Moves an end date from a user's old name and code to its new ones (an edit of either).
    template <class Store>
    static void follow(Store &store, const QString &oldName, const QString &oldCode, const QString &newName,
                       const QString &newCode)
    {
        if (keyOf(oldName, oldCode) == keyOf(newName, newCode))
            return;
        const QDate until = load(store).dateOf(oldName, oldCode);
        if (!until.isValid())
            return;
        set(store, newName, newCode, until);
        set(store, oldName, oldCode, QDate());
    }

    // An invalid date when the user has no end.
    QDate dateOf(const QString &name, const QString &code) const { return m_dates.value(keyOf(name, code)); }
    bool isEmpty() const { return m_dates.isEmpty(); }
    int size() const { return static_cast<int>(m_dates.size()); }

private:
    QHash<QString, QDate> m_dates;
};
