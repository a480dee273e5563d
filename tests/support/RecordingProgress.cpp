#include "RecordingProgress.h"
