#include <algorithm>
#include <cstring>

#include "tests/fakes/FakeTransport.h"

namespace kvtest {

// The full path the program loads: the loader recognises the file the program loaded
// and hands back that very instance.
FakeTransport::FakeTransport(const std::string& folder, const std::string& file) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    path += file;
    library_.Load(path);
}

template <typename F>
F FakeTransport::Fn(const char* name) const {
    return reinterpret_cast<F>(library_.Symbol(name));
}

void FakeTransport::Reset() {
    if (auto f = Fn<void (*)()>("FakeT_Reset")) f();
}

void FakeTransport::SetInitResult(uint32_t code, uint32_t handle) {
    if (auto f = Fn<void (*)(uint32_t, uint32_t)>("FakeT_SetInitResult")) f(code, handle);
}

void FakeTransport::SetConfigResult(uint32_t code) {
    if (auto f = Fn<void (*)(uint32_t)>("FakeT_SetConfigResult")) f(code);
}

void FakeTransport::SetDoneResult(uint32_t code, uint32_t handleAfter) {
    if (auto f = Fn<void (*)(uint32_t, uint32_t)>("FakeT_SetDoneResult")) f(code, handleAfter);
}

void FakeTransport::QueueSend(uint32_t result, uint32_t errorWord, uint32_t replyValue,
                              const std::vector<uint32_t>& data300) {
    auto f = Fn<void (*)(uint32_t, uint32_t, uint32_t, const uint32_t*)>("FakeT_QueueSend");
    if (f == nullptr) return;
    if (data300.empty()) {
        f(result, errorWord, replyValue, nullptr);
        return;
    }
    // A shorter vector is padded with zeros rather than read past its end.
    std::vector<uint32_t> data(300, 0);
    std::copy_n(data300.begin(), std::min<std::size_t>(data300.size(), 300), data.begin());
    f(result, errorWord, replyValue, data.data());
}

void FakeTransport::HoldSends(bool hold) {
    if (auto f = Fn<void (*)(bool)>("FakeT_HoldSends")) f(hold);
}

uint32_t FakeTransport::CallCount(const char* suffix) const {
    auto f = Fn<uint32_t (*)(const char*)>("FakeT_CallCount");
    return f != nullptr ? f(suffix) : 0;
}

std::string FakeTransport::Log() const {
    auto f = Fn<size_t (*)(char*, size_t)>("FakeT_Log");
    if (f == nullptr) return {};
    std::string out(f(nullptr, 0) + 1, '\0');
    // The log may grow between the two calls if another thread sends; take what fits.
    const size_t n = f(out.data(), out.size());
    out.resize(std::min(n, out.size() - 1));
    return out;
}

std::vector<uint32_t> FakeTransport::Frame(uint32_t index) const {
    auto f = Fn<bool (*)(uint32_t, uint32_t*)>("FakeT_Frame");
    if (f == nullptr) return {};
    std::vector<uint32_t> frame(304, 0);
    if (!f(index, frame.data())) return {};
    return frame;
}

std::vector<uint32_t> FakeTransport::LastInitWords() const {
    auto f = Fn<void (*)(uint32_t*, char(*)[256])>("FakeT_LastInitBlock");
    if (f == nullptr) return {};
    std::vector<uint32_t> words(16, 0);
    f(words.data(), nullptr);
    return words;
}

std::vector<std::string> FakeTransport::LastInitTexts() const {
    auto f = Fn<void (*)(uint32_t*, char(*)[256])>("FakeT_LastInitBlock");
    if (f == nullptr) return {};
    static_assert(sizeof(char[16][256]) == 4096);
    std::vector<char> raw(16 * 256, '\0');
    f(nullptr, reinterpret_cast<char(*)[256]>(raw.data()));
    std::vector<std::string> texts;
    for (int i = 0; i < 16; ++i) texts.emplace_back(raw.data() + i * 256);
    return texts;
}

uint32_t FakeTransport::LastInitWord() const {
    auto f = Fn<uint32_t (*)()>("FakeT_LastInitWord");
    return f != nullptr ? f() : 0;
}

}  // namespace kvtest
