#include "platform/HelpViewer.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace kv::platform {
namespace {

using win32::NativePath;

bool IsExecutableFile(const std::string& path) {
    if (path.empty()) return false;
    const DWORD attributes = ::GetFileAttributesW(NativePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// One argument as CommandLineToArgvW (and every C runtime) reads it back: in quotes,
// backslashes doubled where a quote follows them.
std::wstring Quoted(const std::wstring& argument) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            out.append(backslashes * 2 + 1, L'\\');
        else
            out.append(backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

struct Closing {
    DWORD pid;
    int windows;
};

BOOL CALLBACK CloseWindowsOf(HWND window, LPARAM closing) {
    auto* c = reinterpret_cast<Closing*>(closing);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == c->pid && ::PostMessageW(window, WM_CLOSE, 0, 0)) ++c->windows;
    return TRUE;
}

}  // namespace

bool HelpViewer::Running() {
    if (process_ == nullptr) return false;
    if (::WaitForSingleObject(static_cast<HANDLE>(process_), 0) == WAIT_TIMEOUT) return true;
    // Ended on its own (the operator closed it, or it failed).
    Forget();
    return false;
}

bool HelpViewer::Start() {
    if (!IsExecutableFile(program_)) return false;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    // Ample room for the few short command lines the program ever sends.
    if (!::CreatePipe(&read, &write, &inherit, 1 << 16)) return false;
    // Only the viewer's end is inherited; ours must not keep the pipe open in it.
    ::SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
    // A viewer that stopped reading must not block the program: a full pipe fails the
    // write at once instead.
    DWORD mode = PIPE_NOWAIT;
    ::SetNamedPipeHandleState(write, &mode, nullptr, nullptr);
    // The viewer's chatter does not belong in the utility's console.
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = read;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    std::wstring command = Quoted(NativePath(program_)) + L" -collectionFile " +
                           Quoted(NativePath(collection_)) + L" -enableRemoteControl";
    PROCESS_INFORMATION info{};
    // Detached: a viewer that is a console program gets no console window of its own and
    // holds nothing but the pipe as its input, so that its closing the input shows here.
    const BOOL started =
        ::CreateProcessW(NativePath(program_).c_str(), command.data(), nullptr, nullptr, TRUE,
                         DETACHED_PROCESS, nullptr, nullptr, &startup, &info);
    ::CloseHandle(read);
    if (nul != INVALID_HANDLE_VALUE) ::CloseHandle(nul);
    if (!started) {
        ::CloseHandle(write);
        return false;
    }
    ::CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = static_cast<pid_t>(info.dwProcessId);
    input_ = write;
    return true;
}

bool HelpViewer::Send(const std::string& line) {
    if (input_ == nullptr) return false;
    std::size_t sent = 0;
    // A few bytes into an empty pipe; the bound only guards a viewer that stopped
    // reading altogether.
    for (int attempt = 0; sent < line.size() && attempt < 100; ++attempt) {
        DWORD n = 0;
        if (!::WriteFile(static_cast<HANDLE>(input_), line.data() + sent,
                         static_cast<DWORD>(line.size() - sent), &n, nullptr))
            return false;  // the viewer went away: a broken pipe
        sent += n;
        if (n == 0) ::Sleep(10);
    }
    return sent == line.size();
}

void HelpViewer::End() {
    if (process_ == nullptr) return;
    ::CloseHandle(static_cast<HANDLE>(input_));
    input_ = nullptr;
    // Assistant has no remote command to quit; closed like any window, it ends.
    const HANDLE process = static_cast<HANDLE>(process_);
    Closing closing{::GetProcessId(process), 0};
    ::EnumWindows(CloseWindowsOf, reinterpret_cast<LPARAM>(&closing));
    // Without a window to close (not yet shown, or no viewer of ours) it is ended at once.
    if (closing.windows == 0 || ::WaitForSingleObject(process, 3000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process, 1);
        ::WaitForSingleObject(process, 3000);
    }
    Forget();
}

void HelpViewer::Forget() {
    if (input_ != nullptr) ::CloseHandle(static_cast<HANDLE>(input_));
    if (process_ != nullptr) ::CloseHandle(static_cast<HANDLE>(process_));
    input_ = nullptr;
    process_ = nullptr;
    pid_ = -1;
}

std::string FindHelpViewer(const std::string& configured) {
    if (IsExecutableFile(configured)) return configured;
    std::wstring path(32768, L'\0');
    const DWORD n =
        ::GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return {};
    path.resize(n);
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find(L';', start);
        if (end == std::wstring::npos) end = path.size();
        std::wstring dir = path.substr(start, end - start);
        // Only a full path: an empty or relative entry would search the working directory.
        const bool full =
            (dir.size() >= 3 && dir[1] == L':' && (dir[2] == L'\\' || dir[2] == L'/')) ||
            (dir.size() >= 2 && dir[0] == L'\\' && dir[1] == L'\\');
        if (full) {
            if (dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
            const std::string candidate = win32::Narrow(dir + L"assistant.exe");
            if (IsExecutableFile(candidate)) return candidate;
        }
        start = end + 1;
    }
    return {};
}

}  // namespace kv::platform
