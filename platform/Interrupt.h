#pragma once

// Ctrl+C and the other requests to stop a program: on POSIX SIGINT and SIGTERM, on Windows
// the console's Ctrl+C, Ctrl+Break, close, log-off and shut-down events.
// A command-line program (CatchInterrupts): the first asks it to stop at its next step; a
// call into a transport library cannot be cut short, so one that is in flight then is
// waited for, and the program says so at once. A second ends the program at once.
// A program with an event loop (CountInterrupts): every request is only counted, and the
// loop looks at the count.

#include <chrono>
#include <cstddef>
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

// What the first interrupt was.
enum class InterruptSource {
    kNone,
    kCtrlC,      // SIGINT; the console's Ctrl+C
    kTerminate,  // SIGTERM
    kBreak,      // the console's Ctrl+Break
    kClose,      // the console closed, the user logged off, the system shuts down
};
InterruptSource FirstInterruptSource();

// What a second interrupt writes to the standard output before it ends the process (or to
// the error output when the standard output cannot take it): a record of what the program
// has done so far, which it would otherwise print at its end. Each call replaces the text
// whole; any thread may call it, and the interrupt never sees half a text. Empty: nothing.
void SetFinalWords(const std::string& text);

namespace detail {
// For the interrupt handlers: the text last set, safe to read from a signal handler.
struct FinalWordsView {
    const char* data = nullptr;
    std::size_t size = 0;
};
// Stops further SetFinalWords from changing what the view shows, and gives the text.
FinalWordsView TakeFinalWords();
}  // namespace detail

// Waits for the time; false as soon as an interrupt comes (or has come).
bool WaitUnlessInterrupted(std::chrono::milliseconds time);

}  // namespace kv::platform
