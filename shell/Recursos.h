#pragma once

// Registers the shell's pictures (shell.qrc). The shell is a static library, whose resources are
// not registered by themselves; every window that shows one calls this first.
void cargaRecursos();
