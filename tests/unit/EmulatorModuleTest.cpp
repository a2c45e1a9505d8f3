#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "emulator/Module.h"
#include "libraries/KvWire.h"

namespace kv::emu {
namespace {

Source Usb(const std::string& client = "/run/client-1.sock") {
    return {Channel::kUsb, {}, 0, "usb " + client};
}

Source Udp(Channel channel, Ip4 ip, std::uint16_t port) {
    return {channel, ip, port,
            "udp" + std::to_string(static_cast<int>(channel)) + " " + std::to_string(ip[0]) + "." +
                std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." + std::to_string(ip[3]) +
                ":" + std::to_string(port)};
}

std::uint32_t U32(const std::array<std::uint8_t, wire::kDataWords>& d, std::size_t at) {
    return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) |
           (static_cast<std::uint32_t>(d[at + 3]) << 24);
}

std::string Text(const std::array<std::uint8_t, wire::kDataWords>& d, std::size_t at,
                 std::size_t n) {
    return std::string(d.begin() + static_cast<std::ptrdiff_t>(at),
                       d.begin() + static_cast<std::ptrdiff_t>(at + n));
}

// A module with a hand-driven clock and a state file kept in memory.
class EmulatorModule : public ::testing::Test {
  protected:
    explicit EmulatorModule(bool corruptStore = false)
        : module_(
              NewState("SN123456", 42), [this] { return now_; },
              [this](const ModuleState& s, std::string* error) {
                  ++saves_;
                  if (failSaves_) {
                      *error = "disk full";
                      return false;
                  }
                  saved_ = s;
                  return true;
              },
              corruptStore) {}

    std::vector<std::uint8_t> Bytes(std::uint8_t address, std::uint8_t function,
                                    std::uint8_t peripheral, std::uint8_t command,
                                    std::vector<std::uint8_t> data = {},
                                    std::optional<std::uint32_t> sequence = std::nullopt) {
        wire::Request rq;
        rq.sequence = sequence.value_or(++sequence_);
        rq.address = address;
        rq.function = function;
        rq.peripheral = peripheral;
        rq.command = command;
        for (std::size_t i = 0; i < data.size() && i < rq.data.size(); ++i) rq.data[i] = data[i];
        return wire::EncodeRequest(rq);
    }

    // Sends one request; nullopt when the module stays silent.
    std::optional<wire::Reply> Send(const Source& from, std::uint8_t function,
                                    std::uint8_t peripheral, std::vector<std::uint8_t> data = {},
                                    std::uint8_t address = 0) {
        auto bytes = Bytes(address, function, peripheral, 0, std::move(data));
        last_ = module_.HandleDatagram(from, bytes.data(), bytes.size());
        if (last_.datagram.empty()) return std::nullopt;
        auto reply = wire::DecodeReply(last_.datagram.data(), last_.datagram.size());
        EXPECT_TRUE(reply.has_value());
        if (reply) {
            EXPECT_EQ(reply->sequence, sequence_);
        }
        return reply;
    }

    std::optional<wire::Reply> ReadBlock(unsigned number, const Source& from = Usb()) {
        return Send(from, 204, 1,
                    {0, static_cast<std::uint8_t>(number & 0xFF),
                     static_cast<std::uint8_t>(number >> 8), 0});
    }

    // The utility's verified write: hand over, store, read back.
    std::uint8_t Store(unsigned number, const ConfigBlock& block, const Source& from = Usb()) {
        std::vector<std::uint8_t> data(4, 0);
        data.insert(data.end(), block.begin(), block.end());
        auto handed = Send(from, 205, 0, data);
        if (!handed || handed->status != wire::kOk) return handed ? handed->status : 255;
        auto stored = Send(from, 101, 11,
                           {static_cast<std::uint8_t>(number & 0xFF),
                            static_cast<std::uint8_t>(number >> 8), 0, 0});
        return stored ? stored->status : 255;
    }

