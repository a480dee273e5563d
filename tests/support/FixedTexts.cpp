#include "FixedTexts.h"
