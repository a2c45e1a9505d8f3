#include "platform/Listening.h"

namespace kv::platform {

// The Windows build has no server that listens (kv3380u's exporter is not in it).
bool WidenListenQueue(int, int) {
    return false;
}

}  // namespace kv::platform
