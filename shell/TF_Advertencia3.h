#pragma once

#include "WarningDialog.h"

// The warning before a send: the board's users will be replaced by the open data file.
class TF_Advertencia3 : public WarningDialog
{
    Q_OBJECT
public:
    explicit TF_Advertencia3(Contexto &ctx, QWidget *parent = nullptr);
};
