#include "platform/Interrupt.h"

#include <atomic>
#include <mutex>

namespace kv::platform {
namespace {

// Two texts, one of them published. A writer fills the other and publishes it; an
// interrupt first says it is ending, then reads the published one, and a writer that sees
// the end publishes nothing more, so the text being written out is never touched again.
// Nothing here allocates or locks on the interrupt's side.
struct Slot {
    std::string text;
    std::atomic<const char*> data{nullptr};
    std::atomic<std::size_t> size{0};
};
Slot g_slots[2];
std::atomic<int> g_published{-1};
std::atomic<bool> g_ending{false};
std::mutex g_writers;

}  // namespace

void SetFinalWords(const std::string& text) {
    std::lock_guard lock(g_writers);
    if (g_ending.load()) return;
    const int next = g_published.load() == 0 ? 1 : 0;
    Slot& slot = g_slots[next];
    slot.text = text;
    slot.data.store(slot.text.data());
    slot.size.store(slot.text.size());
    if (g_ending.load()) return;
    g_published.store(next);
}

namespace detail {

FinalWordsView TakeFinalWords() {
    g_ending.store(true);
    const int published = g_published.load();
    if (published < 0) return {};
    const Slot& slot = g_slots[published];
    return {slot.data.load(), slot.size.load()};
}

}  // namespace detail
}  // namespace kv::platform
