#pragma once

#include <QString>

// How the transfer loops show their progress; the progress window implements it.
class ProgressView
{
public:
    virtual ~ProgressView() = default;
    virtual void mostrar() = 0;
    virtual void cerrar() = 0;
    virtual void setMensaje(const QString &text) = 0;
    virtual void setMaximo(int maximum) = 0;
    virtual void setPosicion(int position) = 0;
    virtual int posicion() const = 0;
    // The counter label lblUsers.
    virtual void setContador(const QString &text) = 0;
    // The main window's L_Usuario_Proceso.
    virtual void setUsuarioProceso(const QString &text) = 0;
    // The board has not answered for a while: say so and offer to stop; false when it answers
    // again.
    virtual void setSinRespuesta(bool /*on*/) {}
};

// How the transfer loops tell the user something; the two-line message box implements it.
class MessageView
{
public:
    virtual ~MessageView() = default;
    virtual void mostrarMensaje(const QString &line1, const QString &line2) = 0;
};
