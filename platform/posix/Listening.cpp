#include "platform/Listening.h"

#include <sys/socket.h>

namespace kv::platform {

bool WidenListenQueue(int socket, int backlog) {
    // On a socket that listens already, listen() only sets the queue's length anew.
    return socket >= 0 && ::listen(socket, backlog) == 0;
}

}  // namespace kv::platform
