// The scriptable transport library. One instance serves every prefix: a test opens the
// same file as the program, so both talk to the state below.

#include "tests/fakes/FakeTransport.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "transport/kvtransport.h"

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

enum Entry { kVersion, kInit, kSetConfig, kGetConfig, kSend, kDone, kError, kEntryCount };
constexpr const char* kEntryNames[kEntryCount] = {"Version", "Init", "SetConfig", "GetConfig",
                                                  "Send",    "Done", "Error"};

// A test that polls for a long time must not grow the process without bound; beyond
// these limits calls are still counted and answered, only no longer recorded.
constexpr std::size_t kMaxFrames = 20000;
constexpr std::size_t kMaxLogBytes = 8u << 20;

// Numbers this small are never the address of a text; a test that puts a number into a
// text word therefore does not make the fake read through it.
constexpr std::uintptr_t kLowestPointer = 4096;

struct SendOutcome {
    uint32_t result = 0;
    uint32_t errorWord = 0;
    uint32_t replyValue = 0;
    bool writesData = true;
    std::array<uint32_t, KVT_DATA_WORDS> data{};
};

struct State {
    uint32_t initCode = 0;
    uint32_t initHandle = 0x1234;
    uint32_t configCode = 0;
    uint32_t doneCode = 0;
    uint32_t doneHandle = 0;
    std::deque<SendOutcome> sends;
    std::array<uint32_t, kEntryCount> counts{};
    std::string log;
    std::vector<std::array<uint32_t, KVT_FRAME_WORDS>> frames;
    std::array<uint32_t, KVT_INIT_BLOCK_WORDS> initWords{};
    std::array<std::string, KVT_INIT_BLOCK_WORDS> initTexts;
    uint32_t initWord = 0;
    uint32_t baud = 0;
    uint32_t replyTimeout = 0;
    uint32_t mode = 0;
};

std::mutex g_mutex;
State g_state;
// FakeT_HoldSends; apart from State so that a reset both lets go and wakes the waiters.
bool g_holding = false;
std::condition_variable g_released;

void Record(Entry entry, const char* prefix, const std::string& args) {
    ++g_state.counts[entry];
    if (g_state.log.size() >= kMaxLogBytes) return;
    g_state.log += prefix;
    g_state.log += '_';
    g_state.log += kEntryNames[entry];
    g_state.log += args;
    g_state.log += '\n';
}

std::string Args(std::initializer_list<uint32_t> values) {
    std::string out;
    for (uint32_t v : values) {
        out += ' ';
        out += std::to_string(v);
    }
    return out;
}

// Which words of a kind's block carry a text: the serial number of kind 0, the target
// address of kind 1, the IP address of kinds 6 and 7.
bool IsTextWord(int kind, int word) {
    switch (kind) {
        case 0:
            return word == 1;
        case 1:
        case 6:
        case 7:
            return word == 0;
        default:
            return false;
    }
}

uint32_t DoVersion(const char* prefix) {
    std::lock_guard lock(g_mutex);
    Record(kVersion, prefix, "");
    return 0x0103;
}

uint32_t FinishInit(uint32_t* handle) {
    if (handle != nullptr) *handle = g_state.initHandle;
    return g_state.initCode;
}

uint32_t DoInitBlock(const char* prefix, int kind, uint32_t* handle, const uintptr_t* block) {
    std::lock_guard lock(g_mutex);
    Record(kInit, prefix, "");
    g_state.initWords.fill(0);
    for (auto& t : g_state.initTexts) t.clear();
    if (block != nullptr) {
        for (int i = 0; i < KVT_INIT_BLOCK_WORDS; ++i) {
            g_state.initWords[i] = static_cast<uint32_t>(block[i]);
            if (IsTextWord(kind, i) && block[i] >= kLowestPointer) {
                const char* text = reinterpret_cast<const char*>(block[i]);
                g_state.initTexts[i].assign(text, strnlen(text, 255));
            }
        }
    }
    return FinishInit(handle);
}

uint32_t DoInitWord(const char* prefix, uint32_t* handle, uint32_t word0) {
    std::lock_guard lock(g_mutex);
    Record(kInit, prefix, Args({word0}));
    g_state.initWord = word0;
    return FinishInit(handle);
}

uint32_t DoInitPlain(const char* prefix, uint32_t* handle) {
    std::lock_guard lock(g_mutex);
    Record(kInit, prefix, "");
    return FinishInit(handle);
}

