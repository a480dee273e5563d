#include "BoardNumberFilter.h"

#include <QKeyEvent>
#include <QLineEdit>

BoardNumberFilter::BoardNumberFilter(QLineEdit &field, std::function<bool()> connected, QObject *parent)
    : QObject(parent), m_field(field), m_connected(std::move(connected))
{
    m_field.installEventFilter(this);
}

bool BoardNumberFilter::accepts(QChar key) const
{
    if (m_connected())
        return false;
    const char16_t c = key.unicode();
    // 0x7F is the Delete key, which never reached the original filter as a character.
    return c == 8 || c == 9 || c == 10 || c == 13 || c == 0x7F || (c >= u'0' && c <= u'9');
}

bool BoardNumberFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != &m_field || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const QString text = key->text();
    if (!text.isEmpty()) {
        if (!accepts(text.at(0)))
            return true;
        // The bus numbers end at 31: a digit that would make a larger number is not taken.
        if (text.at(0).isDigit()) {
            QString after = m_field.text();
            const int from = m_field.hasSelectedText() ? m_field.selectionStart() : m_field.cursorPosition();
            after.remove(from, m_field.selectedText().size());
            after.insert(from, text.at(0));
            if (after.size() <= m_field.maxLength() && after.toInt() > 31)
                return true;
        }
        return false;
    }
    // Keys that edit without a character of their own.
    return m_connected() && (key->key() == Qt::Key_Delete || key->key() == Qt::Key_Backspace);
}