    static ConfigBlock RemoteBlock(std::uint16_t port, std::uint8_t mode,
                                   std::vector<TableUser> users = {}) {
        ConfigBlock b{};
        b[0] = static_cast<std::uint8_t>(port & 0xFF);
        b[1] = static_cast<std::uint8_t>(port >> 8);
        b[2] = mode;
        for (std::size_t u = 0; u < users.size(); ++u) {
            for (std::size_t k = 0; k < 4; ++k) b[16 + 8 * u + k] = users[u].ip[k];
            b[20 + 8 * u] = static_cast<std::uint8_t>(users[u].port & 0xFF);
            b[21 + 8 * u] = static_cast<std::uint8_t>(users[u].port >> 8);
        }
        SealBlock(b);
        return b;
    }

    std::uint64_t now_ = 1'000'000;
    int saves_ = 0;
    bool failSaves_ = false;
    std::optional<ModuleState> saved_;
    std::uint32_t sequence_ = 0;
    Response last_;
    Module module_;
};

TEST_F(EmulatorModule, IdentifiesItselfInThreeRequests) {
    auto first = Send(Usb(), 200, 0);
    auto second = Send(Usb(), 200, 1);
    auto third = Send(Usb(), 200, 2);
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(Text(first->data, 0, 4) + Text(second->data, 0, 4), "KV-3380U");
    EXPECT_EQ(Text(third->data, 0, 4), kFirmwareVersion);
    EXPECT_EQ(third->data[3 + 1], 0) << "nothing after the four characters";
    EXPECT_EQ(Send(Usb(), 200, 3)->status, wire::kModuleUnknownRequest);
}

TEST_F(EmulatorModule, ManagementRequestsToAnyModuleAddressReachTheModuleItself) {
    for (std::uint8_t address : {0, 1, 7, 255}) {
        auto r = Send(Usb(), 200, 0, {}, address);
        ASSERT_TRUE(r);
        EXPECT_EQ(Text(r->data, 0, 4), "KV-3") << int(address);
    }
    EXPECT_EQ(module_.BusMessages(), 0u);
}

TEST_F(EmulatorModule, ReadsEachBlockBehindTheEchoedRequestWords) {
    for (unsigned n = 250; n <= 254; ++n) {
        auto r = ReadBlock(n);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, wire::kOk);
        EXPECT_EQ(r->data[1], n);
        ConfigBlock got{};
        std::copy(r->data.begin() + 4, r->data.begin() + 260, got.begin());
        EXPECT_EQ(got, DefaultBlocks()[n - 250]);
    }
    for (unsigned n : {0u, 249u, 255u, 250u + 256u}) {
        auto r = ReadBlock(n);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, wire::kModuleBadBlock) << n;
        EXPECT_EQ(U32(r->data, 4), 0u);
    }
}

TEST_F(EmulatorModule, StoresAVerifiedBlockAndPersistsIt) {
    ConfigBlock b = RemoteBlock(40000, 2, {{{127, 0, 0, 9}, 0xFFFF, 0}});
    ASSERT_EQ(Store(250, b), wire::kOk);
    auto back = ReadBlock(250);
    ASSERT_TRUE(back);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), back->data.begin() + 4));
    ASSERT_TRUE(saved_.has_value());
    EXPECT_EQ(saved_->blocks[0], b);
    EXPECT_EQ(saves_, 1);
}

TEST_F(EmulatorModule, RefusesWrongChecksumWrongNumberAndMissingData) {
    ConfigBlock b = RemoteBlock(40000, 1);
    // Nothing handed over since power-on.
    EXPECT_EQ(Send(Usb(), 101, 11, {250, 0, 0, 0})->status, wire::kModuleNoData);

    ConfigBlock bad = b;
    bad[255] ^= 1;
    EXPECT_EQ(Store(250, bad), wire::kModuleBadChecksum);
    EXPECT_EQ(Store(249, b), wire::kModuleBadBlock);
    EXPECT_EQ(Store(255, b), wire::kModuleBadBlock);
    EXPECT_EQ(Store(250 + 256, b), wire::kModuleBadBlock);
    EXPECT_EQ(saves_, 0);
    EXPECT_EQ(module_.StoredBlock(250), DefaultBlocks()[0]);

    // A stored block is consumed: storing it again needs a new hand-over.
    ASSERT_EQ(Store(251, DefaultBlocks()[1]), wire::kOk);
    EXPECT_EQ(Send(Usb(), 101, 11, {251, 0, 0, 0})->status, wire::kModuleNoData);
}

