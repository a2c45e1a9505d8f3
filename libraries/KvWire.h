#pragma once

// The datagram format between our transport libraries and a KV-3380U module (or the
// emulator standing in for one). The same datagrams travel over UDP, over the local
// datagram socket of the virtual USB device, and, framed, over a serial line.
//
// Request (library -> module), little-endian:
//   0..3   magic "KV38"
//   4      version (1)
//   5      type 1 = request
//   6..9   sequence number
//   10..13 module address, function, peripheral, command
//   14..15 n, number of data bytes that follow (0..300)
//   16..   data bytes: the low 8 bits of data words 0..n-1; words from n on are 0
//   last 2 CRC-16/CCITT-FALSE of every byte before it
//
// Reply (module -> library):
//   0..9   as the request, type 2 = reply, the request's sequence number
//   10     status: 0 success, else one of the module codes below
//   11     reply value (the command word of the reply)
//   12..13 n, number of data bytes (0..300)
//   14..   data bytes: reply data words 0..n-1; words from n on are 0
//   last 2 CRC as above
//
// A datagram that is too short, has another magic, version or type, a length that does
// not match, or a bad CRC is not a datagram of ours and is dropped unanswered.
//
// Serial framing: each datagram is sent as 0x7E, the datagram with 0x7E and 0x7D escaped
// as 0x7D followed by the byte XOR 0x20, then 0x7E.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv::wire {

constexpr std::uint8_t kVersion = 1;
constexpr std::uint8_t kTypeRequest = 1;
constexpr std::uint8_t kTypeReply = 2;
constexpr std::size_t kDataWords = 300;
constexpr std::size_t kRequestHeader = 16;
constexpr std::size_t kReplyHeader = 14;
constexpr std::size_t kCrcSize = 2;
constexpr std::size_t kMaxDatagram = kRequestHeader + kDataWords + kCrcSize;

// Codes a library returns (1..99) and whose Czech texts its Error gives. Module codes
// travel in the reply's status byte and come back from Send as the error word.
enum Code : std::uint8_t {
    kOk = 0,
    kDeviceNotFound = 1,  // no such device / interface absent
    kBadHandle = 2,       // handle not open in this library
    kOpenFailed = 3,      // socket or device could not be opened
    kBadParameter = 4,    // InitBlock / SetConfig value unusable (address, port, text)
    kTimeout = 5,         // no reply within the time-out
    kSendFailed = 6,      // the request could not be sent
    kBadReply = 7,        // reply malformed
    kTooManyOpen = 8,     // no free handle
    kReadBack = 9,        // the utility's own: read-back differs ("Chyba zápisu dat.")
    kNotLoaded = 10,      // the utility's own: kind out of range or entry point missing
    // Module codes (reply status byte):
    kModuleUnknownRequest = 20,  // function/peripheral not known to the module
    kModuleBadBlock = 21,        // block number not 250..254
    kModuleBadChecksum = 22,     // block checksum wrong, not stored
    kModuleNoData = 23,          // 101/11 without a block handed over by 205/0
    kModuleStoreFailed = 24,     // the module could not keep the block
    kModuleBusAbsent = 25,       // RS-485: addressed module did not answer
};

struct Request {
    std::uint32_t sequence = 0;
    std::uint8_t address = 0;
    std::uint8_t function = 0;
    std::uint8_t peripheral = 0;
    std::uint8_t command = 0;
    std::array<std::uint8_t, kDataWords> data{};
};

struct Reply {
    std::uint32_t sequence = 0;
    std::uint8_t status = 0;
    std::uint8_t replyValue = 0;
    std::array<std::uint8_t, kDataWords> data{};
};

std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t size);

// Trailing zero data bytes are not sent.
std::vector<std::uint8_t> EncodeRequest(const Request& request);
std::vector<std::uint8_t> EncodeReply(const Reply& reply);
std::optional<Request> DecodeRequest(const std::uint8_t* bytes, std::size_t size);
std::optional<Reply> DecodeReply(const std::uint8_t* bytes, std::size_t size);

// Serial framing.
std::vector<std::uint8_t> FrameForSerial(const std::vector<std::uint8_t>& datagram);
// Feeds received bytes; returns each complete datagram (unescaped) found so far.
class SerialDeframer {
  public:
    std::vector<std::vector<std::uint8_t>> Feed(const std::uint8_t* bytes, std::size_t size);

  private:
    std::vector<std::uint8_t> current_;
    bool inFrame_ = false;
    bool escape_ = false;
};

// Where the virtual USB devices live: a per-user folder (mode 0700). The environment
// variable KV3380U_USB_DIR overrides it (tests give each emulator a folder of its own);
// else $XDG_RUNTIME_DIR/kv3380u-usb, else /tmp/kv3380u-usb-<uid>.
std::string UsbDeviceFolder();
// Socket path of the device with this 8-character serial number.
std::string UsbDevicePath(const std::string& folder, const std::string& serial);
// Device socket names are "dev-" + serial + ".sock".
std::optional<std::string> SerialFromDeviceName(const std::string& fileName);

}  // namespace kv::wire
