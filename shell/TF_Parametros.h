#pragma once

#include <QDialog>

class Contexto;

// The operating parameters of one board, read, edited and written back.
class TF_Parametros : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Parametros(Contexto &ctx, QWidget *parent = nullptr);

private:
    Contexto &m_ctx;
};
