// A header that is nowhere.
#include "core/Missing.h"
#include "forms/Window.h"
