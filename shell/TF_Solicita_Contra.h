#pragma once

#include <QDialog>

class Contexto;

// Asks for a board's programming or master code before connecting or opening its parameters.
class TF_Solicita_Contra : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Solicita_Contra(Contexto &ctx, QWidget *parent = nullptr);

private:
    Contexto &m_ctx;
};
