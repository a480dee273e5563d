#pragma once

#include <QDialog>

class Contexto;

// The board test window: polls every board number and lists the boards that answer.
class TF_Test : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Test(Contexto &ctx, QWidget *parent = nullptr);

private:
    Contexto &m_ctx;
};
