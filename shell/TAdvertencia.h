#pragma once

#include "WarningDialog.h"

// The warning before a receive: the open data file will be replaced by the board's users.
class TAdvertencia : public WarningDialog
{
    Q_OBJECT
public:
    explicit TAdvertencia(Contexto &ctx, QWidget *parent = nullptr);
};
