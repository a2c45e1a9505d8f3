// The utility's transport operations through the real libraries against the emulator
// running as a separate process.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "connection/Connection.h"
#include "core/Dekl.h"
#include "core/ModuleLink.h"
#include "libraries/KvWire.h"
#include "platform/ProgramFolder.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/FreePort.h"
#include "transport/Qxxx380.h"

namespace {

using kv::testing::EmulatorProcess;
using Clock = std::chrono::steady_clock;

const std::string kModuleName = "KV-3380U";

struct Outcome {
    std::uint8_t error = 0xEE;
    std::uint8_t command = 0;
    kv::DataBuffer data{};
};

std::uint8_t Checksum(const kv::BlockWords& block) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < 255; ++i) sum += block[i] & 0xFF;
    return static_cast<std::uint8_t>((256 - sum % 256) % 256);
}

class LibraryEmulatorTest : public ::testing::Test {
  protected:
    void SetUp() override { kv::platform::SetProgramFolderForTesting(KV_BIN_DIR); }

    void TearDown() override {
        Close();
        unsetenv("KV3380U_USB_DIR");
        kv::platform::SetProgramFolderForTesting("");
        if (HasFailure()) std::cerr << "emulator output:\n" << emu_.Log();
    }

    bool StartEmulator(const std::vector<std::string>& extra = {}) {
        bool ok = emu_.Start(extra);
        // The library finds the virtual USB device where this emulator plugged it in.
        setenv("KV3380U_USB_DIR", emu_.UsbFolder().c_str(), 1);
        return ok;
    }

    // Opens kind 0 (first device found), 1 (source port = target port, as the utility
    // sets it), 2 (COM 7), 6 or 7, and configures 9600 Bd with a 200 ms reply time-out.
    std::uint32_t Open(std::uint8_t kind, std::uint32_t timeoutMs = 1000, std::uint16_t port = 0) {
        Close();
        ip_ = emu_.Address();
        serial_ = "";
        kv::InitBlock block{};
        if (port == 0) port = emu_.ManagementPort();
        if (kind == 0) {
            block[0] = 0;
            block[1] = reinterpret_cast<std::uintptr_t>(serial_.c_str());
            block[2] = timeoutMs;
        } else if (kind == 2) {
            block[0] = 7;
        } else {
            block[0] = reinterpret_cast<std::uintptr_t>(ip_.c_str());
            block[1] = port;
            block[2] = timeoutMs;
            if (kind == 1) block[3] = port;
        }
        std::uint32_t handle = 0;
        std::uint32_t code = connection_.OpenTransport(kind, &handle, block);
        if (code != 0) return code;
        connection_.SetModuleAddress(1);
        code = connection_.ConfigureTransport(9600, 200, 2);
        if (code != 0) Close();
        return code;
    }

    void Close() { connection_.Close(); }

    Outcome Do(std::uint8_t function, std::uint8_t peripheral,
               std::vector<std::uint32_t> words = {}, std::uint8_t command = 0) {
        Outcome o;
        o.command = command;
        for (std::size_t i = 0; i < words.size(); ++i) o.data[i] = words[i];
        const kv::Reply reply =
            connection_.Link().Transact({function, peripheral}, o.data, command);
        o.command = reply.command;
        o.error = reply.error;
        o.data = reply.data;
        return o;
    }

    // The three identification requests as the connection initialisation sends them.
    std::string Identify() {
        kv::Reply reply;
        std::string ident;
        for (std::uint8_t p = 0; p < 3; ++p) {
            reply = connection_.Link().Transact(kv::IdentifyRequest(p), reply.data, reply.command);
            if (!reply.Ok()) return "error " + std::to_string(reply.error);
            for (int i = 0; i < 4; ++i) ident += static_cast<char>(reply.data[i] & 0xFF);
            if (p == 1) ident += " v.";
        }
        return ident;
    }

    kv::BlockWords ReadBlock(std::uint16_t number, std::uint8_t& error) {
        Outcome o = Do(204, 1,
                       {0, static_cast<std::uint32_t>(number & 0xFF),
                        static_cast<std::uint32_t>(number >> 8), 0});
        error = o.error;
        kv::BlockWords block{};
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = o.data[4 + i];
        return block;
    }

    std::uint8_t WriteBlock(std::uint16_t number, kv::BlockWords block, std::string& message) {
        block[255] = Checksum(block);
        const kv::WriteOutcome outcome = connection_.Link().WriteBlockVerified(number, block);
        message = outcome.text;
        return outcome.error;
    }

