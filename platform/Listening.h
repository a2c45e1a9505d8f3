#pragma once

// A listening socket's queue of connections not yet taken. A server library may listen
// with a short queue; connections beyond it are dropped and knocked again only a second
// later, which many clients at once (Prometheus scraping a whole fleet) would feel.

namespace kv::platform {

// Lets up to `backlog` connections wait on the listening socket; false when the system
// refused (always in the Windows build, which has no server that listens).
bool WidenListenQueue(int socket, int backlog);

}  // namespace kv::platform
