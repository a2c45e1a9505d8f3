#pragma once

// Ctrl+C and the other requests to stop a program: on POSIX SIGINT and SIGTERM, on Windows
// the console's Ctrl+C, Ctrl+Break, close, log-off and shut-down events.
// A command-line program (CatchInterrupts): the first asks it to stop at its next step; a
// call into a transport library cannot be cut short, so one that is in flight then is
// waited for, and the program says so at once. A second ends the program at once.
// A program with an event loop (CountInterrupts): every request is only counted, and the
// loop looks at the count.

#include <chrono>
#include <string>

namespace kv::platform {

// From now on: the first interrupt sets Interrupted() and, unless the program is in
// WaitUnlessInterrupted (which it ends at once), writes `notice` to the error output at
// once; a second one writes `lastWords` there and ends the process with `exitCode`.
// Each text is one line. (Windows: the console's closing, log-off or shut-down also sets
// Interrupted(), and gives the program up to four seconds to end by itself, after which
// Windows ends it.)
void CatchInterrupts(const std::string& notice, const std::string& lastWords, int exitCode);

// From now on every interrupt is counted and nothing else: no text, no end.
void CountInterrupts();

// How many interrupts have come so far.
unsigned InterruptCount();
bool Interrupted();

// Waits for the time; false as soon as an interrupt comes (or has come).
bool WaitUnlessInterrupted(std::chrono::milliseconds time);

}  // namespace kv::platform
