#pragma once

// A scriptable transport library for tests. The fake exports the seven entry points
// under every kind's prefix (QUSBVX_Init, QQUDP_Init, ...) with the Init form of that
// kind, and the control functions below. It is built into folders of its own under
// KV_BIN_DIR/fakes/<variant>/ under every kind's file name:
//   complete/       all seven entry points
//   no_getconfig/   everything but GetConfig
// A test points the program folder at such a folder and opens the same file itself
// (FakeTransport below); the dynamic loader hands both the same instance, so the test
// scripts what the library answers and reads back every call it received.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"

extern "C" {
// Forget every script and call; defaults: Init 0 with handle 0x1234, SetConfig 0,
// Done 0 (and it sets the handle to 0), Send 0 with error word 0 and an echo of nothing
// (reply value 0, data all 0), Error writes "fake <code>".
void FakeT_Reset(void);
void FakeT_SetInitResult(uint32_t code, uint32_t handle);
void FakeT_SetConfigResult(uint32_t code);
void FakeT_SetDoneResult(uint32_t code, uint32_t handleAfter);
// Queue the outcome of the next Send: function result, error word, reply value and the
// 300 data words it writes (nullptr: leave the caller's buffer as it is). Queued outcomes
// are used in order; with the queue empty Send uses the defaults above.
void FakeT_QueueSend(uint32_t result, uint32_t errorWord, uint32_t replyValue,
                     const uint32_t* data300);
// Holds every Send from now on (counted and logged as it comes, before it waits) until
// the hold is let go, as a module that takes its time: a test sees a call in flight
// without depending on timing. A held Send gives up after 30 s, so a test that forgets to
// let go fails rather than hangs. Reset lets go.
void FakeT_HoldSends(bool hold);
// Number of calls of one entry point ("Init", "SetConfig", "Send", "Done", "Error",
// "Version", "GetConfig") since the last reset.
uint32_t FakeT_CallCount(const char* suffix);
// The call log as text, one line a call, e.g. "QQUDP_SetConfig 4660 9600 200 2".
// Lines: "P_Version", "P_Init" (block and plain form), "P_Init <word0>" (word form),
// "P_SetConfig <handle> <baud> <timeout> <mode>", "P_GetConfig <handle>",
// "P_Send <handle> <frame words 0..3>", "P_Done <handle before>", "P_Error <code>";
// numbers in decimal.
// Copies at most size-1 bytes and a terminating zero; returns the full length.
size_t FakeT_Log(char* out, size_t size);
// The request frame (304 words) of Send call number index (0-based); false if none.
bool FakeT_Frame(uint32_t index, uint32_t* frame304);
// What the last block-form Init received: 16 words, and for each word that pointed at a
// text the text itself (code page 1250) in texts[i] (up to 255 bytes), else "".
void FakeT_LastInitBlock(uint32_t* words16, char texts[16][256]);
// The word the last word-form Init received.
uint32_t FakeT_LastInitWord(void);
}

namespace kvtest {

// Opens the fake in a folder (by the file name of a kind) and calls its controls.
class FakeTransport {
  public:
    // folder: e.g. std::string(KV_BIN_DIR) + "/fakes/complete"; file: e.g. "QQUDP.DLL".
    FakeTransport(const std::string& folder, const std::string& file);
    ~FakeTransport() = default;
    FakeTransport(const FakeTransport&) = delete;
    FakeTransport& operator=(const FakeTransport&) = delete;

    bool ok() const { return library_.IsLoaded(); }
    void Reset();
    void SetInitResult(uint32_t code, uint32_t handle);
    void SetConfigResult(uint32_t code);
    void SetDoneResult(uint32_t code, uint32_t handleAfter);
    void QueueSend(uint32_t result, uint32_t errorWord, uint32_t replyValue,
                   const std::vector<uint32_t>& data300 = {});
    void HoldSends(bool hold);
    uint32_t CallCount(const char* suffix) const;
    std::string Log() const;
    std::vector<uint32_t> Frame(uint32_t index) const;  // empty if none
    std::vector<uint32_t> LastInitWords() const;
    std::vector<std::string> LastInitTexts() const;
    uint32_t LastInitWord() const;

  private:
    template <typename F>
    F Fn(const char* name) const;
    kv::platform::DynamicLibrary library_;
};

}  // namespace kvtest
