#pragma once

#include "TransferReport.h"

#include <QStringList>

// Remembers what a transfer showed.
class RecordingProgress : public ProgressView, public MessageView
{
public:
    void display() override { m_visible = true; ++m_shows; }
    void dismiss() override { m_visible = false; }
    void setMessage(const QString &text) override { m_mensajes << text; }
    void setMaximum(int maximum) override { m_maximo = maximum; }
    void setPosition(int position) override { m_posicion = position; }
    int position() const override { return m_posicion; }
    void setCounter(const QString &text) override { m_contador = text; }
    void setUserInHand(const QString &text) override { m_usuario = text; }
    void showTwoLines(const QString &line1, const QString &line2) override { m_cajas << line1 + QLatin1Char('|') + line2; }

    bool visible() const { return m_visible; }
    int maximo() const { return m_maximo; }
    QString contador() const { return m_contador; }
    QString usuarioProceso() const { return m_usuario; }
    QStringList mensajes() const { return m_mensajes; }
    QStringList cajas() const { return m_cajas; }

private:
    bool m_visible = false;
    int m_shows = 0;
    int m_maximo = 0;
    int m_posicion = 0;
    QString m_contador;
    QString m_usuario;
    QStringList m_mensajes;
    QStringList m_cajas;
};
