#pragma once

// The one table of the eight interface kinds: the settings file, the binding, the
// connection dialog and the tests read it; the build reads the same rows to make the
// eight libraries.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kv {

// How a kind's library takes its parameters in Init.
enum class InitForm {
    kBlock,  // handle reference and the InitBlock
    kWord,   // handle reference and word 0 of the InitBlock
    kPlain,  // handle reference alone
};

struct InterfaceKindInfo {
    std::uint8_t kind;
    const char* name;    // also the kind's section in the settings file
    const char* prefix;  // of the entry points: QUSBVX_Send
    const char* file;    // the library file in the program folder
    InitForm initForm;
    std::uint32_t loadFailed;    // the library file failed to load
    std::uint32_t entryMissing;  // the library lacks an entry point
};

constexpr std::uint8_t kInterfaceKindCount = 8;

// The entry points' suffixes (QUSBVX_Send), in the order the binding resolves them.
inline constexpr std::array<const char*, 7> kEntrySuffixes = {
    "Version", "Init", "SetConfig", "GetConfig", "Send", "Done", "Error"};

// The kinds by name, for the places that treat one kind apart from the others.
enum InterfaceKindId : std::uint8_t {
    kKindUsbVx = 0,
    kKindLanQudp = 1,
    kKindCom = 2,
    kKindPci380 = 3,
    kKindPci3380 = 4,
    kKindUsb3380 = 5,
    kKindKv3380 = 6,
    kKindLan = 7,
};

constexpr InitForm InitFormNamed(std::string_view form) {
    return form == "WORD" ? InitForm::kWord : form == "PLAIN" ? InitForm::kPlain : InitForm::kBlock;
}

inline constexpr std::array<InterfaceKindInfo, kInterfaceKindCount> kInterfaceKinds = {{
#define KV_INTERFACE_KIND(kind, name, prefix, form, load, entry) \
    {kind, name, #prefix, #prefix ".DLL", InitFormNamed(#form), load, entry},
#include "transport/InterfaceKinds.def"
#undef KV_INTERFACE_KIND
}};

// The kind's row, nullptr above 7.
constexpr const InterfaceKindInfo* FindInterfaceKind(std::uint8_t kind) {
    return kind < kInterfaceKindCount ? &kInterfaceKinds[kind] : nullptr;
}

// The kind whose name is exactly this text (case-sensitive), if any.
constexpr std::optional<std::uint8_t> InterfaceKindByName(std::string_view name) {
    for (const auto& info : kInterfaceKinds) {
        if (name == info.name) return info.kind;
    }
    return std::nullopt;
}

}  // namespace kv
