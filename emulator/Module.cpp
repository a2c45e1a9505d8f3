#include "emulator/Module.h"

#include <algorithm>

#include "core/Requests.h"

namespace kv::emu {
namespace {

void PutText(std::uint8_t* out, const std::string& text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        out[i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0;
}

// Storing a block and restarting share their function.
bool IsWrite(std::uint8_t function) {
    return function == kStoreBlockRequest.function || function == kTakeBlockRequest.function;
}

std::uint32_t Clamp32(std::uint64_t v) {
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

}  // namespace

Module::Module(ModuleState state, Clock clock, Persist persist, bool corruptStore)
    : state_(std::move(state)),
      clock_(std::move(clock)),
      persist_(std::move(persist)),
      corruptStore_(corruptStore),
      serial_(state_.serial) {
    ApplyStored();
    listeningManagementPort_ = appliedBlockPorts_[0];
    for (std::size_t v = 0; v < 3; ++v) listeningVlanPorts_[v] = appliedBlockPorts_[1 + v];
}

void Module::ApplyStored() {
    powerOnMs_ = Now();
    remote_ = DecodeRemoteBlock(state_.blocks[0]);
    network_ = DecodeNetworkBlock(state_.blocks[4]);
    appliedBlockPorts_[0] = remote_.port;
    for (std::size_t v = 0; v < 3; ++v) {
        VlanSettings s = DecodeVlanBlock(state_.blocks[1 + v]);
        vlans_[v].Apply(s);
        appliedBlockPorts_[1 + v] = s.port;
    }
    pending_.reset();
    busMessages_ = 0;
    busErrors_ = 0;
    errors_.clear();
}

PortMoves Module::Restart() {
    const auto before = appliedBlockPorts_;
    ApplyStored();
    PortMoves moves;
    for (std::size_t i = 0; i < 4; ++i)
        if (appliedBlockPorts_[i] != before[i]) moves[i] = appliedBlockPorts_[i];
    return moves;
}

void Module::SetListeningPorts(std::uint16_t management, const std::array<std::uint16_t, 3>& vlan) {
    listeningManagementPort_ = management;
    listeningVlanPorts_ = vlan;
}

std::uint32_t Module::UptimeSeconds() const {
    return Clamp32((Now() - powerOnMs_) / 1000);
}

bool Module::RemoteAllows(const Source& source) const {
    if (source.channel == Channel::kUsb || source.channel == Channel::kSerial) return true;
    switch (remote_.mode) {
        case 1:
            return true;
        case 2:
            return std::any_of(remote_.users.begin(), remote_.users.end(), [&](const TableUser& u) {
                return Matches(u, source.ip, source.port);
            });
        default:
            return false;
    }
}

Response Module::HandleDatagram(const Source& source, const std::uint8_t* bytes, std::size_t size) {
    Response response;
    auto request = wire::DecodeRequest(bytes, size);
    if (!request) return response;
    const bool udp = source.channel == Channel::kManagement || IsVlan(source.channel);
    // Replies go only to loopback senders; anything else could be a spoofed address
    // that would turn the emulator into a reflector.
    if (udp && (source.ip[0] != 127 || source.port == 0)) return response;
    if (source.channel == Channel::kManagement && !RemoteAllows(source)) return response;
    response.store = !IsVlan(source.channel) &&
                     Request{request->function, request->peripheral} == kStoreBlockRequest;

    if (const auto* cached = Cached(source.key, request->sequence, bytes, size)) {
        response.datagram = *cached;
        response.fromCache = true;
        return response;
    }

    wire::Reply reply;
    if (IsVlan(source.channel)) {
        bool denied = false;
        reply = ForwardToBus(*request, source, &denied, &response.delayMs);
        if (denied) return response;
    } else {
        reply = Manage(*request, &response.restart);
    }
    reply.sequence = request->sequence;
    response.datagram = wire::EncodeReply(reply);
    Remember(source.key, request->sequence, bytes, size, response.datagram);
    return response;
}

wire::Reply Module::Manage(const wire::Request& rq, bool* restart) {
    wire::Reply r;
    const Request asked{rq.function, rq.peripheral};
    // A block read and the status requests echo the request's parameter words.
    auto echo = [&] { std::copy_n(rq.data.begin(), 4, r.data.begin()); };
    if (asked.function == kIdentifyFunction && asked.peripheral < kIdentifyParts) {
        const std::string name = kModuleType;
        const std::string text =
            rq.peripheral == 2 ? std::string(kFirmwareVersion) : name.substr(4 * rq.peripheral, 4);
        PutText(r.data.data(), text, 4);
        // The utility hands the value on as the next identification request's command.
        r.replyValue = static_cast<std::uint8_t>((rq.peripheral + 1) % kIdentifyParts);
    } else if (asked == kReadBlockRequest) {
        echo();
        const unsigned number = rq.data[1] + 256u * rq.data[2];
        if (IsConfigBlock(number)) {
            const ConfigBlock& b = state_.blocks[number - kFirstConfigBlock];
            std::copy(b.begin(), b.end(), r.data.begin() + 4);
        } else {
            r.status = wire::kModuleBadBlock;
        }
    } else if (asked == kModuleStatusRequest) {
        echo();
        ModuleStatusReply(r);
    } else if (asked == kVlanStatusRequest) {
        echo();
        VlanStatusReply(r);
    } else if (asked == kTakeBlockRequest) {
        pending_.emplace();
        std::copy(rq.data.begin() + 4, rq.data.begin() + 4 + kConfigBlockSize, pending_->begin());
    } else if (asked == kStoreBlockRequest) {
        r.status = StoreBlock(rq);
    } else if (asked == kRestartRequest) {
        *restart = true;
    } else {
        r.status = wire::kModuleUnknownRequest;
    }
    if (r.status != wire::kOk) r.data.fill(0);
    return r;
}

std::uint8_t Module::StoreBlock(const wire::Request& rq) {
    const unsigned number = rq.data[0] + 256u * rq.data[1];
    if (!IsConfigBlock(number)) return wire::kModuleBadBlock;
    if (!pending_) return wire::kModuleNoData;
    if (!ChecksumValid(*pending_)) return wire::kModuleBadChecksum;
    ConfigBlock stored = *pending_;
    // Byte 254 is unused in every block, so the damage shows only in the read-back.
    if (corruptStore_) stored[254] ^= 0xFF;
    ModuleState next = state_;
    next.blocks[number - kFirstConfigBlock] = stored;
    std::string error;
    if (persist_ && !persist_(next, &error)) return wire::kModuleStoreFailed;
    state_ = std::move(next);
    pending_.reset();
    return wire::kOk;
}

void Module::ModuleStatusReply(wire::Reply& reply) const {
    const std::uint64_t now = Now();
    kv::ModuleStatus s;
    s.uptimeS = Clamp32((now - powerOnMs_) / 1000);
    for (const auto& v : vlans_) {
        s.allowedTotal += v.Allowed();
        s.deniedTotal += v.Denied();
    }
    s.type = kModuleType;
    s.version = kFirmwareVersion;
    s.serial = serial_;
    s.operatingMode = 0;  // working mode
    s.setup = {kSetupIp, kSetupMask, kSetupGateway};
    s.working = {network_.ip, network_.mask, network_.gateway};
    s.mac = state_.mac;
    s.busBaudRate = kBusBaudRate;
    s.busTimeoutMs = kBusTimeoutMs;
    s.busMessages = busMessages_;
    s.busErrors = busErrors_;
    std::copy_n(errors_.begin(), std::min(errors_.size(), s.errors.size()), s.errors.begin());
    WriteModuleStatus(s, reply.data);
}

void Module::VlanStatusReply(wire::Reply& reply) const {
    const std::uint64_t now = Now();
    for (int v = 0; v < kVlanCount; ++v) {
        const auto i = static_cast<std::size_t>(v);
        WriteVlanStatus(vlans_[i].Status(listeningVlanPorts_[i], now), kv::Vlan::FromIndex(v),
                        reply.data);
    }
}

wire::Reply Module::ForwardToBus(const wire::Request& rq, const Source& source, bool* denied,
                                 std::uint32_t* delayMs) {
    wire::Reply r;
    const std::uint64_t now = Now();
    const std::uint32_t uptimeS = Clamp32((now - powerOnMs_) / 1000);
    const int v = VlanIndex(source.channel);
    Verdict verdict = vlans_[static_cast<std::size_t>(v)].Admit(source.ip, source.port,
                                                                IsWrite(rq.function), now, uptimeS);
    if (!verdict.allowed) {
        *denied = true;
        return r;
    }
    ++busMessages_;
    BusTransfer t = bus_.Transfer(rq);
    *delayMs = t.durationMs;
    r.status = t.status;
    r.replyValue = t.replyValue;
    r.data = t.data;
    if (!t.answered) {
        ++busErrors_;
        BusErrorRecord e;
        e.code = t.status;
        e.vlan = static_cast<std::uint8_t>(v + 1);
        e.user = verdict.user;
        e.moduleAddress = rq.address;
        e.function = rq.function;
        e.peripheral = rq.peripheral;
        e.command = rq.command;
        e.durationMs = static_cast<std::uint16_t>(std::min<std::uint32_t>(t.durationMs, 0xFFFF));
        e.repetitions = t.repetitions;
        e.timestampMs = Clamp32(now - powerOnMs_);
        errors_.push_front(e);
        if (errors_.size() > kBusErrorRecords) errors_.pop_back();
    }
    return r;
}

const std::vector<std::uint8_t>* Module::Cached(const std::string& key, std::uint32_t sequence,
                                                const std::uint8_t* bytes, std::size_t size) {
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        if (it->key != key) continue;
        cache_.splice(cache_.begin(), cache_, it);
        for (const auto& c : cache_.front().replies)
            // A client that starts over may reuse a sequence number for another request;
            // only the very same request is a retry.
            if (c.sequence == sequence && c.request.size() == size &&
                std::equal(c.request.begin(), c.request.end(), bytes))
                return &c.reply;
        return nullptr;
    }
    return nullptr;
}

void Module::Remember(const std::string& key, std::uint32_t sequence, const std::uint8_t* bytes,
                      std::size_t size, const std::vector<std::uint8_t>& reply) {
    auto it = std::find_if(cache_.begin(), cache_.end(),
                           [&](const CacheSlot& s) { return s.key == key; });
    if (it == cache_.end()) {
        cache_.push_front(CacheSlot{key, {}});
        if (cache_.size() > kCachedClients) cache_.pop_back();
    } else {
        cache_.splice(cache_.begin(), cache_, it);
    }
    auto& replies = cache_.front().replies;
    replies.push_front(
        CachedReply{sequence, std::vector<std::uint8_t>(bytes, bytes + size), reply});
    if (replies.size() > kCachedRepliesPerClient) replies.pop_back();
}

}  // namespace kv::emu
