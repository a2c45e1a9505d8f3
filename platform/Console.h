#pragma once

// What a program gets from the system it runs in: its arguments, its standard streams
// and the requests to stop it (Ctrl+C and SIGTERM; on Windows the console's Ctrl+C,
// Ctrl+Break, close, log-off and shut-down events).

#include <string>
#include <vector>

namespace kv::platform {

// The program's arguments in UTF-8. Windows hands main() its arguments in the ANSI code
// page, which cannot hold every file name; they are read again from the UTF-16 command
// line there. Elsewhere they are taken as they are.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Sets the standard streams up for a console program that writes UTF-8 bytes. POSIX: a
// write to a reader that went away fails instead of ending the program (SIGPIPE
// ignored). Windows: the streams are binary (no LF to CR LF on the way, so a backup
// written to the standard output has the bytes of a backup file) and a console shows
// UTF-8; its earlier code page comes back when the program ends.
void PrepareConsole();

// True when the standard output is a terminal that understands the escape sequences of
// a progress bar and of colours (on Windows: a console with its virtual terminal
// processing switched on here).
bool OutputIsTerminal();

// Counts the requests to stop from now on; the program looks at StopRequests() at its
// next step. With secondEndsProgram a second request ends the program at once, the
// system's way (the default action of the signal, the default console handler).
void CatchStopRequests(bool secondEndsProgram);
// How many requests arrived so far, RequestStop() included.
unsigned StopRequests();
// A request from within the program (its output failed).
void RequestStop();

}  // namespace kv::platform
