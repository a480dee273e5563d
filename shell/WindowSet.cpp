#include "WindowSet.h"

#include "Contexto.h"
#include "TAdvertencia.h"
#include "TFProgreso.h"
#include "TF_Advertencia3.h"
#include "TF_Contra_Aplicacion.h"
#include "TF_Contrasena.h"
#include "TF_Mensaje_Parametros.h"
#include "TF_Parametros.h"
#include "TF_ShowMessage.h"
#include "TF_Solicita_Contra.h"
#include "TF_Test.h"
#include "TFormPrincipal.h"
#include "TfrmDebug.h"
#include "Tidiomaa.h"

WindowSet WindowSet::of(const Contexto &ctx)
{
    WindowSet w;
    w.principal = ctx.principal;
    w.contrasena = ctx.contrasena;
    w.idiomaa = ctx.idiomaa;
    w.test = ctx.test;
    w.progreso = ctx.progreso;
    w.advertencia = ctx.advertencia;
    w.solicitaContra = ctx.solicitaContra;
    w.contraAplicacion = ctx.contraAplicacion;
    w.advertencia3 = ctx.advertencia3;
    w.parametros = ctx.parametros;
    w.mensajeParametros = ctx.mensajeParametros;
    w.showMessage = ctx.showMessage;
    w.debug = ctx.debug;
    return w;
}
