#pragma once

// UTF-8 inside the program, UTF-16 at the Windows calls: the conversions of the Win32
// half of the platform layer.

#include <string>

namespace kv::platform::win32 {

// Invalid UTF-8 becomes U+FFFD, so a bad name fails at the call that uses it.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
// A path for the Windows calls: '/' read as '\\', which some calls (LoadLibraryExW)
// insist on.
std::wstring NativePath(const std::string& utf8);
// A Windows error code as the system words it (empty where it has no words for it).
std::string SystemMessage(unsigned long code);
// The code and its words, for diagnostics ("error 193: ...").
std::string ErrorMessage(unsigned long code);

}  // namespace kv::platform::win32
