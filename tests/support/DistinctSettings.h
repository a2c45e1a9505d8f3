#pragma once

// A settings record in which every per-kind field holds a value of its own, so that a
// row filled from the wrong kind, or a field stored into the wrong place, shows.

#include "core/Dekl.h"

namespace kv::testing {

ConnectionSettings DistinctSettings();

}  // namespace kv::testing
