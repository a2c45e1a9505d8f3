// Runs upwards from a half of the platform layer: the Win32 half includes the core.
#include "core/Record.h"
