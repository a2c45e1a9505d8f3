#include "transport/LoadFailure.h"

#include <array>
#include <mutex>

#include "transport/InterfaceKinds.h"

namespace kv {
namespace {

// Loads happen on whichever thread connects (a window's worker, kv3380u's modules).
std::mutex g_mutex;
std::array<std::optional<LoadFailure>, kInterfaceKindCount> g_failures;

}  // namespace

void NoteLoadFailure(std::uint8_t kind, LoadFailure failure) {
    if (kind >= kInterfaceKindCount) return;
    std::lock_guard lock(g_mutex);
    g_failures[kind] = std::move(failure);
}

void NoteLoaded(std::uint8_t kind) {
    if (kind >= kInterfaceKindCount) return;
    std::lock_guard lock(g_mutex);
    g_failures[kind].reset();
}

std::optional<LoadFailure> LastLoadFailure(std::uint8_t kind) {
    if (kind >= kInterfaceKindCount) return std::nullopt;
    std::lock_guard lock(g_mutex);
    return g_failures[kind];
}

LoadFailure NotLoaded(const std::string& path, const platform::DynamicLibrary& library) {
    return LoadFailure{path, library.LastError(), {}};
}

LoadFailure EntryMissing(std::uint8_t kind, const std::string& path,
                         const platform::DynamicLibrary& library) {
    LoadFailure failure{path, {}, {}};
    if (kind >= kInterfaceKindCount) return failure;
    // In the order the binding resolves them: the first one missing is the one named.
    for (const char* suffix : kEntrySuffixes) {
        const std::string name = std::string(kInterfaceKinds[kind].prefix) + "_" + suffix;
        if (library.Symbol(name.c_str()) == nullptr) {
            failure.missingEntry = name;
            break;
        }
    }
    return failure;
}

std::optional<std::string> DescribeLoadFailure(std::uint8_t kind) {
    const std::optional<LoadFailure> failure = LastLoadFailure(kind);
    if (!failure) return std::nullopt;
    if (!failure->missingEntry.empty())
        return "v knihovně " + failure->path + " chybí funkce " + failure->missingEntry;
    return "knihovnu " + failure->path + " nelze načíst: " + failure->reason;
}

}  // namespace kv
