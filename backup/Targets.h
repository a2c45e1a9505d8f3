#pragma once

// The modules of a clone, each named by a target: what tells one from another, whichever
// way its target was written, and the name of its backup file.

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "connection/Pripojeni.h"

namespace kv {

// What tells one module from another ("0xDD35" and "56565" are one port).
std::string TargetKey(const ConnectionRequest& input);
// The first module named twice: the positions of its second naming and of its first.
std::optional<std::pair<std::size_t, std::size_t>> RepeatedTarget(
    const std::vector<ConnectionRequest>& inputs);
// A file name for a target's backup: "127.0.0.2_56565.ini", "E2E00001.ini", "COM3.ini".
std::string BackupFileName(const ConnectionRequest& input);

}  // namespace kv
