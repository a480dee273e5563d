#include "MemoryTable.h"
