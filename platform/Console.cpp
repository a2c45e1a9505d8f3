#include "platform/Console.h"

#include <atomic>

namespace kv::platform {
namespace {

// Counted from a signal handler (POSIX) or the console's handler thread (Windows).
std::atomic<unsigned> g_requests{0};
static_assert(std::atomic<unsigned>::is_always_lock_free, "counted in a signal handler");

}  // namespace

unsigned StopRequests() {
    return g_requests.load();
}

void RequestStop() {
    g_requests.fetch_add(1);
}

}  // namespace kv::platform
