#pragma once

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

// Slot and address lists as tzr prints them: slots counted from 1.
namespace SlotText {
QString slotList(const QList<int> &slotNumbers);
QString addressList(const QList<int> &addresses);
// "3 (EVE), 5 (ANA)": each slot with the user it was meant for.
QString slotNameList(const QList<int> &slotNumbers, const QStringList &names);
QJsonArray slotsAndNames(const QList<int> &slotNumbers, const QStringList &names);
} // namespace SlotText
