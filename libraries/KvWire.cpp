#include "libraries/KvWire.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace kv::wire {
namespace {

constexpr std::uint8_t kMagic[4] = {'K', 'V', '3', '8'};

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::size_t UsedLength(const std::array<std::uint8_t, kDataWords>& data) {
    std::size_t n = data.size();
    while (n > 0 && data[n - 1] == 0) --n;
    return n;
}

void StartDatagram(std::vector<std::uint8_t>& out, std::uint8_t type, std::uint32_t sequence) {
    out.insert(out.end(), kMagic, kMagic + 4);
    out.push_back(kVersion);
    out.push_back(type);
    PutU32(out, sequence);
}

void FinishDatagram(std::vector<std::uint8_t>& out) {
    PutU16(out, Crc16(out.data(), out.size()));
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
    // A byte at a time from a table: the bitwise form costs microseconds per full reply,
    // which shows against a loopback round trip of a dozen.
    static constexpr auto kTable = [] {
        std::array<std::uint16_t, 256> table{};
        for (unsigned i = 0; i < 256; ++i) {
            auto crc = static_cast<std::uint16_t>(i << 8);
            for (int b = 0; b < 8; ++b)
                crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                     : static_cast<std::uint16_t>(crc << 1);
            table[i] = crc;
        }
        return table;
    }();
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kTable[((crc >> 8) ^ bytes[i]) & 0xFF]);
    return crc;
}

std::vector<std::uint8_t> EncodeRequest(const Request& request) {
    std::vector<std::uint8_t> out;
    out.reserve(kMaxDatagram);
    StartDatagram(out, kTypeRequest, request.sequence);
    out.push_back(request.address);
    out.push_back(request.function);
    out.push_back(request.peripheral);
    out.push_back(request.command);
    std::size_t n = UsedLength(request.data);
    PutU16(out, static_cast<std::uint16_t>(n));
    out.insert(out.end(), request.data.begin(),
               request.data.begin() + static_cast<std::ptrdiff_t>(n));
    FinishDatagram(out);
    return out;
}

std::vector<std::uint8_t> EncodeReply(const Reply& reply) {
    std::vector<std::uint8_t> out;
    out.reserve(kMaxDatagram);
    StartDatagram(out, kTypeReply, reply.sequence);
    out.push_back(reply.status);
    out.push_back(reply.replyValue);
    std::size_t n = UsedLength(reply.data);
    PutU16(out, static_cast<std::uint16_t>(n));
    out.insert(out.end(), reply.data.begin(), reply.data.begin() + static_cast<std::ptrdiff_t>(n));
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
    return "/tmp/kv3380u-usb-" + std::to_string(getuid());
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
