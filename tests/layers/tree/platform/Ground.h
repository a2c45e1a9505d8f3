#pragma once

// Runs upwards: the ground includes the core.
#include "core/Record.h"
