#pragma once

// The restart of the module: one request, after which the module starts afresh with
// its stored settings. The connection record stays as it is, also over the plain LAN
// link, whose text asks the operator to initialise the connection again.

#include <cstdint>
#include <string>
#include <vector>

#include "core/Dekl.h"
#include "core/ModuleLink.h"
#include "core/StatusSink.h"

namespace kv {

inline constexpr const char* kRestartProgressText = "Probíhá restart zařízení ...";

// The text after a restart over the given interface kind.
std::string RestartedText(std::uint8_t kind);

struct RestartOutcome {
    bool sent = false;               // the request went to the module
    std::vector<std::string> texts;  // every status text, in the order shown
};

// Shows the progress text, sends the restart request, then shows the restarted text
// whatever the request returned: a module that restarts may well not answer. Without a
// usable link only the text saying so, and nothing is sent.
RestartOutcome RestartModule(const ModuleLink& link, const StatusSink& status);

}  // namespace kv
