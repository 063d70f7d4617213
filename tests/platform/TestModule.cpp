// Loaded by the dynamic-loading tests.
#include "platform/Export.h"

VELDAN_C_API int VeldanTestModuleAnswer(int x) { return x * 2 + 1; }
