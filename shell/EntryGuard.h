#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QLineEdit;

// Applies a field's entry rule to text however it reaches a line edit. Typed keys are filtered
// before they arrive; text pasted by any key or mouse route, dropped, or set through the
// accessibility interface only shows up as a change of the text, so every inserted character
// is put through the same rule there, and the field's length limits what is inserted. Text the
// program itself shows (a value read from a board or a table) goes through muestra() whole.
class EntryGuard : public QObject
{
    Q_OBJECT
public:
    // What the field makes of character c inserted into texto (the field's text around the
    // insertion point): the character to keep; a null or control character keeps nothing.
    using Regla = std::function<QChar(const QString &texto, QChar c)>;

    // The guard lives as long as edit. longitud < 0: no limit.
    EntryGuard(QLineEdit &edit, Regla regla, int longitud = -1);

    // While bloqueo returns true the text cannot change by any route but muestra().
    void setBloqueo(std::function<bool()> bloqueo) { m_bloqueo = std::move(bloqueo); }
    void setLongitud(int longitud) { m_longitud = longitud; }
    void muestra(const QString &texto);

    // The guard of edit, or null.
    static EntryGuard *de(const QLineEdit *edit);
    // Shows texto in edit through its guard, or plainly when it has none.
    static void muestra(QLineEdit *edit, const QString &texto);

private:
    void cambiado(const QString &nuevo);
    void pone(const QString &texto, int cursor);

    QPointer<QLineEdit> m_edit;
    Regla m_regla;
    int m_longitud = -1;
    std::function<bool()> m_bloqueo;
    QString m_aceptado;
    bool m_propio = false;
};
