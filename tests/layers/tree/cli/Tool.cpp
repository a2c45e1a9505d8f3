// Sideways: the command line is no window.
#include "forms/Window.h"
