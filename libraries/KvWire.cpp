#include "libraries/KvWire.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdlib>
#include <cstring>

namespace kv::wire {
namespace {

constexpr std::uint8_t kMagic[4] = {'K', 'V', '3', '8'};

void PutU16(std::uint8_t* out, std::uint16_t v) {
    out[0] = static_cast<std::uint8_t>(v & 0xFF);
    out[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::uint8_t* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::size_t UsedLength(const std::array<std::uint8_t, kDataWords>& data) {
    // Most datagrams carry a few bytes and a long run of zeros: skipped eight at a time.
    std::size_t n = data.size();
    for (; n >= 8; n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, data.data() + n - 8, sizeof word);
        if (word != 0) break;
    }
    while (n > 0 && data[n - 1] == 0) --n;
    return n;
}

// The datagram with room for `header` bytes, the used data bytes and the CRC; fills in
// everything up to the fields after the sequence number, the data bytes and the CRC.
std::vector<std::uint8_t> StartDatagram(std::uint8_t type, std::uint32_t sequence,
                                        std::size_t header,
                                        const std::array<std::uint8_t, kDataWords>& data) {
    const std::size_t n = UsedLength(data);
    std::vector<std::uint8_t> out(header + n + kCrcSize);
    std::uint8_t* p = out.data();
    std::memcpy(p, kMagic, 4);
    p[4] = kVersion;
    p[5] = type;
    PutU32(p + 6, sequence);
    PutU16(p + header - 2, static_cast<std::uint16_t>(n));
    if (n > 0) std::memcpy(p + header, data.data(), n);
    return out;
}

void FinishDatagram(std::vector<std::uint8_t>& out) {
    const std::size_t body = out.size() - kCrcSize;
    PutU16(out.data() + body, Crc16(out.data(), body));
}

// Checks magic, version, type, declared length and CRC; returns the data length.
std::optional<std::size_t> CheckDatagram(const std::uint8_t* bytes, std::size_t size,
                                         std::uint8_t type, std::size_t header) {
    if (bytes == nullptr || size < header + kCrcSize || size > header + kDataWords + kCrcSize)
        return std::nullopt;
    for (int i = 0; i < 4; ++i)
        if (bytes[i] != kMagic[i]) return std::nullopt;
    if (bytes[4] != kVersion || bytes[5] != type) return std::nullopt;
    std::size_t n = GetU16(bytes + header - 2);
    if (n > kDataWords || header + n + kCrcSize != size) return std::nullopt;
    if (Crc16(bytes, size - kCrcSize) != GetU16(bytes + size - kCrcSize)) return std::nullopt;
    return n;
}

}  // namespace

std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t size) {
    // Eight bytes at a time from eight tables: a byte-at-a-time loop waits on the previous
    // byte's result at every step and costs most of a microsecond per full datagram, which
    // shows against a loopback round trip of a dozen. kTable[k][v] is the CRC, from 0, of
    // byte v followed by k zero bytes; the CRC being linear, a block's CRC is the XOR of
    // its bytes' contributions, with the running CRC folded into the first two bytes.
    static constexpr auto kTable = [] {
        std::array<std::array<std::uint16_t, 256>, 8> table{};
        for (unsigned i = 0; i < 256; ++i) {
            auto crc = static_cast<std::uint16_t>(i << 8);
            for (int b = 0; b < 8; ++b)
                crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                     : static_cast<std::uint16_t>(crc << 1);
            table[0][i] = crc;
        }
        for (std::size_t k = 1; k < 8; ++k)
            for (unsigned i = 0; i < 256; ++i) {
                const std::uint16_t previous = table[k - 1][i];
                table[k][i] = static_cast<std::uint16_t>((previous << 8) ^ table[0][previous >> 8]);
            }
        return table;
    }();
    std::uint16_t crc = 0xFFFF;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const std::uint8_t* p = bytes + i;
        crc = static_cast<std::uint16_t>(kTable[7][(crc >> 8) ^ p[0]] ^
                                         kTable[6][(crc & 0xFF) ^ p[1]] ^ kTable[5][p[2]] ^
                                         kTable[4][p[3]] ^ kTable[3][p[4]] ^ kTable[2][p[5]] ^
                                         kTable[1][p[6]] ^ kTable[0][p[7]]);
    }
    for (; i < size; ++i)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kTable[0][((crc >> 8) ^ bytes[i]) & 0xFF]);
    return crc;
}

