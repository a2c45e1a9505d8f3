#pragma once

// What a command-line program gets from the system it runs in: its arguments, and its
// standard streams with every failure seen: a write that does not get through (a full
// disk, a closed stream, a reader that has gone), and the final hand-over and close of
// the output, where a file system may report late. The bytes are UTF-8 throughout.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::platform {

// The program's arguments in UTF-8, the program's name first. Windows hands main() its
// arguments in the ANSI code page, which cannot hold every file name; they are read
// again from the UTF-16 command line there. Elsewhere they are taken as they are.
std::vector<std::string> ProgramArguments(int argc, char** argv);

enum class StdStream { kIn, kOut, kErr };

// Before anything else opens a file: a standard stream the program was started without is
// held on an empty stand-in (so that no file or socket the program opens takes its place)
// and reported as closed by every read and write; a reader that goes away makes a write
// fail instead of ending the program. Windows: the C library's streams are binary (no LF
// to CR LF on the way), and text for a console goes to it in UTF-16, so that it shows
// every letter whatever its code page.
void PrepareStdStreams();

// A terminal that understands the escape sequences of a progress bar and of colours (on
// Windows: a console with its virtual terminal processing switched on here).
bool IsTerminal(StdStream stream);

// Every byte, or the reason why not ("na disku není místo"). The bytes are text, in UTF-8
// with LF line ends. On Windows a console gets it in UTF-16, a file or a pipe in UTF-8
// with CR LF line ends, as Windows' own programs write text.
std::optional<std::string> WriteStd(StdStream stream, std::string_view bytes);

// The standard input whole, at most `limit` bytes; the reason when it cannot be read or
// is longer.
std::optional<std::string> ReadStdIn(std::string& bytes, std::size_t limit);

// The end of the standard output: what the system still holds for a file on disk is
// written out, and the stream is closed. The reason when either fails.
std::optional<std::string> FinishStdOut();

}  // namespace kv::platform