uint32_t DoSetConfig(const char* prefix, uint32_t handle, uint32_t baud, uint32_t timeout,
                     uint32_t mode) {
    std::lock_guard lock(g_mutex);
    Record(kSetConfig, prefix, Args({handle, baud, timeout, mode}));
    g_state.baud = baud;
    g_state.replyTimeout = timeout;
    g_state.mode = mode;
    return g_state.configCode;
}

[[maybe_unused]] uint32_t DoGetConfig(const char* prefix, uint32_t handle, uint32_t* baud,
                                      uint32_t* timeout, uint32_t* mode) {
    std::lock_guard lock(g_mutex);
    Record(kGetConfig, prefix, Args({handle}));
    if (baud != nullptr) *baud = g_state.baud;
    if (timeout != nullptr) *timeout = g_state.replyTimeout;
    if (mode != nullptr) *mode = g_state.mode;
    return 0;
}

uint32_t DoSend(const char* prefix, uint32_t handle, const uint32_t* frame, uint32_t* data,
                uint32_t* replyValue, uint32_t* errorWord) {
    std::unique_lock lock(g_mutex);
    std::array<uint32_t, KVT_FRAME_WORDS> copy{};
    if (frame != nullptr) std::copy(frame, frame + KVT_FRAME_WORDS, copy.begin());
    Record(kSend, prefix, Args({handle, copy[0], copy[1], copy[2], copy[3]}));
    if (g_state.frames.size() < kMaxFrames) g_state.frames.push_back(copy);
    g_released.wait_for(lock, std::chrono::seconds(30), [] { return !g_holding; });

    SendOutcome outcome;
    if (!g_state.sends.empty()) {
        outcome = g_state.sends.front();
        g_state.sends.pop_front();
    }
    if (data != nullptr && outcome.writesData) {
        std::copy(outcome.data.begin(), outcome.data.end(), data);
    }
    if (replyValue != nullptr) *replyValue = outcome.replyValue;
    if (errorWord != nullptr) *errorWord = outcome.errorWord;
    return outcome.result;
}

uint32_t DoDone(const char* prefix, uint32_t* handle) {
    std::lock_guard lock(g_mutex);
    Record(kDone, prefix, Args({handle != nullptr ? *handle : 0u}));
    if (handle != nullptr) *handle = g_state.doneHandle;
    return g_state.doneCode;
}

// Same layout as a real library's text: word 0 zero, the characters from word 1 on,
// every word after them zero.
uint32_t DoError(const char* prefix, uint32_t code, uint32_t* text) {
    std::lock_guard lock(g_mutex);
    Record(kError, prefix, Args({code}));
    if (text == nullptr) return 0;
    std::fill(text, text + KVT_TEXT_WORDS, 0u);
    const std::string message = "fake " + std::to_string(code);
    for (std::size_t i = 0; i < message.size() && i < 99; ++i) {
        text[1 + i] = static_cast<unsigned char>(message[i]);
    }
    return 0;
}

}  // namespace

