#include "platform/Interrupt.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "platform/StdStreams.h"

namespace kv::platform {
namespace {

// Set before the handler is installed and only read by it: the handler runs on a thread
// of its own, which Windows starts for each console event.
std::string g_notice;
std::string g_lastWords;
UINT g_exitCode = 130;
std::atomic<bool> g_countOnly{false};
std::atomic<unsigned> g_count{0};
std::atomic<bool> g_waiting{false};
// Set by the first interrupt: wakes a waiting WaitUnlessInterrupted at once.
HANDLE g_wake = nullptr;

bool Closing(DWORD event) {
    return event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

std::atomic<int> g_source{0};  // InterruptSource of the first

InterruptSource SourceOf(DWORD event) {
    if (Closing(event)) return InterruptSource::kClose;
    return event == CTRL_BREAK_EVENT ? InterruptSource::kBreak : InterruptSource::kCtrlC;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    const unsigned count = g_count.fetch_add(1) + 1;
    if (count == 1) g_source.store(static_cast<int>(SourceOf(event)));
    if (g_wake != nullptr) ::SetEvent(g_wake);
    if (!g_countOnly.load() && !Closing(event)) {
        if (count >= 2) {
            // What the program had done so far, as it would have said at its end.
            const detail::FinalWordsView words = detail::TakeFinalWords();
            if (words.size > 0) {
                const std::string text(words.data, words.size);
                if (WriteStd(StdStream::kOut, text)) WriteStd(StdStream::kErr, text);
            }
            WriteStd(StdStream::kErr, g_lastWords);
            // At once, as _exit: the main thread may be inside a library call.
            ::TerminateProcess(::GetCurrentProcess(), g_exitCode);
        }
        if (!g_waiting.load()) WriteStd(StdStream::kErr, g_notice);
    }
    if (Closing(event)) {
        // Windows ends the program as soon as this handler returns (and after five
        // seconds at the latest); meanwhile the program closes its connection and ends
        // by itself, which ends this thread too.
        for (int i = 0; i < 80; ++i) ::Sleep(50);
    }
    return TRUE;
}

void Install() {
    if (g_wake == nullptr) g_wake = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Ctrl+C as the console sends it, even where the program was started with it ignored.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace

void CatchInterrupts(const std::string& notice, const std::string& lastWords, int exitCode) {
    g_notice = notice + "\n";
    g_lastWords = lastWords + "\n";
    g_exitCode = static_cast<UINT>(exitCode);
    g_countOnly.store(false);
    Install();
}

void CountInterrupts() {
    g_countOnly.store(true);
    Install();
}

unsigned InterruptCount() {
    return g_count.load();
}

bool Interrupted() {
    return g_count.load() != 0;
}

InterruptSource FirstInterruptSource() {
    return static_cast<InterruptSource>(g_source.load());
}

bool WaitUnlessInterrupted(std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    g_waiting.store(true);
    while (g_count.load() == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        const DWORD slice = static_cast<DWORD>(std::min<long long>(left.count(), 1'000'000));
        if (g_wake != nullptr) {
            ::WaitForSingleObject(g_wake, slice);
        } else {
            ::Sleep(std::min<DWORD>(slice, 20));
        }
    }
    g_waiting.store(false);
    return g_count.load() == 0;
}

}  // namespace kv::platform
