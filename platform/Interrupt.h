#pragma once

// Ctrl+C for a command-line program (on POSIX also SIGTERM). The first asks the program
// to stop at its next step; a call into a transport library cannot be cut short, so one
// that is in flight then is waited for, and the program says so at once. A second ends
// the program at once.

#include <chrono>
#include <string>

namespace kv::platform {

// From now on: the first interrupt sets Interrupted() and, unless the program is in
// WaitUnlessInterrupted (which it ends at once), writes `notice` to the error output at
// once; a second one writes `lastWords` there and ends the process with `exitCode`.
// Each text is one line.
void CatchInterrupts(const std::string& notice, const std::string& lastWords, int exitCode);

bool Interrupted();

// Waits for the time; false as soon as an interrupt comes (or has come).
bool WaitUnlessInterrupted(std::chrono::milliseconds time);

}  // namespace kv::platform
