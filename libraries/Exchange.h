#pragma once

// One request and its reply over a link: the part of Send that every kind shares.

#include <chrono>
#include <cstdint>

#include "libraries/KvWire.h"
#include "libraries/Link.h"

namespace kv::lib {

// How long to wait before the same datagram goes out again. Several tries fit into one
// time-out, so a single lost datagram costs a fraction of it, not the whole.
std::chrono::milliseconds RetryInterval(std::chrono::milliseconds timeout);

// Lets the link forget stale input, sends the request, resends it (same sequence number)
// while no reply comes, and accepts only a well-formed reply carrying the request's
// sequence number; anything else read meanwhile is dropped.
// Returns kOk with the reply filled, kTimeout when nothing acceptable came within the
// time-out, or kSendFailed when the request could not be sent at all.
std::uint32_t Exchange(Link& link, const wire::Request& request, std::chrono::milliseconds timeout,
                       wire::Reply& reply);

}  // namespace kv::lib