TEST_F(EmulatorModule, AStoreThatCannotBeKeptIsReportedAndChangesNothing) {
    failSaves_ = true;
    ConfigBlock b = RemoteBlock(40000, 1);
    EXPECT_EQ(Store(250, b), wire::kModuleStoreFailed);
    EXPECT_EQ(module_.StoredBlock(250), DefaultBlocks()[0]);
    failSaves_ = false;
    // The hand-over is still there: storing again succeeds.
    EXPECT_EQ(Send(Usb(), 101, 11, {250, 0, 0, 0})->status, wire::kOk);
    EXPECT_EQ(module_.StoredBlock(250), b);
}

TEST_F(EmulatorModule, UnknownRequestsAreAnsweredAsSuch) {
    for (auto [f, p] : std::vector<std::pair<int, int>>{
             {0, 0}, {204, 2}, {205, 1}, {101, 12}, {255, 255}, {199, 0}})
        EXPECT_EQ(Send(Usb(), static_cast<std::uint8_t>(f), static_cast<std::uint8_t>(p))->status,
                  wire::kModuleUnknownRequest)
            << f << "/" << p;
}

TEST_F(EmulatorModule, ModuleStatusIsLaidOutWordByWord) {
    now_ += 7'999;  // 7.999 s after power-on
    auto r = Send(Usb(), 204, 100);
    ASSERT_TRUE(r);
    const auto& d = r->data;
    EXPECT_EQ(U32(d, 4), 7u);
    EXPECT_EQ(U32(d, 8), 0u);
    EXPECT_EQ(U32(d, 12), 0u);
    EXPECT_EQ(Text(d, 16, 8), "KV-3380U");
    EXPECT_EQ(Text(d, 24, 4), kFirmwareVersion);
    EXPECT_EQ(Text(d, 28, 8), "SN123456");
    EXPECT_EQ(d[36], 0) << "working mode";
    EXPECT_EQ(Text(d, 52, 4), std::string("\xC0\xA8\x01\x01"));
    EXPECT_EQ(d[56], 255);
    EXPECT_EQ(d[63], 254);
    const std::uint8_t working[12] = {192, 168, 0, 99, 255, 255, 255, 0, 192, 168, 0, 123};
    for (std::size_t k = 0; k < 12; ++k) EXPECT_EQ(d[64 + k], working[k]) << k;
    for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(d[76 + k], module_.State().mac[k]);
    EXPECT_EQ(U32(d, 84), kBusBaudRate);
    EXPECT_EQ(d[88] + 256 * d[89], kBusTimeoutMs);
    EXPECT_EQ(U32(d, 92), 0u);
    EXPECT_EQ(U32(d, 96), 0u);
    for (std::size_t i = 100; i < 180; ++i) EXPECT_EQ(d[i], 0) << "empty error table, word " << i;

    now_ += 1;
    EXPECT_EQ(U32(Send(Usb(), 204, 100)->data, 4), 8u);
}

TEST_F(EmulatorModule, SerialNumberInUseMayDifferFromTheStoredOne) {
    module_.SetSerial("XY000001");
    EXPECT_EQ(Text(Send(Usb(), 204, 100)->data, 28, 8), "XY000001");
}

