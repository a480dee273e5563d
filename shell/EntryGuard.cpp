#include "EntryGuard.h"

#include <QLineEdit>

#include <algorithm>
#include <utility>

EntryGuard::EntryGuard(QLineEdit &edit, Regla regla, int longitud)
    : QObject(&edit), m_edit(&edit), m_regla(std::move(regla)), m_longitud(longitud), m_aceptado(edit.text())
{
    connect(&edit, &QLineEdit::textChanged, this, &EntryGuard::cambiado);
}

void EntryGuard::muestra(const QString &texto)
{
    if (!m_edit)
        return;
    const bool antes = std::exchange(m_propio, true);
    m_edit->setText(texto);
    m_propio = antes;
    m_aceptado = m_edit->text();
}

EntryGuard *EntryGuard::de(const QLineEdit *edit)
{
    return edit ? edit->findChild<EntryGuard *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void EntryGuard::muestra(QLineEdit *edit, const QString &texto)
{
    if (EntryGuard *guarda = de(edit))
        guarda->muestra(texto);
    else if (edit)
        edit->setText(texto);
}

void EntryGuard::cambiado(const QString &nuevo)
{
    if (m_propio || nuevo == m_aceptado) {
        m_aceptado = nuevo;
        return;
    }
    if (m_bloqueo && m_bloqueo()) {
        pone(m_aceptado, m_aceptado.size());
        return;
    }
    // The change as one replacement: what is common at both ends stays, the middle is new.
    const qsizetype comun = std::min(nuevo.size(), m_aceptado.size());
    qsizetype prefijo = 0;
    while (prefijo < comun && nuevo.at(prefijo) == m_aceptado.at(prefijo))
        ++prefijo;
    qsizetype sufijo = 0;
    while (sufijo < comun - prefijo &&
           nuevo.at(nuevo.size() - 1 - sufijo) == m_aceptado.at(m_aceptado.size() - 1 - sufijo))
        ++sufijo;
    const QString antes = nuevo.left(prefijo);
    const QString despues = nuevo.right(sufijo);
    QString tomado;
    for (const QChar c : nuevo.mid(prefijo, nuevo.size() - prefijo - sufijo)) {
        const QChar r = m_regla ? m_regla(antes + tomado + despues, c) : c;
        if (r.unicode() >= 0x20 && r.unicode() != 0x7F)
            tomado += r;
    }
    if (m_longitud >= 0)
        tomado.truncate(std::max<qsizetype>(0, m_longitud - antes.size() - despues.size()));
    const QString resultado = antes + tomado + despues;
    if (resultado != nuevo)
        pone(resultado, antes.size() + tomado.size());
    else
        m_aceptado = resultado;
}

void EntryGuard::pone(const QString &texto, int cursor)
{
    const bool antes = std::exchange(m_propio, true);
    m_edit->setText(texto);
    m_edit->setCursorPosition(cursor);
    m_propio = antes;
    m_aceptado = m_edit->text();
}
