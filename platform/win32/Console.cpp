#include "platform/Console.h"

// windows.h first: the other Windows headers build on its types.
// clang-format off
#include <windows.h>
// clang-format on
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/win32/Wide.h"

namespace kv::platform {
namespace {

std::atomic<bool> g_secondEndsProgram{false};
UINT g_outputCodePage = 0;
UINT g_inputCodePage = 0;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    RequestStop();
    const unsigned count = StopRequests();
    // FALSE hands the event on to the default handler, which ends the program.
    if (g_secondEndsProgram.load() && count > 1) return FALSE;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the program as soon as this handler returns (and after five
        // seconds at the latest); meanwhile the program closes its connection and ends
        // by itself, which ends this thread too.
        for (int i = 0; i < 80; ++i) ::Sleep(50);
    }
    return TRUE;
}

void RestoreCodePages() {
    if (g_outputCodePage != 0) ::SetConsoleOutputCP(g_outputCodePage);
    if (g_inputCodePage != 0) ::SetConsoleCP(g_inputCodePage);
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
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

void PrepareConsole() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    DWORD mode = 0;
    const bool console = ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) ||
                         ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode);
    if (console && g_outputCodePage == 0) {
        g_outputCodePage = ::GetConsoleOutputCP();
        g_inputCodePage = ::GetConsoleCP();
        ::SetConsoleOutputCP(CP_UTF8);
        ::SetConsoleCP(CP_UTF8);
        std::atexit(RestoreCodePages);
    }
}

bool OutputIsTerminal() {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == nullptr || out == INVALID_HANDLE_VALUE || !::GetConsoleMode(out, &mode))
        return false;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
    // Consoles before Windows 10 know no escape sequences: plain output there.
    return ::SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void CatchStopRequests(bool secondEndsProgram) {
    g_secondEndsProgram.store(secondEndsProgram);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace kv::platform