TEST_F(EmulatorModule, StoredNetworkParametersShowOnlyAfterRestart) {
    ConfigBlock net{};
    const std::uint8_t octets[12] = {10, 0, 0, 5, 255, 255, 0, 0, 10, 0, 0, 1};
    std::copy(octets, octets + 12, net.begin() + 1);
    SealBlock(net);
    ASSERT_EQ(Store(254, net), wire::kOk);
    EXPECT_EQ(Send(Usb(), 204, 100)->data[64], 192);
    module_.Restart();
    auto d = Send(Usb(), 204, 100)->data;
    for (std::size_t k = 0; k < 12; ++k) EXPECT_EQ(d[64 + k], octets[k]);
}

TEST_F(EmulatorModule, RestartAnswersFirstThenResetsUptimeAndCounters) {
    const Source vlan1 = Udp(Channel::kVlan1, {127, 0, 0, 1}, 4000);
    ASSERT_TRUE(Send(vlan1, 200, 0, {}, 9));  // absent station: one error
    now_ += 60'000;
    auto before = Send(Usb(), 204, 100)->data;
    EXPECT_EQ(U32(before, 4), 60u);
    EXPECT_EQ(U32(before, 8), 1u);
    EXPECT_EQ(U32(before, 92), 1u);
    EXPECT_EQ(U32(before, 96), 1u);
    EXPECT_EQ(before[100], wire::kModuleBusAbsent);

    auto answer = Send(Usb(), 101, 255);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, wire::kOk);
    EXPECT_TRUE(last_.restart) << "the caller restarts the module once the answer is out";
    EXPECT_EQ(U32(Send(Usb(), 204, 100)->data, 4), 60u) << "nothing happens before the restart";

    module_.Restart();
    now_ += 2'000;
    auto after = Send(Usb(), 204, 100)->data;
    EXPECT_EQ(U32(after, 4), 2u);
    EXPECT_EQ(U32(after, 8), 0u);
    EXPECT_EQ(U32(after, 92), 0u);
    EXPECT_EQ(U32(after, 96), 0u);
    EXPECT_EQ(after[100], 0);
    // The MAC address and serial number belong to the hardware.
    for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(after[76 + k], before[76 + k]);
    EXPECT_EQ(Text(after, 28, 8), "SN123456");
}

TEST_F(EmulatorModule, RestartMovesOnlyPortsChangedSinceTheLastStart) {
    EXPECT_EQ(module_.Restart(), PortMoves{}) << "nothing stored, nothing moves";

    ASSERT_EQ(Store(250, RemoteBlock(40000, 1)), wire::kOk);
    ConfigBlock vlan2 = DefaultBlocks()[2];
    vlan2[0] = 0x10;
    vlan2[1] = 0x27;  // 10000
    SealBlock(vlan2);
    ASSERT_EQ(Store(252, vlan2), wire::kOk);
    EXPECT_EQ(module_.Remote().port, 56565) << "settings apply at restart only";

    PortMoves moves = module_.Restart();
    EXPECT_EQ(moves[0], std::optional<std::uint16_t>(40000));
    EXPECT_FALSE(moves[1].has_value());
    EXPECT_EQ(moves[2], std::optional<std::uint16_t>(10000));
    EXPECT_FALSE(moves[3].has_value());
    EXPECT_EQ(module_.Remote().port, 40000);

    // Restoring the very port that is in effect is no change.
    ASSERT_EQ(Store(250, RemoteBlock(40000, 1)), wire::kOk);
    EXPECT_FALSE(module_.Restart()[0].has_value());
}

