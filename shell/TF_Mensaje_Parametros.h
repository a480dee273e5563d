#pragma once

#include <QDialog>

class Contexto;
class QLabel;

// Tells that the parameters were left as they were, and which field failed the check.
class TF_Mensaje_Parametros : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Mensaje_Parametros(Contexto &ctx, QWidget *parent = nullptr);

    // L2 := the field's name; shows the window modally and returns when it is closed.
    void mostrar(const QString &campo);
    QString L2() const;

    void B_AceptarClick();

private:
    Contexto &m_ctx;
    QLabel *m_L2 = nullptr;
};
