#pragma once

// Why a kind's library was last refused: the full path and the reason (the system's, or
// the entry point it lacks). The binding's texts name only the file ("chyba inicializace
// knihovny QLAN.DLL"), as the windows show them in their status; the reason is for the
// error output of kv3380u and the status's tip in the connection dialog.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/DynamicLibrary.h"

namespace kv {

struct LoadFailure {
    std::string path;
    std::string reason;        // "soubor je prázdný; systém hlásí: ..."
    std::string missingEntry;  // the entry point the loaded library lacks ("QLAN_GetConfig")
};

// What the binding noted at its last load of the kind's library: a failure replaces the
// one before, a library loaded with all its entry points forgets it.
void NoteLoadFailure(std::uint8_t kind, LoadFailure failure);
void NoteLoaded(std::uint8_t kind);
std::optional<LoadFailure> LastLoadFailure(std::uint8_t kind);

// The failure of a library that did not load at `path`.
LoadFailure NotLoaded(const std::string& path, const platform::DynamicLibrary& library);
// The failure of a library that loaded but lacks an entry point of the kind.
LoadFailure EntryMissing(std::uint8_t kind, const std::string& path,
                         const platform::DynamicLibrary& library);

// "knihovnu C:\...\QLAN.DLL nelze načíst: soubor je prázdný; systém hlásí: ...", or
// "v knihovně C:\...\QLAN.DLL chybí funkce QLAN_GetConfig"; nothing when the kind's
// last load did not fail.
std::optional<std::string> DescribeLoadFailure(std::uint8_t kind);

}  // namespace kv
