#include "platform/Interrupt.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace kv::platform {
namespace {

// Everything the handler touches: fixed buffers and flags, nothing that allocates.
constexpr std::size_t kTextSize = 512;
char g_notice[kTextSize];
std::size_t g_noticeLength = 0;
char g_lastWords[kTextSize];
std::size_t g_lastWordsLength = 0;
int g_exitCode = 130;
volatile std::sig_atomic_t g_count = 0;
volatile std::sig_atomic_t g_waiting = 0;
volatile std::sig_atomic_t g_countOnly = 0;
// Wakes a waiting WaitUnlessInterrupted at once.
int g_wake[2] = {-1, -1};

volatile std::sig_atomic_t g_source = 0;  // InterruptSource of the first

// Writes the text, waiting at most about two seconds for a stream that takes nothing (a
// pipe nobody reads): the process is ending. False when it could not be written whole.
bool Say(int fd, const char* text, std::size_t length) {
    int waits = 0;
    while (length > 0) {
        pollfd ready{fd, POLLOUT, 0};
        if (::poll(&ready, 1, 100) == 0) {
            if (++waits > 20) return false;
            continue;
        }
        const ssize_t n = ::write(fd, text, length);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        text += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

void OnInterrupt(int signal) {
    const int saved = errno;
    g_count = g_count + 1;
    if (g_count == 1)
        g_source = static_cast<int>(signal == SIGTERM ? InterruptSource::kTerminate
                                                      : InterruptSource::kCtrlC);
    if (g_countOnly == 0 && g_count >= 2) {
        // What the program had done so far, as it would have said at its end.
        const detail::FinalWordsView words = detail::TakeFinalWords();
        if (words.size > 0 && !Say(STDOUT_FILENO, words.data, words.size))
            Say(STDERR_FILENO, words.data, words.size);
        Say(STDERR_FILENO, g_lastWords, g_lastWordsLength);
        ::_exit(g_exitCode);
    }
    if (g_wake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(g_wake[1], &byte, 1);
    }
    if (g_countOnly == 0 && g_waiting == 0) Say(STDERR_FILENO, g_notice, g_noticeLength);
    errno = saved;
}

std::size_t CopyLine(char* target, const std::string& text) {
    std::size_t length = std::min(text.size(), kTextSize - 2);
    std::memcpy(target, text.data(), length);
    target[length++] = '\n';
    return length;
}

void Install() {
    if (g_wake[0] < 0 && ::pipe(g_wake) == 0) {
        for (int fd : g_wake) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        for (int fd : g_wake) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    // Restarted calls: a transport library waiting for a reply is not cut short; its own
    // time-out bounds the wait.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

void CatchInterrupts(const std::string& notice, const std::string& lastWords, int exitCode) {
    g_noticeLength = CopyLine(g_notice, notice);
    g_lastWordsLength = CopyLine(g_lastWords, lastWords);
    g_exitCode = exitCode;
    g_countOnly = 0;
    Install();
}

void CountInterrupts() {
    g_countOnly = 1;
    Install();
}

unsigned InterruptCount() {
    return static_cast<unsigned>(g_count);
}

bool Interrupted() {
    return g_count != 0;
}

InterruptSource FirstInterruptSource() {
    return static_cast<InterruptSource>(g_source);
}

bool WaitUnlessInterrupted(std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    g_waiting = 1;
    while (g_count == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (g_wake[0] < 0) {
            ::usleep(static_cast<useconds_t>(std::min<long long>(left.count(), 20) * 1000));
            continue;
        }
        pollfd wake{g_wake[0], POLLIN, 0};
        if (::poll(&wake, 1, static_cast<int>(std::min<long long>(left.count(), 1'000'000))) > 0) {
            char drain[16];
            while (::read(g_wake[0], drain, sizeof drain) > 0) {
            }
        }
    }
    g_waiting = 0;
    return g_count == 0;
}

}  // namespace kv::platform
