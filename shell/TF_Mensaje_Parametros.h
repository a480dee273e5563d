#pragma once

#include <QDialog>

class Contexto;

// Tells that the parameters were left as they were.
class TF_Mensaje_Parametros : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Mensaje_Parametros(Contexto &ctx, QWidget *parent = nullptr);

private:
    Contexto &m_ctx;
};
