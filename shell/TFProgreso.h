#pragma once

#include "TransferReport.h"

#include <QDialog>

class Contexto;
class QLabel;
class QProgressBar;

// What a transfer or a bus scan is doing and how far it has got. Shown without modality and
// without taking the focus, so the operation's handler keeps running underneath it.
class TFProgreso : public QDialog, public ProgressView
{
    Q_OBJECT
public:
    explicit TFProgreso(Contexto &ctx, QWidget *parent = nullptr);

    void mostrar() override;
    void cerrar() override;
    void setMensaje(const QString &text) override;
    void setMaximo(int maximum) override;
    void setPosicion(int position) override;
    int posicion() const override;
    void setContador(const QString &text) override;
    void setUsuarioProceso(const QString &text) override;

    QString mensaje() const;
    int maximo() const;
    QString contador() const;

private:
    Contexto &m_ctx;
    QLabel *m_Mensaje = nullptr;
    QLabel *m_lblUsers = nullptr;
    QProgressBar *m_Barra_Progreso = nullptr;
};
