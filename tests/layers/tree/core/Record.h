#pragma once

#include "platform/Ground.h"
