#pragma once

#include <functional>

class Contexto;
class QString;

// A typed password against the stored PWD: both upper-cased folding only a to z, then compared
// exactly, so the check is blind to the case of those 26 letters alone.
bool passwordsMatch(const QString &typed, const QString &stored);

// Shows the application password prompt modally; true when the right password was entered during
// this showing. confirmado is left false.
bool Pide_Contra_Aplicacion(Contexto &ctx);

// The lock button: locks when unlocked, else unlocks once the prompt is answered right.
// conecta_APLICACION applies the locked or unlocked state to the main window.
void ToolPWD_APPClick(Contexto &ctx, const std::function<void(bool)> &conecta_APLICACION);

// Shows the password change form modally.
void Contrasea1Click(Contexto &ctx);