#ifdef KV_FAKE_NO_GETCONFIG
#define FAKE_GETCONFIG(P)
#else
#define FAKE_GETCONFIG(P)                                                               \
    uint32_t KVT_CALL P##_GetConfig(uint32_t handle, uint32_t* baud, uint32_t* timeout, \
                                    uint32_t* mode) {                                   \
        return DoGetConfig(#P, handle, baud, timeout, mode);                            \
    }
#endif

#define FAKE_COMMON(P)                                                                 \
    uint32_t KVT_CALL P##_Version(void) {                                              \
        return DoVersion(#P);                                                          \
    }                                                                                  \
    uint32_t KVT_CALL P##_SetConfig(uint32_t handle, uint32_t baud, uint32_t timeout,  \
                                    uint32_t mode) {                                   \
        return DoSetConfig(#P, handle, baud, timeout, mode);                           \
    }                                                                                  \
    FAKE_GETCONFIG(P)                                                                  \
    uint32_t KVT_CALL P##_Send(uint32_t handle, const uint32_t* frame, uint32_t* data, \
                               uint32_t* replyValue, uint32_t* errorWord) {            \
        return DoSend(#P, handle, frame, data, replyValue, errorWord);                 \
    }                                                                                  \
    uint32_t KVT_CALL P##_Done(uint32_t* handle) {                                     \
        return DoDone(#P, handle);                                                     \
    }                                                                                  \
    uint32_t KVT_CALL P##_Error(uint32_t code, uint32_t* text) {                       \
        return DoError(#P, code, text);                                                \
    }

#define FAKE_BLOCK(P, KIND)                                                    \
    KVT_DECLARE_BLOCK(P)                                                       \
    FAKE_COMMON(P)                                                             \
    uint32_t KVT_CALL P##_Init(uint32_t* handle, const uintptr_t* initBlock) { \
        return DoInitBlock(#P, KIND, handle, initBlock);                       \
    }

#define FAKE_WORD(P)                                               \
    KVT_DECLARE_WORD(P)                                            \
    FAKE_COMMON(P)                                                 \
    uint32_t KVT_CALL P##_Init(uint32_t* handle, uint32_t word0) { \
        return DoInitWord(#P, handle, word0);                      \
    }

#define FAKE_PLAIN(P)                              \
    KVT_DECLARE_PLAIN(P)                           \
    FAKE_COMMON(P)                                 \
    uint32_t KVT_CALL P##_Init(uint32_t* handle) { \
        return DoInitPlain(#P, handle);            \
    }

FAKE_BLOCK(QUSBVX, 0)
FAKE_BLOCK(QQUDP, 1)
FAKE_WORD(QCOM380)
FAKE_WORD(QPCI380)
FAKE_PLAIN(QPCI3380)
FAKE_PLAIN(QUSB3380)
FAKE_BLOCK(QKV3380, 6)
FAKE_BLOCK(QLAN, 7)

FAKE_EXPORT void FakeT_Reset(void) {
    {
        std::lock_guard lock(g_mutex);
        g_state = State{};
        g_holding = false;
    }
    g_released.notify_all();
}

FAKE_EXPORT void FakeT_HoldSends(bool hold) {
    {
        std::lock_guard lock(g_mutex);
        g_holding = hold;
    }
    g_released.notify_all();
}

FAKE_EXPORT void FakeT_SetInitResult(uint32_t code, uint32_t handle) {
    std::lock_guard lock(g_mutex);
    g_state.initCode = code;
    g_state.initHandle = handle;
}

FAKE_EXPORT void FakeT_SetConfigResult(uint32_t code) {
    std::lock_guard lock(g_mutex);
    g_state.configCode = code;
}

FAKE_EXPORT void FakeT_SetDoneResult(uint32_t code, uint32_t handleAfter) {
    std::lock_guard lock(g_mutex);
    g_state.doneCode = code;
    g_state.doneHandle = handleAfter;
}

FAKE_EXPORT void FakeT_QueueSend(uint32_t result, uint32_t errorWord, uint32_t replyValue,
                                 const uint32_t* data300) {
    SendOutcome outcome;
    outcome.result = result;
    outcome.errorWord = errorWord;
    outcome.replyValue = replyValue;
    outcome.writesData = data300 != nullptr;
    if (data300 != nullptr) std::copy(data300, data300 + KVT_DATA_WORDS, outcome.data.begin());
    std::lock_guard lock(g_mutex);
    g_state.sends.push_back(outcome);
}

FAKE_EXPORT uint32_t FakeT_CallCount(const char* suffix) {
    if (suffix == nullptr) return 0;
    std::lock_guard lock(g_mutex);
    for (int i = 0; i < kEntryCount; ++i) {
        if (std::strcmp(suffix, kEntryNames[i]) == 0) return g_state.counts[i];
    }
    return 0;
}

FAKE_EXPORT size_t FakeT_Log(char* out, size_t size) {
    std::lock_guard lock(g_mutex);
    const std::string& log = g_state.log;
    if (out != nullptr && size > 0) {
        const std::size_t n = std::min(size - 1, log.size());
        std::memcpy(out, log.data(), n);
        out[n] = '\0';
    }
    return log.size();
}

FAKE_EXPORT bool FakeT_Frame(uint32_t index, uint32_t* frame304) {
    std::lock_guard lock(g_mutex);
    if (index >= g_state.frames.size()) return false;
    if (frame304 != nullptr) {
        const auto& f = g_state.frames[index];
        std::copy(f.begin(), f.end(), frame304);
    }
    return true;
}

FAKE_EXPORT void FakeT_LastInitBlock(uint32_t* words16, char texts[16][256]) {
    std::lock_guard lock(g_mutex);
    for (int i = 0; i < KVT_INIT_BLOCK_WORDS; ++i) {
        if (words16 != nullptr) words16[i] = g_state.initWords[i];
        if (texts != nullptr) {
            const std::string& t = g_state.initTexts[i];
            const std::size_t n = std::min<std::size_t>(t.size(), 255);
            std::memcpy(texts[i], t.data(), n);
            texts[i][n] = '\0';
        }
    }
}

FAKE_EXPORT uint32_t FakeT_LastInitWord(void) {
    std::lock_guard lock(g_mutex);
    return g_state.initWord;
}
