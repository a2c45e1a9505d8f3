#pragma once

// The standard streams of a command-line program, with every failure seen: a write that
// does not get through (a full disk, a closed stream, a reader that has gone), and the
// final hand-over and close of the output, where a file system may report late.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kv::platform {

enum class StdStream { kIn, kOut, kErr };

// Before anything else opens a file: a standard stream the program was started without is
// held on an empty stand-in (so that no file or socket the program opens takes its place)
// and reported as closed by every read and write; a reader that goes away makes a write
// fail instead of ending the program.
void PrepareStdStreams();

bool IsTerminal(StdStream stream);

// Every byte, or the reason why not ("na disku není místo").
std::optional<std::string> WriteStd(StdStream stream, std::string_view bytes);

// The standard input whole, at most `limit` bytes; the reason when it cannot be read or
// is longer.
std::optional<std::string> ReadStdIn(std::string& bytes, std::size_t limit);

// The end of the standard output: what the system still holds for a file on disk is
// written out, and the stream is closed. The reason when either fails.
std::optional<std::string> FinishStdOut();

}  // namespace kv::platform