    EmulatorProcess emu_;
    kv::Connection connection_;
    std::string ip_;
    std::string serial_;
};

TEST_F(LibraryEmulatorTest, IdentificationThroughEveryWorkingKind) {
    ASSERT_TRUE(StartEmulator({"--com", "7"})) << emu_.Log();
    for (std::uint8_t kind : {0, 1, 2, 6, 7}) {
        ASSERT_EQ(Open(kind), 0u) << "kind " << int(kind);
        std::string ident = Identify();
        EXPECT_EQ(ident.substr(0, 11), kModuleName + " v.") << "kind " << int(kind);
        ASSERT_EQ(ident.size(), 15u) << ident;
        // The version is four printable characters, whatever number it is.
        for (char c : ident.substr(11)) EXPECT_TRUE(c > ' ' && c < 0x7F) << ident;
        Close();
    }
    // The USB line named the device the library found first.
    EXPECT_NE(emu_.UsbPath().find("dev-" + emu_.Serial() + ".sock"), std::string::npos);
}

TEST_F(LibraryEmulatorTest, DefaultBlocksReadWithValidChecksums) {
    ASSERT_TRUE(StartEmulator()) << emu_.Log();
    ASSERT_EQ(Open(1), 0u);
    const kv::ModuleConfig defaults = kv::DefaultModuleConfig();
    for (std::uint16_t n = 250; n <= 254; ++n) {
        std::uint8_t error = 0xEE;
        kv::BlockWords block = ReadBlock(n, error);
        ASSERT_EQ(error, 0) << n;
        EXPECT_EQ(block[255], Checksum(block)) << n;
        for (auto w : block) ASSERT_LE(w, 0xFFu);
    }
    std::uint8_t error = 0;
    kv::BlockWords net = ReadBlock(254, error);
    for (std::size_t i = 0; i < 12; ++i)
        EXPECT_EQ(net[1 + i], defaults.bytes[kv::ModuleConfig::kIpAddress + i]) << i;
    kv::BlockWords remote = ReadBlock(250, error);
    EXPECT_EQ(remote[0] | (remote[1] << 8), defaults.U16(kv::ModuleConfig::kRemote));
    EXPECT_EQ(remote[2], defaults.bytes[kv::ModuleConfig::kRemote + kv::ModuleConfig::kRemoteMode]);

    // A block that does not exist is the module's error, shown by the library's text.
    Outcome bad = Do(204, 1, {0, 249, 0, 0});
    EXPECT_EQ(bad.error, kv::wire::kModuleBadBlock);
    for (auto w : bad.data) ASSERT_EQ(w, 0u);
    EXPECT_FALSE(kv::ErrorString(1, bad.error).empty());
}

TEST_F(LibraryEmulatorTest, VerifiedWriteOfEveryBlockSurvivesAnEmulatorRestart) {
    ASSERT_TRUE(StartEmulator()) << emu_.Log();
    std::array<kv::BlockWords, 5> written{};
    for (std::uint8_t kind : {0, 1}) {
        ASSERT_EQ(Open(kind), 0u);
        for (std::uint16_t n = 250; n <= 254; ++n) {
            std::uint8_t error = 0;
            kv::BlockWords block = ReadBlock(n, error);
            ASSERT_EQ(error, 0);
            // A harmless change: a table address in 250..253, the IP's last octet in 254.
            const std::size_t at = n == 254 ? 4 : 16;
            block[at] = (block[at] + 17 + kind) & 0xFF;
            std::string message = "untouched";
            EXPECT_EQ(WriteBlock(n, block, message), 0) << n << " " << message;
            EXPECT_EQ(message, "");
            block[255] = Checksum(block);
            written[n - 250] = block;
            EXPECT_EQ(ReadBlock(n, error), block) << n;
        }
        Close();
    }
    // The blocks are in the state file: a new emulator process has them.
    emu_.Stop();
    ASSERT_TRUE(StartEmulator()) << emu_.Log();
    ASSERT_EQ(Open(0), 0u);
    for (std::uint16_t n = 250; n <= 254; ++n) {
        std::uint8_t error = 0;
        EXPECT_EQ(ReadBlock(n, error), written[n - 250]) << n;
    }
}

