#pragma once

// The folder of the running executable, with a trailing separator. The settings file,
// the transport libraries and the help pages live there; the working directory plays
// no part.

#include <string>

namespace kv::platform {

std::string ProgramFolder();

// The folder of the executable file itself, as the system names it (each half of the
// platform layer has its own way to ask); ProgramFolder() keeps it.
std::string ExecutableFolder();

// Tests point the program at a folder of their own (fake libraries, a scratch
// settings file). An empty text restores the executable's folder.
void SetProgramFolderForTesting(const std::string& folder);

}  // namespace kv::platform
