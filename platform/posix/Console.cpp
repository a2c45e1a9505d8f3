#include "platform/Console.h"

#include <signal.h>
#include <unistd.h>

namespace kv::platform {
namespace {

void OnSignal(int) {
    RequestStop();
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {
    // A reader that goes away (diag --json | head -1) makes the next write fail; the
    // program then ends its command as on Ctrl+C, with its connection closed.
    ::signal(SIGPIPE, SIG_IGN);
}

bool OutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

void CatchStopRequests(bool secondEndsProgram) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    // Restarted calls: a transport library waiting for a reply is not cut short, its own
    // time-out bounds the wait. With the handler reset after the first signal, the
    // second one takes the default action.
    action.sa_flags = SA_RESTART | (secondEndsProgram ? SA_RESETHAND : 0);
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace kv::platform
