#include "Recursos.h"

#include <QtGlobal>

static void registraShell()
{
    Q_INIT_RESOURCE(shell);
}

void cargaRecursos()
{
    static const bool cargados = (registraShell(), true);
    Q_UNUSED(cargados);
}
