#pragma once

#include "WarningDialog.h"

class QCheckBox;

// The warning before a send: the board's users will be replaced by the open data file.
class TF_Advertencia3 : public WarningDialog
{
    Q_OBJECT
public:
    explicit TF_Advertencia3(Contexto &ctx, QWidget *parent = nullptr);

    // The user asked for the codes to be read back after the send; off each time it opens.
    bool verificar() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QCheckBox *m_Verificar = nullptr;
};
