#include "core/StatusReplies.h"

#include "core/ByteLayout.h"
#include "platform/Cp1250.h"

namespace kv {
namespace {

// The texts: one code-page-1250 character per word, ending at a zero or at the width.
class StatusReader : public ByteReader {
  public:
    using ByteReader::ByteReader;
    void Text(std::size_t at, std::size_t width, std::string& value) const {
        std::string cp1250;
        for (std::size_t i = 0; i < width && At(at + i) != 0; ++i)
            cp1250.push_back(static_cast<char>(At(at + i)));
        value = platform::Cp1250ToUtf8(cp1250);
    }
};

class StatusWriter : public ByteWriter {
  public:
    using ByteWriter::ByteWriter;
    void Text(std::size_t at, std::size_t width, const std::string& value) const {
        const std::string cp1250 = platform::Utf8ToCp1250(value);
        for (std::size_t i = 0; i < width; ++i)
            Put(at + i, i < cp1250.size() ? static_cast<std::uint8_t>(cp1250[i]) : 0);
    }
};

// The module status reply, by word. Words 0-3 carry the request's parameters, 37-51,
// 82-83, 90-91 and everything from 180 on nothing the program reads.
template <class Io, class Status>
void ModuleStatusLayout(const Io& io, Status& s) {
    io.U32(4, s.uptimeS);
    io.U32(8, s.allowedTotal);
    io.U32(12, s.deniedTotal);
    io.Text(16, 8, s.type);
    io.Text(24, 4, s.version);
    io.Text(28, 8, s.serial);
    io.Byte(36, s.operatingMode);
    io.Bytes(52, s.setup.ip);
    io.Bytes(56, s.setup.mask);
    io.Bytes(60, s.setup.gateway);
    io.Bytes(64, s.working.ip);
    io.Bytes(68, s.working.mask);
    io.Bytes(72, s.working.gateway);
    io.Bytes(76, s.mac);
    io.U32(84, s.busBaudRate);
    io.U16(88, s.busTimeoutMs);
    io.U32(92, s.busMessages);
    io.U32(96, s.busErrors);
    // Five records of 16 words from word 100; the last two words of each unused.
    for (std::size_t k = 0; k < kBusErrorRecords; ++k) {
        const std::size_t r = 100 + 16 * k;
        auto& e = s.errors[k];
        io.Byte(r + 0, e.code);
        io.Byte(r + 1, e.vlan);
        io.Byte(r + 2, e.user);
        io.Byte(r + 3, e.moduleAddress);
        io.Byte(r + 4, e.function);
        io.Byte(r + 5, e.peripheral);
        io.Byte(r + 6, e.command);
        io.U16(r + 7, e.durationMs);
        io.Byte(r + 9, e.repetitions);
        io.U32(r + 10, e.timestampMs);
    }
}

// The VLAN status reply: one record of 80 words per interface from word 4; within it
// words 29-31 and the last two of each user's 16 unused.
template <class Io, class Status>
void VlanStatusLayout(const Io& io, Vlan vlan, Status& s) {
    const std::size_t v = 4 + 80 * static_cast<std::size_t>(vlan.Index());
    io.U16(v + 0, s.port);
    io.Byte(v + 2, s.mode);
    io.U32(v + 3, s.remainingValidityMs);
    io.U32(v + 7, s.maxValidityMs);
    io.U32(v + 11, s.allowed);
    io.U32(v + 15, s.denied);
    io.Bytes(v + 19, s.lastDeniedIp);
    io.U16(v + 23, s.lastDeniedPort);
    io.U32(v + 25, s.lastDeniedTimeS);
    for (std::size_t u = 0; u < kVlanStatusUsers; ++u) {
        const std::size_t r = v + 32 + 16 * u;
        auto& user = s.users[u];
        io.Bytes(r + 0, user.ip);
        io.U16(r + 4, user.port);
        io.U32(r + 6, user.allowed);
        io.U32(r + 10, user.lastMessageS);
    }
}

}  // namespace

ModuleStatus ReadModuleStatus(std::span<const std::uint8_t> reply) {
    ModuleStatus status;
    ModuleStatusLayout(StatusReader(reply), status);
    return status;
}

VlanStatus ReadVlanStatus(std::span<const std::uint8_t> reply, Vlan vlan) {
    VlanStatus status;
    VlanStatusLayout(StatusReader(reply), vlan, status);
    return status;
}

void WriteModuleStatus(const ModuleStatus& status, std::span<std::uint8_t> reply) {
    ModuleStatusLayout(StatusWriter(reply), status);
}

void WriteVlanStatus(const VlanStatus& status, Vlan vlan, std::span<std::uint8_t> reply) {
    VlanStatusLayout(StatusWriter(reply), vlan, status);
}

}  // namespace kv
