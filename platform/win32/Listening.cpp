#include "platform/Listening.h"

namespace kv::platform {

// The Windows build has no server that listens (kv3380u's exporter is not in it).
ListeningSocket OpenListeningSocket(const std::string&, int, int) {
    ListeningSocket result;
    result.error = "tato verze programu nenaslouchá";
    return result;
}

void CloseListeningSocket(int) {}

}  // namespace kv::platform
