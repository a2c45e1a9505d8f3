// The exported names of one transport library. Built once per library with
// KV_LIB_PREFIX (QUSBVX, QQUDP, ...), KV_LIB_KIND (0..7) and KV_LIB_FORM (BLOCK, WORD,
// PLAIN: the form of Init its kind takes).

#include "libraries/TransportLibrary.h"
#include "transport/kvtransport.h"

#if !defined(KV_LIB_PREFIX) || !defined(KV_LIB_KIND) || !defined(KV_LIB_FORM)
#error "KV_LIB_PREFIX, KV_LIB_KIND and KV_LIB_FORM must be defined"
#endif

#define KV_LIB_NAME2(prefix, suffix) prefix##_##suffix
#define KV_LIB_NAME(prefix, suffix) KV_LIB_NAME2(prefix, suffix)
#define KV_ENTRY(suffix) KV_LIB_NAME(KV_LIB_PREFIX, suffix)
#define KV_DECLARE2(form, prefix) KVT_DECLARE_##form(prefix)
#define KV_DECLARE(form, prefix) KV_DECLARE2(form, prefix)

#define KV_FORM_BLOCK 1
#define KV_FORM_WORD 2
#define KV_FORM_PLAIN 3
#define KV_FORM_OF2(form) KV_FORM_##form
#define KV_FORM_OF(form) KV_FORM_OF2(form)

KV_DECLARE(KV_LIB_FORM, KV_LIB_PREFIX)

namespace {
constexpr std::uint8_t kKind = KV_LIB_KIND;
}

uint32_t KVT_CALL KV_ENTRY(Version)(void) {
    return kv::lib::LibraryVersion();
}

#if KV_FORM_OF(KV_LIB_FORM) == KV_FORM_BLOCK
uint32_t KVT_CALL KV_ENTRY(Init)(uint32_t* handle, const uintptr_t* initBlock) {
    return kv::lib::InitFromBlock(kKind, handle, initBlock);
}
#elif KV_FORM_OF(KV_LIB_FORM) == KV_FORM_WORD
uint32_t KVT_CALL KV_ENTRY(Init)(uint32_t* handle, uint32_t word0) {
    return kv::lib::InitFromWord(kKind, handle, word0);
}
#else
uint32_t KVT_CALL KV_ENTRY(Init)(uint32_t* handle) {
    return kv::lib::InitPlain(kKind, handle);
}
#endif

uint32_t KVT_CALL KV_ENTRY(SetConfig)(uint32_t handle, uint32_t baud, uint32_t replyTimeoutMs,
                                      uint32_t mode) {
    return kv::lib::SetConfig(handle, baud, replyTimeoutMs, mode);
}

uint32_t KVT_CALL KV_ENTRY(GetConfig)(uint32_t handle, uint32_t* baud, uint32_t* replyTimeoutMs,
                                      uint32_t* mode) {
    return kv::lib::GetConfig(handle, baud, replyTimeoutMs, mode);
}

uint32_t KVT_CALL KV_ENTRY(Send)(uint32_t handle, const uint32_t* frame, uint32_t* data,
                                 uint32_t* replyValue, uint32_t* errorWord) {
    return kv::lib::Send(handle, frame, data, replyValue, errorWord);
}

uint32_t KVT_CALL KV_ENTRY(Done)(uint32_t* handle) {
    return kv::lib::Done(handle);
}

uint32_t KVT_CALL KV_ENTRY(Error)(uint32_t code, uint32_t* text) {
    return kv::lib::Error(kKind, code, text);
}
