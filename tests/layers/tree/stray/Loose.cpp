// In a folder the table does not know.
#include "core/Record.h"
