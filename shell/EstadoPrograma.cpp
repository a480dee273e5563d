#include "EstadoPrograma.h"