TEST_F(LibraryEmulatorTest, RefusedBlocksGiveTheModuleCodesWithTexts) {
    ASSERT_TRUE(StartEmulator()) << emu_.Log();
    ASSERT_EQ(Open(0), 0u);
    std::uint8_t error = 0;
    kv::BlockWords block = ReadBlock(251, error);
    ASSERT_EQ(error, 0);
    kv::BlockWords wrongSum = block;
    wrongSum[16] = (wrongSum[16] + 1) & 0xFF;  // checksum left as it was
    const kv::WriteOutcome refused = connection_.Link().WriteBlockVerified(251, wrongSum);
    EXPECT_EQ(refused.error, kv::wire::kModuleBadChecksum);
    EXPECT_EQ(refused.text, kv::ErrorString(0, kv::wire::kModuleBadChecksum));
    std::string message;
    EXPECT_FALSE(refused.text.empty());
    EXPECT_EQ(WriteBlock(249, block, message), kv::wire::kModuleBadBlock);
    EXPECT_EQ(message, kv::ErrorString(0, kv::wire::kModuleBadBlock));
    // Nothing was stored.
    EXPECT_EQ(ReadBlock(251, error), block);
}

TEST_F(LibraryEmulatorTest, StatusRepliesDescribeThisEmulator) {
    ASSERT_TRUE(StartEmulator()) << emu_.Log();
    ASSERT_EQ(Open(1), 0u);
    Outcome first = Do(204, 100, {0, 0, 0, 0});
    ASSERT_EQ(first.error, 0);
    auto text = [&](const Outcome& o, std::size_t from, std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s += static_cast<char>(o.data[from + i]);
        return s;
    };
    auto u32 = [](const Outcome& o, std::size_t at) {
        return o.data[at] | (o.data[at + 1] << 8) | (o.data[at + 2] << 16) | (o.data[at + 3] << 24);
    };
    EXPECT_EQ(text(first, 16, 8), kModuleName);
    EXPECT_EQ(text(first, 28, 8), emu_.Serial());
    EXPECT_EQ(first.data[36], 0u) << "a fresh module is in working mode";
    const kv::ModuleConfig defaults = kv::DefaultModuleConfig();
    for (std::size_t i = 0; i < 12; ++i)
        EXPECT_EQ(first.data[64 + i], defaults.bytes[kv::ModuleConfig::kIpAddress + i]) << i;
    EXPECT_LT(u32(first, 4), 60u) << "seconds since power-on";

    // The version in the status reply is the one identification gives.
    std::string ident = Identify();
    EXPECT_EQ(text(first, 24, 4), ident.substr(11));

    Outcome again = Do(204, 100, {0, 0, 0, 0});
    ASSERT_EQ(again.error, 0);
    for (std::size_t i = 76; i < 82; ++i) EXPECT_EQ(again.data[i], first.data[i]) << "MAC " << i;
    EXPECT_GE(u32(again, 4), u32(first, 4));

    // VLAN status: each record reports the port the interface really listens on.
    Outcome vlan = Do(204, 101, {0, 0, 0, 0});
    ASSERT_EQ(vlan.error, 0);
    for (int v = 0; v < 3; ++v) {
        std::size_t at = 4 + 80 * static_cast<std::size_t>(v);
        EXPECT_EQ(vlan.data[at] | (vlan.data[at + 1] << 8), emu_.VlanPort(v)) << v;
        std::uint8_t mode =
            defaults.bytes[kv::ModuleConfig::VlanOffset(v) + kv::ModuleConfig::kVlanMode];
        EXPECT_EQ(vlan.data[at + 2], mode) << v;
    }
}

TEST_F(LibraryEmulatorTest, RestartMovesTheManagementPortOnlyWhenItWasChanged) {
    ASSERT_TRUE(StartEmulator()) << emu_.Log();
    const std::uint16_t oldPort = emu_.ManagementPort();
    ASSERT_EQ(Open(1), 0u);
    std::uint8_t error = 0;
    kv::BlockWords block = ReadBlock(250, error);
    ASSERT_EQ(error, 0);

    // Until the restart, the module keeps listening where it did.
    const std::uint16_t newPort = kv::testing::FreeUdpPort(emu_.Address(), oldPort);
    block[0] = newPort & 0xFF;
    block[1] = newPort >> 8;
    std::string message;
    ASSERT_EQ(WriteBlock(250, block, message), 0) << message;
    EXPECT_EQ(Identify().substr(0, 8), kModuleName);

    Outcome restart = Do(101, 255, {0, 0, 0, 0});
    EXPECT_EQ(restart.error, 0);
    ASSERT_TRUE(emu_.WaitForReady(std::chrono::seconds(10))) << emu_.Log();
    EXPECT_EQ(emu_.ManagementPort(), newPort);

    // The old port is gone: the open connection times out.
    Close();
    ASSERT_EQ(Open(1, 300, oldPort), 0u);
    Outcome old = Do(200, 0);
    EXPECT_EQ(old.error, kv::wire::kTimeout);
    // Reconnected on the new port (with it as the source port too), all is well.
    ASSERT_EQ(Open(1, 1000, newPort), 0u);
    EXPECT_EQ(Identify().substr(0, 8), kModuleName);

    // A second restart without a change leaves the port where it is.
    Do(101, 255, {0, 0, 0, 0});
    EXPECT_FALSE(emu_.WaitForReady(std::chrono::milliseconds(500)));
    EXPECT_EQ(Identify().substr(0, 8), kModuleName);
}

