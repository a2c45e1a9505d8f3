#pragma once

#include "core/Record.h"
