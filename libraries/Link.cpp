#include "libraries/Link.h"

#include "libraries/KvWire.h"

namespace kv::lib {

void Link::Drain() {
    // Bounded: a peer flooding us must not keep a request from ever going out.
    for (int i = 0; i < 1024; ++i)
        if (!ReadOne()) return;
}

std::uint32_t Link::Configure(std::uint32_t) {
    return wire::kOk;
}

}  // namespace kv::lib
