#include "platform/HelpViewer.h"

// windows.h first: shellapi.h and objbase.h build on its types.
// clang-format off
#include <windows.h>
// clang-format on
#include <objbase.h>
#include <shellapi.h>

#include "platform/win32/Wide.h"

namespace kv::platform {
namespace {

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

std::wstring Variable(const wchar_t* name) {
    std::wstring value(32768, L'\0');
    const DWORD n = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    value.resize(n > 0 && n < value.size() ? n : 0);
    return value;
}

bool StartDetached(const std::wstring& program, const std::wstring& address) {
    std::wstring command = Quoted(program) + L" " + Quoted(address);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS, nullptr, nullptr, &startup, &info))
        return false;
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return true;
}

}  // namespace

// There is no Qt Assistant on Windows: every help command opens its page in the browser,
// which the operator closes and switches to like any other window of the desktop.
HelpOutcome HelpViewer::Show(const std::string& page, const std::string& startPage) {
    return OpenInBrowser(page.empty() ? startPage : page) ? HelpOutcome::kStarted
                                                          : HelpOutcome::kNoViewer;
}

bool HelpViewer::Running() {
    return false;
}

void HelpViewer::End() {}

std::string FindHelpViewer(const std::string&) {
    return {};
}

bool OpenInBrowser(const std::string& address) {
    const std::wstring wide = win32::Widen(address);
    const std::wstring standIn = Variable(win32::Widen(kBrowserVariable).c_str());
    if (!standIn.empty()) return StartDetached(standIn, wide);
    // The shell may hand the address to an extension that wants COM on this thread; Qt's
    // windows have it there already (then this only counts up and down again).
    const HRESULT com =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const auto opened = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (SUCCEEDED(com)) ::CoUninitialize();
    // Values up to 32 are errors.
    return opened > 32;
}

}  // namespace kv::platform