TEST_F(LibraryEmulatorTest, ManagementModeZeroRefusesUdpWhileUsbStillWorks) {
    ASSERT_TRUE(StartEmulator()) << emu_.Log();
    ASSERT_EQ(Open(1), 0u);
    std::uint8_t error = 0;
    kv::BlockWords block = ReadBlock(250, error);
    ASSERT_EQ(error, 0);
    block[2] = 0;
    std::string message;
    ASSERT_EQ(WriteBlock(250, block, message), 0) << message;
    // Stored, not yet applied.
    EXPECT_EQ(Identify().substr(0, 8), kModuleName);

    ASSERT_EQ(Open(0), 0u);
    EXPECT_EQ(Do(101, 255, {0, 0, 0, 0}).error, 0);
    EXPECT_EQ(Identify().substr(0, 8), kModuleName);

    ASSERT_EQ(Open(1, 400), 0u);
    auto start = Clock::now();
    Outcome refused = Do(200, 0);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_EQ(refused.error, kv::wire::kTimeout);
    EXPECT_GE(ms, 395);
    EXPECT_LT(ms, 3000);
    ASSERT_EQ(Open(6, 300), 0u);
    EXPECT_EQ(Do(200, 0).error, kv::wire::kTimeout);

    ASSERT_EQ(Open(0), 0u);
    EXPECT_EQ(Identify().substr(0, 8), kModuleName);
}

TEST_F(LibraryEmulatorTest, LostRepliesAreRetried) {
    ASSERT_TRUE(StartEmulator({"--drop", "0.3"})) << emu_.Log();
    for (std::uint8_t kind : {0, 1}) {
        // Twelve tries per request: all of them lost is a one in two million chance.
        ASSERT_EQ(Open(kind, 3000), 0u);
        for (int i = 0; i < 15; ++i) ASSERT_EQ(Identify().substr(0, 8), kModuleName) << i;
        std::uint8_t error = 0;
        kv::BlockWords block = ReadBlock(252, error);
        ASSERT_EQ(error, 0);
        block[17] = (block[17] + 1 + kind) & 0xFF;
        std::string message;
        EXPECT_EQ(WriteBlock(252, block, message), 0) << message;
    }
}

TEST_F(LibraryEmulatorTest, SilentModuleTimesOutAfterTheTimeoutAndNotMuchLater) {
    ASSERT_TRUE(StartEmulator({"--silent"})) << emu_.Log();
    for (std::uint8_t kind : {0, 1}) {
        ASSERT_EQ(Open(kind, 400), 0u);
        auto start = Clock::now();
        Outcome o = Do(200, 0, {}, 9);
        auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        EXPECT_EQ(o.error, kv::wire::kTimeout);
        EXPECT_EQ(o.command, 0);
        EXPECT_GE(ms, 395);
        EXPECT_LT(ms, 3000);
        EXPECT_FALSE(kv::ErrorString(kind, o.error).empty());
        std::string message;
        kv::BlockWords block{};
        EXPECT_EQ(WriteBlock(250, block, message), kv::wire::kTimeout);
        EXPECT_EQ(message, kv::ErrorString(kind, kv::wire::kTimeout));
    }
}

