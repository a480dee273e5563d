#include "FicheroActual.h"
