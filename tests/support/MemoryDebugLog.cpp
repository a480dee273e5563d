#include "MemoryDebugLog.h"