TEST_F(LibraryEmulatorTest, DuplicatedAndCorruptedRepliesAreIgnored) {
    for (const char* fault : {"--duplicate", "--corrupt"}) {
        ASSERT_TRUE(StartEmulator({fault, fault == std::string("--duplicate") ? "1" : "0.5"}))
            << emu_.Log();
        for (std::uint8_t kind : {0, 1}) {
            // Twenty tries per request, so that even half of the replies spoilt leaves
            // a failure of about one in a million.
            ASSERT_EQ(Open(kind, 5000), 0u);
            // Alternating blocks: a reply taken for the wrong request shows at once.
            std::array<kv::BlockWords, 5> first{};
            for (int round = 0; round < 2; ++round) {
                for (std::uint16_t n = 250; n <= 254; ++n) {
                    std::uint8_t error = 0;
                    Outcome o = Do(204, 1, {0, static_cast<std::uint32_t>(n), 0, 0});
                    ASSERT_EQ(o.error, 0) << fault << " " << n;
                    EXPECT_EQ(o.data[1], n);
                    kv::BlockWords b = ReadBlock(n, error);
                    ASSERT_EQ(error, 0);
                    EXPECT_EQ(b[255], Checksum(b)) << fault << " " << n;
                    if (round == 0) first[n - 250] = b;
                    EXPECT_EQ(b, first[n - 250]) << fault << " " << n;
                }
            }
            EXPECT_EQ(Identify().substr(0, 8), kModuleName) << fault;
        }
        Close();
        emu_.Stop();
    }
}

TEST_F(LibraryEmulatorTest, CorruptedStoreIsAReadBackError) {
    ASSERT_TRUE(StartEmulator({"--corrupt-store"})) << emu_.Log();
    for (std::uint8_t kind : {0, 1}) {
        ASSERT_EQ(Open(kind), 0u);
        std::uint8_t error = 0;
        kv::BlockWords block = ReadBlock(254, error);
        ASSERT_EQ(error, 0);
        block[4] = (block[4] + 1) & 0xFF;
        std::string message;
        EXPECT_EQ(WriteBlock(254, block, message), kv::kErrReadBack);
        EXPECT_EQ(message, "Chyba zápisu dat.");
        // The library's own text for 9 is the same.
        EXPECT_EQ(kv::ErrorString(kind, kv::kErrReadBack), "Chyba zápisu dat.");
    }
}