TEST_F(EmulatorModule, RemoteManagementObeysTheModeInEffect) {
    const Source alice = Udp(Channel::kManagement, {127, 0, 0, 5}, 3000);
    const Source bob = Udp(Channel::kManagement, {127, 0, 0, 6}, 3000);
    const Source alicePort2 = Udp(Channel::kManagement, {127, 0, 0, 5}, 3001);
    EXPECT_TRUE(Send(alice, 200, 0)) << "default: allowed to everyone";

    // Mode 0: nobody over UDP, the USB link still works.
    ASSERT_EQ(Store(250, RemoteBlock(56565, 0)), wire::kOk);
    EXPECT_TRUE(Send(alice, 200, 0)) << "stored, not yet in effect";
    module_.Restart();
    EXPECT_FALSE(Send(alice, 200, 0));
    EXPECT_FALSE(Send(bob, 204, 100));
    EXPECT_TRUE(Send(Usb(), 200, 0));
    EXPECT_TRUE(Send({Channel::kSerial, {}, 0, "com"}, 200, 0));

    // Mode 2: only the table; port 0 and 65535 stand for any port.
    ASSERT_EQ(Store(250, RemoteBlock(56565, 2,
                                     {{{127, 0, 0, 5}, 3000, 0},
                                      {{127, 0, 0, 7}, 0, 0},
                                      {{127, 0, 0, 8}, 0xFFFF, 0}})),
              wire::kOk);
    module_.Restart();
    EXPECT_TRUE(Send(alice, 200, 0));
    EXPECT_FALSE(Send(alicePort2, 200, 0));
    EXPECT_FALSE(Send(bob, 200, 0));
    EXPECT_TRUE(Send(Udp(Channel::kManagement, {127, 0, 0, 7}, 999), 200, 0));
    EXPECT_TRUE(Send(Udp(Channel::kManagement, {127, 0, 0, 8}, 1), 200, 0));

    // Any other mode value denies like mode 0.
    ASSERT_EQ(Store(250, RemoteBlock(56565, 3)), wire::kOk);
    module_.Restart();
    EXPECT_FALSE(Send(alice, 200, 0));
}

TEST_F(EmulatorModule, NothingIsEverSentTowardsANonLoopbackSender) {
    for (Channel c : {Channel::kManagement, Channel::kVlan1}) {
        EXPECT_FALSE(Send(Udp(c, {192, 168, 0, 99}, 5000), 200, 0, {}, 1));
        EXPECT_FALSE(Send(Udp(c, {10, 0, 0, 1}, 5000), 200, 0, {}, 1));
        EXPECT_FALSE(Send(Udp(c, {127, 0, 0, 1}, 0), 200, 0, {}, 1)) << "port 0 cannot be answered";
    }
    EXPECT_EQ(module_.Vlan(0).Denied() + module_.Vlan(0).Allowed(), 0u);
    EXPECT_EQ(module_.BusMessages(), 0u);
}

TEST_F(EmulatorModule, MalformedDatagramsAreDroppedSilently) {
    auto good = Bytes(0, 200, 0, 0);
    std::vector<std::vector<std::uint8_t>> bad = {{}, {'K', 'V', '3', '8'}, good, good, good};
    bad[2].back() ^= 1;            // CRC
    bad[3].pop_back();             // cut short
    bad[4][5] = wire::kTypeReply;  // a reply is not a request
    for (const auto& b : bad)
        EXPECT_TRUE(module_.HandleDatagram(Usb(), b.data(), b.size()).datagram.empty());
    EXPECT_TRUE(module_.HandleDatagram(Usb(), nullptr, 0).datagram.empty());
}

TEST_F(EmulatorModule, RepeatedRequestIsAnsweredFromTheCacheNotExecutedTwice) {
    std::vector<std::uint8_t> data(4, 0);
    const ConfigBlock b = RemoteBlock(40000, 1);
    data.insert(data.end(), b.begin(), b.end());
    auto handOver = Bytes(0, 205, 0, 0, data);
    auto store = Bytes(0, 101, 11, 0, {250, 0, 0, 0});
    ASSERT_FALSE(module_.HandleDatagram(Usb(), handOver.data(), handOver.size()).datagram.empty());
    Response first = module_.HandleDatagram(Usb(), store.data(), store.size());
    ASSERT_EQ(wire::DecodeReply(first.datagram.data(), first.datagram.size())->status, wire::kOk);
    EXPECT_EQ(saves_, 1);

    // The reply was lost and the library sends the very same datagram again: executed
    // again, it would find no data and report an error.
    Response retry = module_.HandleDatagram(Usb(), store.data(), store.size());
    EXPECT_EQ(retry.datagram, first.datagram);
    EXPECT_TRUE(retry.fromCache);
    EXPECT_EQ(saves_, 1);

    // The same sequence number from another client is that client's own request.
    Response other = module_.HandleDatagram(Usb("/run/client-2.sock"), store.data(), store.size());
    EXPECT_EQ(wire::DecodeReply(other.datagram.data(), other.datagram.size())->status,
              wire::kModuleNoData);

    // The same sequence number with other content (a client that started over) is new.
    auto reused = Bytes(0, 204, 100, 0, {}, 2);
    Response fresh = module_.HandleDatagram(Usb(), reused.data(), reused.size());
    EXPECT_FALSE(fresh.fromCache);
    EXPECT_EQ(U32(wire::DecodeReply(fresh.datagram.data(), fresh.datagram.size())->data, 8), 0u);
}

