#include "WindowSet.h"

#include "Contexto.h"
#include "TAdvertencia.h"
#include "TFProgreso.h"
#include "TF_Advertencia3.h"
#include "TF_Contra_Aplicacion.h"
#include "TF_Contrasena.h"
#include "TF_ShowMessage.h"
#include "Tidiomaa.h"

// Windows that join the shell later are picked up as soon as their header is in the tree; until
// then nobody can create them and their pointer in Contexto is always null.
#if __has_include("TFormPrincipal.h")
#include "TFormPrincipal.h"
#define TZR_HAS_PRINCIPAL 1
#endif
#if __has_include("TF_Test.h")
#include "TF_Test.h"
#define TZR_HAS_TEST 1
#endif
#if __has_include("TF_Solicita_Contra.h")
#include "TF_Solicita_Contra.h"
#define TZR_HAS_SOLICITA_CONTRA 1
#endif
#if __has_include("TF_Parametros.h")
#include "TF_Parametros.h"
#define TZR_HAS_PARAMETROS 1
#endif
#if __has_include("TF_Mensaje_Parametros.h")
#include "TF_Mensaje_Parametros.h"
#define TZR_HAS_MENSAJE_PARAMETROS 1
#endif
#if __has_include("TfrmDebug.h")
#include "TfrmDebug.h"
#define TZR_HAS_DEBUG 1
#endif

WindowSet WindowSet::of(const Contexto &ctx)
{
    WindowSet w;
#ifdef TZR_HAS_PRINCIPAL
    w.principal = ctx.principal;
#endif
    w.contrasena = ctx.contrasena;
    w.idiomaa = ctx.idiomaa;
#ifdef TZR_HAS_TEST
    w.test = ctx.test;
#endif
    w.progreso = ctx.progreso;
    w.advertencia = ctx.advertencia;
#ifdef TZR_HAS_SOLICITA_CONTRA
    w.solicitaContra = ctx.solicitaContra;
#endif
    w.contraAplicacion = ctx.contraAplicacion;
    w.advertencia3 = ctx.advertencia3;
#ifdef TZR_HAS_PARAMETROS
    w.parametros = ctx.parametros;
#endif
#ifdef TZR_HAS_MENSAJE_PARAMETROS
    w.mensajeParametros = ctx.mensajeParametros;
#endif
    w.showMessage = ctx.showMessage;
#ifdef TZR_HAS_DEBUG
    w.debug = ctx.debug;
#endif
    return w;
}
