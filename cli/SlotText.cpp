#include "SlotText.h"

#include <QJsonObject>

namespace SlotText {

QString slotList(const QList<int> &slotNumbers)
{
    QStringList numbers;
    for (int slot : slotNumbers)
        numbers << QString::number(slot + 1);
    return numbers.join(QLatin1Char(' '));
}

QString addressList(const QList<int> &addresses)
{
    QStringList numbers;
    for (int address : addresses)
        numbers << QString::number(address);
    return numbers.join(QLatin1Char(' '));
}

QString slotNameList(const QList<int> &slotNumbers, const QStringList &names)
{
    QStringList items;
    for (qsizetype i = 0; i < slotNumbers.size(); ++i)
        items << QStringLiteral("%1 (%2)").arg(slotNumbers[i] + 1).arg(i < names.size() ? names[i].trimmed() : QString());
    return items.join(QStringLiteral(", "));
}

QJsonArray slotsAndNames(const QList<int> &slotNumbers, const QStringList &names)
{
    QJsonArray items;
    for (qsizetype i = 0; i < slotNumbers.size(); ++i)
        items.append(QJsonObject{{QStringLiteral("slot"), slotNumbers[i] + 1},
                                 {QStringLiteral("name"), i < names.size() ? names[i].trimmed() : QString()}});
    return items;
}

} // namespace SlotText
