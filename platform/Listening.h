#pragma once

// A TCP socket that listens, opened for a server: bound to one IPv4 address and port on
// this computer, exclusively (no other program may share the port, so a second server
// started on it learns at once that the port is taken), with a queue long enough for
// many clients at once (Prometheus scraping a whole fleet).

#include <string>

namespace kv::platform {

struct ListeningSocket {
    int socket = -1;  // -1: none, and `error` says why
    int port = 0;     // the port bound (the one the system chose for port 0)
    std::string error;
};

// Opens, binds and listens. The reasons are the user's words: a taken port, an address
// that is not this computer's, a port that needs privileges (the Windows build has no
// server that listens and always says so).
ListeningSocket OpenListeningSocket(const std::string& address, int port, int backlog);
// Closes a socket OpenListeningSocket opened (nothing for -1).
void CloseListeningSocket(int socket);

}  // namespace kv::platform
