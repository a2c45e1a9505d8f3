/*
 * kvtransport.h - the C contract between the KV-3380U utility and a transport library.
 *
 * A transport library carries requests from the utility to one KV-3380U module over one
 * kind of interface. The utility loads it at run time by file name from its own folder,
 * resolves the seven entry points below by name and calls them. Any library that honours
 * this contract works as a drop-in replacement.
 *
 *   kind  file           prefix     Init form
 *   0     QUSBVX.DLL     QUSBVX     block   (USB interface of the PC)
 *   1     QQUDP.DLL      QQUDP      block   (LAN, UDP transport with target and source port)
 *   2     QCOM380.DLL    QCOM380    word    (serial COM port)
 *   3     QPCI380.DLL    QPCI380    word    (PC card with an I/O base address)
 *   4     QPCI3380.DLL   QPCI3380   plain   (PC card)
 *   5     QUSB3380.DLL   QUSB3380   plain   (USB converter)
 *   6     QKV3380.DLL    QKV3380    block   (direct UDP link to the module)
 *   7     QLAN.DLL       QLAN       block   (LAN, UDP)
 *
 * Every entry point is extern "C", exported unmangled as PREFIX_Suffix (QUSBVX_Send), with
 * the platform's standard C calling convention (__stdcall on 32-bit Windows). Words are
 * uint32_t. A handle is a non-zero uint32_t that the library chooses; it is never a pointer.
 * Every entry point returns a code: 0 success, 1..99 the library's own codes, whose Czech
 * texts Error supplies (also for 0). The utility itself uses code 10 for "kind out of range
 * or entry point not loaded" and code 9 for "read-back differs" and takes their texts from
 * the library too.
 *
 * InitBlock: 16 pointer-sized words, all 0 except:
 *   kind 0:    word 0 detection mode (0 first device found, 1 by serial number; -1 arrives
 *              as 0xFFFFFFFF), word 1 serial number (text), word 2 time-out in ms
 *   kind 1:    word 0 target IP address (text), word 1 target port, word 2 time-out in ms,
 *              word 3 source port
 *   kinds 6,7: word 0 IP address (text), word 1 UDP port, word 2 time-out in ms
 * A text word holds a pointer to a zero-terminated code-page-1250 string, valid during Init.
 * A number travels as its 32-bit value, zero-extended.
 *
 * Send: frame is 304 words: module address, function, peripheral, command (each 8-bit,
 * zero-extended), then 300 data words. The library writes the reply into the 300-word
 * data buffer (one byte per word, in the low 8 bits), sets the reply value (its low 8 bits
 * are used) and always sets the error word, 0 on success.
 *
 * Error: writes the code's text into a block of 1024 words, one code-page-1250 character
 * per word in the low byte, from word 1 on, at most 99 characters, word 0 and every word
 * after the text 0.
 */
#ifndef KVTRANSPORT_H
#define KVTRANSPORT_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define KVT_CALL __stdcall
#else
#define KVT_CALL
#endif

#if defined(_WIN32)
#define KVT_EXPORT __declspec(dllexport)
#else
#define KVT_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define KVT_EXTERN_C extern "C"
#else
#define KVT_EXTERN_C
#endif

#define KVT_INIT_BLOCK_WORDS 16
#define KVT_FRAME_WORDS 304
#define KVT_DATA_WORDS 300
#define KVT_TEXT_WORDS 1024

/* Entry-point types, as the utility calls them. */
typedef uint32_t(KVT_CALL* kvt_version_fn)(void);
typedef uint32_t(KVT_CALL* kvt_init_block_fn)(uint32_t* handle, const uintptr_t* initBlock);
typedef uint32_t(KVT_CALL* kvt_init_word_fn)(uint32_t* handle, uint32_t word0);
typedef uint32_t(KVT_CALL* kvt_init_plain_fn)(uint32_t* handle);
typedef uint32_t(KVT_CALL* kvt_set_config_fn)(uint32_t handle, uint32_t baud,
                                              uint32_t replyTimeoutMs, uint32_t mode);
typedef uint32_t(KVT_CALL* kvt_get_config_fn)(uint32_t handle, uint32_t* baud,
                                              uint32_t* replyTimeoutMs, uint32_t* mode);
typedef uint32_t(KVT_CALL* kvt_send_fn)(uint32_t handle, const uint32_t* frame, uint32_t* data,
                                        uint32_t* replyValue, uint32_t* errorWord);
typedef uint32_t(KVT_CALL* kvt_done_fn)(uint32_t* handle);
typedef uint32_t(KVT_CALL* kvt_error_fn)(uint32_t code, uint32_t* text);

/*
 * Declarations for a library's own source: KVT_DECLARE_BLOCK(QUSBVX) declares
 * QUSBVX_Version ... QUSBVX_Error with the block form of Init; _WORD and _PLAIN likewise.
 * The prefix may itself be a macro (KVT_DECLARE_BLOCK(MY_PREFIX) with -DMY_PREFIX=QLAN):
 * each public macro expands its argument before the inner one pastes the names.
 */
#define KVT_DECLARE_COMMON(P) KVT_DECLARE_COMMON_(P)
#define KVT_DECLARE_BLOCK(P) KVT_DECLARE_BLOCK_(P)
#define KVT_DECLARE_WORD(P) KVT_DECLARE_WORD_(P)
#define KVT_DECLARE_PLAIN(P) KVT_DECLARE_PLAIN_(P)

#define KVT_DECLARE_COMMON_(P)                                                                 \
    KVT_EXTERN_C KVT_EXPORT uint32_t KVT_CALL P##_Version(void);                               \
    KVT_EXTERN_C KVT_EXPORT uint32_t KVT_CALL P##_SetConfig(                                   \
        uint32_t handle, uint32_t baud, uint32_t replyTimeoutMs, uint32_t mode);               \
    KVT_EXTERN_C KVT_EXPORT uint32_t KVT_CALL P##_GetConfig(                                   \
        uint32_t handle, uint32_t* baud, uint32_t* replyTimeoutMs, uint32_t* mode);            \
    KVT_EXTERN_C KVT_EXPORT uint32_t KVT_CALL P##_Send(uint32_t handle, const uint32_t* frame, \
                                                       uint32_t* data, uint32_t* replyValue,   \
                                                       uint32_t* errorWord);                   \
    KVT_EXTERN_C KVT_EXPORT uint32_t KVT_CALL P##_Done(uint32_t* handle);                      \
    KVT_EXTERN_C KVT_EXPORT uint32_t KVT_CALL P##_Error(uint32_t code, uint32_t* text);

#define KVT_DECLARE_BLOCK_(P)                                            \
    KVT_DECLARE_COMMON_(P)                                               \
    KVT_EXTERN_C KVT_EXPORT uint32_t KVT_CALL P##_Init(uint32_t* handle, \
                                                       const uintptr_t* initBlock);

#define KVT_DECLARE_WORD_(P) \
    KVT_DECLARE_COMMON_(P)   \
    KVT_EXTERN_C KVT_EXPORT uint32_t KVT_CALL P##_Init(uint32_t* handle, uint32_t word0);

#define KVT_DECLARE_PLAIN_(P) \
    KVT_DECLARE_COMMON_(P)    \
    KVT_EXTERN_C KVT_EXPORT uint32_t KVT_CALL P##_Init(uint32_t* handle);

#endif /* KVTRANSPORT_H */
