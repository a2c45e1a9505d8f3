#include "platform/StdStreams.h"

// windows.h first: the other Windows headers build on its types.
// clang-format off
#include <windows.h>
// clang-format on
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>

#include "platform/FileAccess.h"
#include "platform/SystemWords.h"
#include "platform/win32/Wide.h"

namespace kv::platform {
namespace {

bool g_closed[3] = {false, false, false};

int Index(StdStream stream) {
    switch (stream) {
        case StdStream::kIn:
            return 0;
        case StdStream::kOut:
            return 1;
        case StdStream::kErr:
            break;
    }
    return 2;
}

HANDLE HandleOf(StdStream stream) {
    switch (stream) {
        case StdStream::kIn:
            return ::GetStdHandle(STD_INPUT_HANDLE);
        case StdStream::kOut:
            return ::GetStdHandle(STD_OUTPUT_HANDLE);
        case StdStream::kErr:
            break;
    }
    return ::GetStdHandle(STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return ::GetConsoleMode(handle, &mode) != 0;
}

std::string ErrorText(DWORD error) {
    return error == ERROR_INVALID_HANDLE ? words::kStreamClosed
                                         : SystemErrorText(static_cast<int>(error));
}

// A console takes UTF-16, so that it shows every letter whatever its code page.
std::optional<std::string> ToConsole(HANDLE console, std::string_view bytes) {
    std::wstring text = win32::Widen(std::string(bytes));
    std::wstring_view left = text;
    while (!left.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left.size(), 8192));
        DWORD written = 0;
        if (!::WriteConsoleW(console, left.data(), chunk, &written, nullptr))
            return ErrorText(::GetLastError());
        if (written == 0) return SystemErrorText(ERROR_WRITE_FAULT);
        left.remove_prefix(written);
    }
    return std::nullopt;
}

// Text for a file or a pipe ends its lines with CR LF, as Windows' own programs and
// editors expect: every LF that has no CR before it gets one.
std::string WithCrLf(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 32);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) text += '\r';
        text += bytes[i];
    }
    return text;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr || count != argc) {
        // Not the command line main() was given (it should always be): the ANSI words.
        if (wide != nullptr) ::LocalFree(wide);
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(win32::Narrow(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

void PrepareStdStreams() {
    for (StdStream stream : {StdStream::kIn, StdStream::kOut, StdStream::kErr}) {
        const HANDLE handle = HandleOf(stream);
        g_closed[Index(stream)] = handle == nullptr || handle == INVALID_HANDLE_VALUE;
    }
    // Whatever still goes through the C library keeps its bytes: no LF to CR LF.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool IsTerminal(StdStream stream) {
    if (g_closed[Index(stream)]) return false;
    const HANDLE handle = HandleOf(stream);
    DWORD mode = 0;
    if (!::GetConsoleMode(handle, &mode)) return false;
    if (stream == StdStream::kIn) return true;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
    // Consoles before Windows 10 know no escape sequences: plain output there.
    return ::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::optional<std::string> WriteStd(StdStream stream, std::string_view bytes) {
    if (g_closed[Index(stream)]) return words::kStreamClosed;
    const HANDLE handle = HandleOf(stream);
    if (IsConsole(handle)) return ToConsole(handle, bytes);
    const std::string text = WithCrLf(bytes);
    bytes = text;
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data(), chunk, &written, nullptr))
            return ErrorText(::GetLastError());
        if (written == 0) return SystemErrorText(ERROR_WRITE_FAULT);
        bytes.remove_prefix(written);
    }
    return std::nullopt;
}

std::optional<std::string> ReadStdIn(std::string& bytes, std::size_t limit) {
    bytes.clear();
    if (g_closed[0]) return words::kStreamClosed;
    const HANDLE handle = HandleOf(StdStream::kIn);
    char buffer[8192];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(handle, buffer, sizeof buffer, &n, nullptr)) {
            const DWORD error = ::GetLastError();
            // The writer of a pipe has closed its end: the end of the input.
            if (error == ERROR_BROKEN_PIPE) return std::nullopt;
            return ErrorText(error);
        }
        if (n == 0) return std::nullopt;
        bytes.append(buffer, n);
        if (bytes.size() > limit) return words::InputTooLong(limit);
    }
}

std::optional<std::string> FinishStdOut() {
    if (g_closed[1]) return std::nullopt;
    g_closed[1] = true;
    const HANDLE handle = HandleOf(StdStream::kOut);
    if (::GetFileType(handle) == FILE_TYPE_DISK && !::FlushFileBuffers(handle)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(handle);
        return SystemErrorText(static_cast<int>(error));
    }
    if (!::CloseHandle(handle)) return ErrorText(::GetLastError());
    return std::nullopt;
}

}  // namespace kv::platform
