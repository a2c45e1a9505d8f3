#pragma once

// Environment variables for tests, on Linux and on Windows, where the system calls of
// the program read the process environment in UTF-16; a scope puts the old value back.

#ifdef _WIN32
#include <stdlib.h>
#endif

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/support/ScratchFolder.h"

namespace kv::testing {

inline std::optional<std::string> GetEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

// nullopt removes the variable.
inline void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    // An empty value removes a variable on Windows.
    ::_wputenv_s(PathOf(name).wstring().c_str(), value ? PathOf(*value).wstring().c_str() : L"");
#else
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
#endif
}

class ScopedEnvironment {
  public:
    ScopedEnvironment(std::string name, const std::optional<std::string>& value)
        : name_(std::move(name)), saved_(GetEnvironment(name_)) {
        SetEnvironment(name_, value);
    }
    ~ScopedEnvironment() { SetEnvironment(name_, saved_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::string name_;
    std::optional<std::string> saved_;
};

}  // namespace kv::testing
