#include "platform/ProcessFigures.h"

namespace kv::platform {

// The Windows build serves no figures (kv3380u's exporter is not in it).
std::optional<ProcessFigures> ReadProcessFigures() {
    return std::nullopt;
}

}  // namespace kv::platform