std::vector<std::uint8_t> EncodeRequest(const Request& request) {
    std::vector<std::uint8_t> out =
        StartDatagram(kTypeRequest, request.sequence, kRequestHeader, request.data);
    out[10] = request.address;
    out[11] = request.function;
    out[12] = request.peripheral;
    out[13] = request.command;
    FinishDatagram(out);
    return out;
}

std::vector<std::uint8_t> EncodeReply(const Reply& reply) {
    std::vector<std::uint8_t> out =
        StartDatagram(kTypeReply, reply.sequence, kReplyHeader, reply.data);
    out[10] = reply.status;
    out[11] = reply.replyValue;
    FinishDatagram(out);
    return out;
}

std::optional<Request> DecodeRequest(const std::uint8_t* bytes, std::size_t size) {
    auto n = CheckDatagram(bytes, size, kTypeRequest, kRequestHeader);
    if (!n) return std::nullopt;
    Request r;
    r.sequence = GetU32(bytes + 6);
    r.address = bytes[10];
    r.function = bytes[11];
    r.peripheral = bytes[12];
    r.command = bytes[13];
    for (std::size_t i = 0; i < *n; ++i) r.data[i] = bytes[kRequestHeader + i];
    return r;
}

std::optional<Reply> DecodeReply(const std::uint8_t* bytes, std::size_t size) {
    auto n = CheckDatagram(bytes, size, kTypeReply, kReplyHeader);
    if (!n) return std::nullopt;
    Reply r;
    r.sequence = GetU32(bytes + 6);
    r.status = bytes[10];
    r.replyValue = bytes[11];
    for (std::size_t i = 0; i < *n; ++i) r.data[i] = bytes[kReplyHeader + i];
    return r;
}

std::vector<std::uint8_t> FrameForSerial(const std::vector<std::uint8_t>& datagram) {
    std::vector<std::uint8_t> out;
    out.reserve(datagram.size() * 2 + 2);
    out.push_back(0x7E);
    for (std::uint8_t b : datagram) {
        if (b == 0x7E || b == 0x7D) {
            out.push_back(0x7D);
            out.push_back(static_cast<std::uint8_t>(b ^ 0x20));
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0x7E);
    return out;
}

std::vector<std::vector<std::uint8_t>> SerialDeframer::Feed(const std::uint8_t* bytes,
                                                            std::size_t size) {
    std::vector<std::vector<std::uint8_t>> frames;
    for (std::size_t i = 0; i < size; ++i) {
        std::uint8_t b = bytes[i];
        if (b == 0x7E) {
            if (inFrame_ && !current_.empty()) frames.push_back(current_);
            current_.clear();
            inFrame_ = true;
            escape_ = false;
            continue;
        }
        if (!inFrame_) continue;
        if (escape_) {
            b ^= 0x20;
            escape_ = false;
        } else if (b == 0x7D) {
            escape_ = true;
            continue;
        }
        // A frame longer than any datagram is noise: drop it and wait for the next flag.
        if (current_.size() >= kMaxDatagram) {
            current_.clear();
            inFrame_ = false;
            continue;
        }
        current_.push_back(b);
    }
    return frames;
}

std::string UsbDeviceFolder() {
    if (const char* dir = std::getenv("KV3380U_USB_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run != nullptr && *run != '\0')
        return std::string(run) + "/kv3380u-usb";
#ifdef _WIN32
    // No virtual USB devices on Windows (the vendor's library drives the real one).
    return {};
#else
    return "/tmp/kv3380u-usb-" + std::to_string(getuid());
#endif
}

std::string UsbDevicePath(const std::string& folder, const std::string& serial) {
    return folder + "/dev-" + serial + ".sock";
}

std::optional<std::string> SerialFromDeviceName(const std::string& fileName) {
    const std::string prefix = "dev-", suffix = ".sock";
    if (fileName.size() != prefix.size() + 8 + suffix.size()) return std::nullopt;
    if (fileName.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    if (fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) != 0)
        return std::nullopt;
    return fileName.substr(prefix.size(), 8);
}

}  // namespace kv::wire