// A small relay between library and emulator that knows each request's sequence number
// and throws forged replies at the library before the real one: from another port with
// the right sequence number, and from the relay's own port with wrong ones.
class SpoofingRelay {
  public:
    SpoofingRelay(const std::string& address, std::uint16_t modulePort) {
        inet_pton(AF_INET, address.c_str(), &module_.sin_addr);
        module_.sin_family = AF_INET;
        module_.sin_port = htons(modulePort);
        front_ = Bound(address);
        back_ = Bound(address);
        forger_ = Bound(address);
        sockaddr_in a{};
        socklen_t len = sizeof a;
        getsockname(front_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~SpoofingRelay() {
        stop_ = true;
        thread_.join();
        close(front_);
        close(back_);
        close(forger_);
    }
    std::uint16_t Port() const { return port_; }
    int Forged() const { return forged_; }

  private:
    static int Bound(const std::string& address) {
        int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, address.c_str(), &a.sin_addr);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        return fd;
    }
    void Run() {
        sockaddr_in client{};
        const auto end = Clock::now() + std::chrono::seconds(60);
        while (!stop_ && Clock::now() < end) {
            pollfd fds[2] = {{front_, POLLIN, 0}, {back_, POLLIN, 0}};
            if (poll(fds, 2, 20) <= 0) continue;
            std::uint8_t buf[2048];
            if (fds[0].revents & POLLIN) {
                socklen_t len = sizeof client;
                ssize_t n = recvfrom(front_, buf, sizeof buf, 0,
                                     reinterpret_cast<sockaddr*>(&client), &len);
                if (n <= 0) continue;
                auto req = kv::wire::DecodeRequest(buf, static_cast<std::size_t>(n));
                if (req) {
                    kv::wire::Reply fake;
                    fake.sequence = req->sequence;
                    fake.replyValue = 0x66;
                    fake.data.fill('X');
                    auto bytes = kv::wire::EncodeReply(fake);
                    sendto(forger_, bytes.data(), bytes.size(), 0,
                           reinterpret_cast<sockaddr*>(&client), sizeof client);
                    fake.sequence = req->sequence + 1;
                    bytes = kv::wire::EncodeReply(fake);
                    sendto(front_, bytes.data(), bytes.size(), 0,
                           reinterpret_cast<sockaddr*>(&client), sizeof client);
                    fake.sequence = req->sequence - 1;
                    bytes = kv::wire::EncodeReply(fake);
                    sendto(front_, bytes.data(), bytes.size(), 0,
                           reinterpret_cast<sockaddr*>(&client), sizeof client);
                    forged_ += 3;
                }
                sendto(back_, buf, static_cast<std::size_t>(n), 0,
                       reinterpret_cast<sockaddr*>(&module_), sizeof module_);
            }
            if (fds[1].revents & POLLIN) {
                ssize_t n = recv(back_, buf, sizeof buf, 0);
                if (n > 0)
                    sendto(front_, buf, static_cast<std::size_t>(n), 0,
                           reinterpret_cast<sockaddr*>(&client), sizeof client);
            }
        }
    }

    sockaddr_in module_{};
    int front_ = -1, back_ = -1, forger_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> forged_{0};
    std::thread thread_;
};

TEST_F(LibraryEmulatorTest, SpoofedRepliesAtTheLibraryAreIgnored) {
    ASSERT_TRUE(StartEmulator()) << emu_.Log();
    SpoofingRelay relay(emu_.Address(), emu_.ManagementPort());
    for (std::uint8_t kind : {6, 7}) {
        ASSERT_EQ(Open(kind, 1000, relay.Port()), 0u);
        for (int i = 0; i < 5; ++i) {
            ASSERT_EQ(Identify().substr(0, 8), kModuleName) << i;
            std::uint8_t error = 0;
            kv::BlockWords b = ReadBlock(253, error);
            ASSERT_EQ(error, 0);
            EXPECT_EQ(b[255], Checksum(b));
        }
    }
    EXPECT_GE(relay.Forged(), 2 * 5 * 4 * 3);
}

TEST_F(LibraryEmulatorTest, MalformedDatagramsDoNotStopTheEmulator) {
    ASSERT_TRUE(StartEmulator()) << emu_.Log();
    std::mt19937 rng(7);
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int ux = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un uxAddr{};
    uxAddr.sun_family = AF_UNIX;
    std::string uxPath = emu_.Folder() + "/noise.sock";
    std::strncpy(uxAddr.sun_path, uxPath.c_str(), sizeof uxAddr.sun_path - 1);
    bind(ux, reinterpret_cast<sockaddr*>(&uxAddr), sizeof uxAddr);
    sockaddr_un dev{};
    dev.sun_family = AF_UNIX;
    std::strncpy(dev.sun_path, emu_.UsbPath().c_str(), sizeof dev.sun_path - 1);

    kv::wire::Request valid;
    valid.function = 204;
    valid.peripheral = 1;
    valid.data[1] = 250;
    const auto good = kv::wire::EncodeRequest(valid);
    // Bounded: 600 datagrams in all, each to one of the five sockets.
    for (int i = 0; i < 600; ++i) {
        std::vector<std::uint8_t> d;
        switch (i % 4) {
            case 0:
                d.resize(rng() % 2000);
                for (auto& b : d) b = static_cast<std::uint8_t>(rng());
                break;
            case 1:
                d = good;
                d[rng() % d.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
                break;
            case 2:
                d = good;
                d.resize(rng() % d.size());
                break;
            default: {
                // Well-formed, but with unknown functions, huge block numbers, any data.
                kv::wire::Request r;
                r.sequence = rng();
                r.function = static_cast<std::uint8_t>(rng());
                r.peripheral = static_cast<std::uint8_t>(rng());
                r.data[0] = static_cast<std::uint8_t>(rng());
                r.data[1] = static_cast<std::uint8_t>(rng());
                r.data[2] = static_cast<std::uint8_t>(rng());
                if (r.function == 101 && r.peripheral == 255) r.peripheral = 0;  // no restarts
                d = kv::wire::EncodeRequest(r);
            }
        }
        int target = i % 5;
        if (target == 4) {
            sendto(ux, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&dev), sizeof dev);
        } else {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            inet_pton(AF_INET, emu_.Address().c_str(), &to.sin_addr);
            to.sin_port = htons(target == 0 ? emu_.ManagementPort() : emu_.VlanPort(target - 1));
            sendto(fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
    }
    close(fd);
    close(ux);
    unlink(uxPath.c_str());
    EXPECT_TRUE(emu_.Running());
    for (std::uint8_t kind : {0, 1}) {
        ASSERT_EQ(Open(kind), 0u);
        EXPECT_EQ(Identify().substr(0, 8), kModuleName);
    }
    EXPECT_TRUE(emu_.Running());
    // And it still ends cleanly, removing its device.
    int status = emu_.Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(access(emu_.UsbPath().c_str(), F_OK), 0);
}

}  // namespace
