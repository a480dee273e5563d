#pragma once

class Contexto;
class QWidget;

// The windows of a run as plain widgets, null where a window does not exist, for code that reaches
// their components by object name only.
struct WindowSet
{
    QWidget *principal = nullptr;
    QWidget *contrasena = nullptr;
    QWidget *idiomaa = nullptr;
    QWidget *test = nullptr;
    QWidget *progreso = nullptr;
    QWidget *advertencia = nullptr;
    QWidget *solicitaContra = nullptr;
    QWidget *contraAplicacion = nullptr;
    QWidget *advertencia3 = nullptr;
    QWidget *parametros = nullptr;
    QWidget *mensajeParametros = nullptr;
    QWidget *showMessage = nullptr;
    QWidget *debug = nullptr;

    static WindowSet of(const Contexto &ctx);
};
