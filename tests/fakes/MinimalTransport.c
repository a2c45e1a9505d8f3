/*
 * A transport library written from kvtransport.h alone, in plain C, as a vendor would:
 * it proves that the header is the whole contract. Built once per kind with
 * KVT_PREFIX (e.g. QQUDP) and KVT_FORM (1 block, 2 word, 3 plain). Its "module" answers
 * the identification requests with "MINI", "MAL1" and "0.01" and echoes everything else.
 */
#include <string.h>

#include "transport/kvtransport.h"

#define CAT2(a, b) a##b
#define CAT(a, b) CAT2(a, b)
#define ENTRY(suffix) CAT(KVT_PREFIX, CAT(_, suffix))

#if KVT_FORM == 1
KVT_DECLARE_BLOCK(KVT_PREFIX)
#elif KVT_FORM == 2
KVT_DECLARE_WORD(KVT_PREFIX)
#else
KVT_DECLARE_PLAIN(KVT_PREFIX)
#endif

static uint32_t open_handle;
static uint32_t speed, reply_timeout;

static uint32_t do_init(uint32_t* handle) {
    if (handle == NULL) return 4;
    open_handle = 0x4D494E;
    *handle = open_handle;
    return 0;
}

#if KVT_FORM == 1
uint32_t KVT_CALL ENTRY(Init)(uint32_t* handle, const uintptr_t* initBlock) {
    (void)initBlock;
    return do_init(handle);
}
#elif KVT_FORM == 2
uint32_t KVT_CALL ENTRY(Init)(uint32_t* handle, uint32_t word0) {
    (void)word0;
    return do_init(handle);
}
#else
uint32_t KVT_CALL ENTRY(Init)(uint32_t* handle) {
    return do_init(handle);
}
#endif

uint32_t KVT_CALL ENTRY(Version)(void) {
    return 1;
}

uint32_t KVT_CALL ENTRY(SetConfig)(uint32_t handle, uint32_t baud, uint32_t replyTimeoutMs,
                                   uint32_t mode) {
    (void)mode;
    if (handle != open_handle || handle == 0) return 2;
    speed = baud;
    reply_timeout = replyTimeoutMs;
    return 0;
}

uint32_t KVT_CALL ENTRY(GetConfig)(uint32_t handle, uint32_t* baud, uint32_t* replyTimeoutMs,
                                   uint32_t* mode) {
    if (handle != open_handle || handle == 0) return 2;
    if (baud) *baud = speed;
    if (replyTimeoutMs) *replyTimeoutMs = reply_timeout;
    if (mode) *mode = 2;
    return 0;
}

uint32_t KVT_CALL ENTRY(Send)(uint32_t handle, const uint32_t* frame, uint32_t* data,
                              uint32_t* replyValue, uint32_t* errorWord) {
    static const char* ident[3] = {"MINI", "MAL1", "0.01"};
    int i;
    if (errorWord) *errorWord = 2;
    if (handle != open_handle || handle == 0 || frame == NULL || data == NULL) return 2;
    for (i = 0; i < KVT_DATA_WORDS; ++i) data[i] = frame[4 + i] & 0xFF;
    if (frame[1] == 200 && frame[2] < 3)
        for (i = 0; i < 4; ++i) data[i] = (unsigned char)ident[frame[2]][i];
    if (replyValue) *replyValue = frame[3];
    *errorWord = 0;
    return 0;
}

uint32_t KVT_CALL ENTRY(Done)(uint32_t* handle) {
    if (handle == NULL || *handle != open_handle) return 2;
    *handle = 0;
    open_handle = 0;
    return 0;
}

uint32_t KVT_CALL ENTRY(Error)(uint32_t code, uint32_t* text) {
    /* Code page 1250, as the contract wants it. */
    const char* msg = code == 0 ? "OK" : code == 2 ? "neplatn\xe9 spojen\xed" : "chyba";
    size_t i;
    if (text == NULL) return 4;
    memset(text, 0, KVT_TEXT_WORDS * sizeof *text);
    for (i = 0; msg[i] != '\0' && i < 99; ++i) text[1 + i] = (unsigned char)msg[i];
    return 0;
}