TEST_F(EmulatorModule, RepeatedRestartRestartsOnce) {
    auto restart = Bytes(0, 101, 255, 0);
    EXPECT_TRUE(module_.HandleDatagram(Usb(), restart.data(), restart.size()).restart);
    module_.Restart();
    Response again = module_.HandleDatagram(Usb(), restart.data(), restart.size());
    EXPECT_FALSE(again.datagram.empty());
    EXPECT_FALSE(again.restart);
}

TEST_F(EmulatorModule, ReplyCacheForgetsOldestRepliesAndClients) {
    auto firstRequest = Bytes(0, 200, 0, 0);
    module_.HandleDatagram(Usb(), firstRequest.data(), firstRequest.size());
    for (std::size_t i = 0; i < Module::kCachedRepliesPerClient; ++i) Send(Usb(), 200, 1);
    EXPECT_FALSE(module_.HandleDatagram(Usb(), firstRequest.data(), firstRequest.size()).fromCache);

    auto kept = Bytes(0, 200, 0, 0);
    module_.HandleDatagram(Usb("/c/0"), kept.data(), kept.size());
    for (std::size_t c = 1; c <= Module::kCachedClients; ++c)
        module_.HandleDatagram(Usb("/c/" + std::to_string(c)), kept.data(), kept.size());
    EXPECT_FALSE(module_.HandleDatagram(Usb("/c/0"), kept.data(), kept.size()).fromCache);
    EXPECT_TRUE(module_.HandleDatagram(Usb("/c/5"), kept.data(), kept.size()).fromCache);
}

class EmulatorModuleCorruptStore : public EmulatorModule {
  protected:
    EmulatorModuleCorruptStore() : EmulatorModule(true) {}
};

TEST_F(EmulatorModuleCorruptStore, StoresOneByteChangedSoTheReadBackDiffers) {
    const ConfigBlock b = DefaultBlocks()[4];
    ASSERT_EQ(Store(254, b), wire::kOk);
    auto back = ReadBlock(254);
    ASSERT_TRUE(back);
    int differences = 0;
    for (std::size_t i = 0; i < kConfigBlockSize; ++i) differences += back->data[4 + i] != b[i];
    EXPECT_EQ(differences, 1);
    EXPECT_EQ(saved_->blocks[4], module_.StoredBlock(254));
}

// The simulated RS-485 bus behind the VLAN interfaces.
TEST_F(EmulatorModule, VlanRequestsReachTheBusStations) {
    const Source client = Udp(Channel::kVlan1, {127, 0, 0, 1}, 4000);
    auto name1 = Send(client, 200, 0, {}, 1);
    auto name2 = Send(client, 200, 1, {}, 1);
    ASSERT_TRUE(name1 && name2);
    EXPECT_EQ(name1->status, wire::kOk);
    const std::string name = Text(name1->data, 0, 4) + Text(name2->data, 0, 4);
    EXPECT_EQ(name.size(), 8u);
    EXPECT_NE(name, "KV-3380U") << "a station, not the module itself";
    EXPECT_NE(Text(Send(client, 200, 0, {}, 2)->data, 0, 4) +
                  Text(Send(client, 200, 1, {}, 2)->data, 0, 4),
              name);

    // A station keeps what is written to it.
    std::vector<std::uint8_t> data(4, 0);
    for (int i = 0; i < 256; ++i) data.push_back(static_cast<std::uint8_t>(255 - i));
    EXPECT_EQ(Send(client, 205, 3, data, 5)->status, wire::kOk);
    auto back = Send(client, 204, 3, {}, 5);
    EXPECT_TRUE(std::equal(data.begin() + 4, data.end(), back->data.begin() + 4));
    EXPECT_EQ(module_.BusMessages(), 6u);
    EXPECT_EQ(module_.BusErrors(), 0u);
}

TEST_F(EmulatorModule, AbsentStationTimesOutIntoTheErrorTable) {
    const Source client = Udp(Channel::kVlan2, {127, 0, 0, 1}, 4000);
    // VLAN 2 is off by default: switch it to the timer mode.
    ConfigBlock vlan2 = DefaultBlocks()[2];
    vlan2[2] = 1;
    SealBlock(vlan2);
    ASSERT_EQ(Store(252, vlan2), wire::kOk);
    module_.Restart();

    for (std::uint8_t k = 0; k < 7; ++k) {
        now_ += 1000;
        auto r = Send(client, 204, static_cast<std::uint8_t>(10 + k), {},
                      static_cast<std::uint8_t>(30 + k));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, wire::kModuleBusAbsent);
        EXPECT_GE(last_.delayMs, kBusTimeoutMs) << "the reply waits out the bus time-out";
    }
    auto d = Send(Usb(), 204, 100)->data;
    EXPECT_EQ(U32(d, 92), 7u);
    EXPECT_EQ(U32(d, 96), 7u);
    // Five records, newest first: the last request went to address 36, peripheral 16.
    for (std::size_t k = 0; k < 5; ++k) {
        const std::uint8_t* r = d.data() + 100 + 16 * k;
        EXPECT_EQ(r[0], wire::kModuleBusAbsent);
        EXPECT_EQ(r[1], 2) << "VLAN 2";
        EXPECT_EQ(r[2], 1) << "the timer's current user";
        EXPECT_EQ(r[3], 36 - k);
        EXPECT_EQ(r[4], 204);
        EXPECT_EQ(r[5], 16 - k);
        EXPECT_EQ(r[6], 0);
        EXPECT_EQ(r[7] + 256 * r[8], kBusTimeoutMs * (1 + kBusRepetitions));
        EXPECT_EQ(r[9], kBusRepetitions);
        EXPECT_EQ(U32(d, 100 + 16 * k + 10), (7 - k) * 1000u) << "ms since power-on";
    }
}

TEST_F(EmulatorModule, VlanStatusShowsTheListeningPortsAndEachInterface) {
    module_.SetListeningPorts(41000, {41001, 41002, 41003});
    ASSERT_TRUE(Send(Udp(Channel::kVlan1, {127, 0, 0, 1}, 4000), 200, 0, {}, 1));
    now_ += 2500;
    auto d = Send(Usb(), 204, 101)->data;
    for (std::size_t v = 0; v < 3; ++v) EXPECT_EQ(d[4 + 80 * v] + 256 * d[5 + 80 * v], 41001 + v);
    EXPECT_EQ(d[6], 1);
    EXPECT_EQ(d[86], 0);
    EXPECT_EQ(U32(d, 7), 7500u) << "10 s validity, 2.5 s gone";
    EXPECT_EQ(U32(d, 11), 10000u);
    EXPECT_EQ(U32(d, 15), 1u);
    EXPECT_EQ(Text(d, 36, 4), std::string("\x7F\x00\x00\x01", 4));
    // Management traffic does not count as VLAN access.
    EXPECT_EQ(U32(Send(Usb(), 204, 100)->data, 8), 1u);
}

}  // namespace
}  // namespace kv::emu
