// The emulator as a process: its command line, what it prints, its sockets and its
// shutdown, as scripts and the end-to-end tests rely on them.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/Blocks.h"
#include "libraries/KvWire.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/FreePort.h"
#include "tests/support/ProcStatus.h"

namespace kv::emu {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kStartTimeoutMs = 10000;
constexpr int kReplyTimeoutMs = 3000;

std::string EmulatorPath() {
    return std::string(KV_BIN_DIR) + "/kv3380u-emulator";
}

using kv::testing::EmulatorProcess;

// "udp 127.0.0.2:41234 vlan1" -> 41234
std::uint16_t PortOf(const std::string& line) {
    auto colon = line.find(':');
    return static_cast<std::uint16_t>(std::stoi(line.substr(colon + 1)));
}

class UdpClient {
  public:
    UdpClient() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~UdpClient() { ::close(fd_); }

    std::optional<wire::Reply> Transact(std::uint16_t port, wire::Request rq,
                                        int timeoutMs = kReplyTimeoutMs) {
        rq.sequence = ++sequence_;
        auto bytes = wire::EncodeRequest(rq);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        ::inet_pton(AF_INET, "127.0.0.2", &to.sin_addr);
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0) return std::nullopt;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            std::uint8_t buf[2048];
            ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) continue;
            auto reply = wire::DecodeReply(buf, static_cast<std::size_t>(n));
            if (reply && reply->sequence == sequence_) return reply;
        }
    }

    // Sends without waiting for an answer.
    void Post(std::uint16_t port, wire::Request rq) {
        rq.sequence = ++sequence_;
        auto bytes = wire::EncodeRequest(rq);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        ::inet_pton(AF_INET, "127.0.0.2", &to.sin_addr);
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

    // Every datagram that arrives within the time.
    std::vector<std::vector<std::uint8_t>> Collect(int forMs) {
        std::vector<std::vector<std::uint8_t>> got;
        const auto deadline = Clock::now() + std::chrono::milliseconds(forMs);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0) return got;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            std::uint8_t buf[2048];
            ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n > 0) got.emplace_back(buf, buf + n);
        }
    }

    std::uint16_t Port() const {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        return ntohs(a.sin_port);
    }

  private:
    int fd_ = -1;
    std::uint32_t sequence_ = 0;
};

wire::Request Req(std::uint8_t function, std::uint8_t peripheral,
                  std::vector<std::uint8_t> data = {}) {
    wire::Request rq;
    rq.function = function;
    rq.peripheral = peripheral;
    for (std::size_t i = 0; i < data.size(); ++i) rq.data[i] = data[i];
    return rq;
}

std::uint16_t FreePort() {
    return kv::testing::FreeUdpPort("127.0.0.2");
}

class EmulatorProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(EmulatorPath())) GTEST_SKIP() << "kv3380u-emulator not built";
        char pattern[] = "/tmp/kvemu-proc-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    std::vector<std::string> Args(std::vector<std::string> more = {}) const {
        std::vector<std::string> a = {"--port",    "0",           "--vlan-ports", "0,0,0",
                                      "--usb-dir", dir_ + "/usb", "--state",      dir_ + "/state"};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }
    std::string dir_;
};

TEST_F(EmulatorProcessTest, PrintsWhereItListensAnswersAndCleansUpOnSigterm) {
    EmulatorProcess p;
    ASSERT_TRUE(p.Launch(Args({"--usb-serial", "TEST0001"})));
    auto lines = p.UntilReady();
    ASSERT_EQ(lines.size(), 6u) << p.Errors();
    EXPECT_EQ(lines[0].rfind("udp 127.0.0.2:", 0), 0u);
    EXPECT_NE(lines[0].find(" remote management"), std::string::npos);
    EXPECT_NE(lines[1].find(" vlan1"), std::string::npos);
    EXPECT_NE(lines[2].find(" vlan2"), std::string::npos);
    EXPECT_NE(lines[3].find(" vlan3"), std::string::npos);
    const std::string socketPath = dir_ + "/usb/dev-TEST0001.sock";
    EXPECT_EQ(lines[4], "usb " + socketPath + " serial TEST0001");
    EXPECT_EQ(lines[5], "ready");
    EXPECT_TRUE(fs::exists(socketPath));
    EXPECT_EQ(fs::status(dir_ + "/usb").permissions() & fs::perms::all, fs::perms::owner_all);

    UdpClient client;
    auto r = client.Transact(PortOf(lines[0]), Req(200, 0));
    ASSERT_TRUE(r);
    EXPECT_EQ(std::string(r->data.begin(), r->data.begin() + 4), "KV-3");
    // The VLAN ports lead to the bus: station 1 answers with its own name.
    wire::Request toStation = Req(200, 0);
    toStation.address = 1;
    ASSERT_TRUE(client.Transact(PortOf(lines[1]), toStation));

    p.Signal(SIGTERM);
    EXPECT_EQ(p.Wait(), 0);
    EXPECT_FALSE(fs::exists(socketPath));
}

// The signals that stop the emulator: blocked in every thread, they reach its loop
// through a signalfd; a thread that left one open could be picked to die of it.
bool BlocksStopSignals(const std::string& statusFile) {
    const auto blocked = kv::testing::ProcSignalSet(statusFile, "SigBlk");
    return blocked && kv::testing::SignalInSet(*blocked, SIGTERM) &&
           kv::testing::SignalInSet(*blocked, SIGINT);
}

TEST_F(EmulatorProcessTest, EveryThreadBlocksTheStopSignals) {
    EmulatorProcess p;
    ASSERT_TRUE(p.Launch(Args({"--no-usb"})));
    ASSERT_EQ(p.UntilReady().size(), 5u) << p.Errors();
    const auto threads = kv::testing::ProcThreads(p.Pid());
    EXPECT_GE(threads.size(), 2u) << "the state writer has a thread of its own";
    for (pid_t tid : threads)
        EXPECT_TRUE(BlocksStopSignals(kv::testing::ProcStatusFile(p.Pid(), tid))) << tid;
    p.Signal(SIGTERM);
    EXPECT_EQ(p.Wait(), 0);
}

TEST_F(EmulatorProcessTest, StopSignalDuringStartUpWaitsAndNeverKillsIt) {
    // A FIFO as the state file holds the emulator in its start-up, in the open of the
    // state, until the test opens the other end.
    const std::string state = dir_ + "/state";
    ASSERT_EQ(::mkfifo(state.c_str(), 0600), 0);
    EmulatorProcess p;
    ASSERT_TRUE(p.Launch(Args()));
    // The stop signals are blocked from the start, before the state is even opened: the
    // emulator shows them blocked while it waits in that open.
    const auto deadline = Clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (!BlocksStopSignals(kv::testing::ProcStatusFile(p.Pid())) && Clock::now() < deadline)
        ::usleep(5000);
    ASSERT_TRUE(BlocksStopSignals(kv::testing::ProcStatusFile(p.Pid())))
        << "the emulator left SIGTERM open during its start-up";
    p.Signal(SIGTERM);

    int writer = -1;
    while (writer < 0 && Clock::now() < deadline) {
        writer = ::open(state.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer < 0) ::usleep(5000);  // ENXIO until the emulator has its end open
    }
    ASSERT_GE(writer, 0);
    ::close(writer);
    // A FIFO is no state file: the emulator refuses it and ends with 1, by itself; the
    // pending SIGTERM did not kill it on the way (that would be 143).
    EXPECT_EQ(p.Wait(), 1);
    EXPECT_NE(p.Errors().find("not a regular file"), std::string::npos);
}

TEST_F(EmulatorProcessTest, VirtualUsbDeviceAnswersItsClientSocket) {
    EmulatorProcess p;
    ASSERT_TRUE(p.Launch(Args()));
    ASSERT_EQ(p.UntilReady().size(), 6u) << p.Errors();
    const std::string device = dir_ + "/usb/dev-00000001.sock";
    const std::string me = dir_ + "/usb/client.sock";
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strcpy(a.sun_path, me.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    wire::Request rq = Req(200, 2);
    rq.sequence = 5;
    auto bytes = wire::EncodeRequest(rq);
    std::strcpy(a.sun_path, device.c_str());
    ASSERT_EQ(
        ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a),
        static_cast<ssize_t>(bytes.size()));
    pollfd pf{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&pf, 1, kReplyTimeoutMs), 1);
    std::uint8_t buf[2048];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    ::close(fd);
    auto reply = wire::DecodeReply(buf, static_cast<std::size_t>(n));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->sequence, 5u);
    EXPECT_EQ(reply->data[0], '1');
    p.Signal(SIGINT);
    EXPECT_EQ(p.Wait(), 0);
}

TEST_F(EmulatorProcessTest, RestartMovesTheStoredPortAndANewProcessKeepsIt) {
    const std::uint16_t newPort = FreePort();
    {
        EmulatorProcess p;
        ASSERT_TRUE(p.Launch(Args({"--no-usb"})));
        auto lines = p.UntilReady();
        ASSERT_EQ(lines.size(), 5u) << p.Errors();
        const std::uint16_t oldPort = PortOf(lines[0]);

        ConfigBlock b{};
        b[0] = static_cast<std::uint8_t>(newPort & 0xFF);
        b[1] = static_cast<std::uint8_t>(newPort >> 8);
        b[2] = 1;
        SealBlock(b);
        std::vector<std::uint8_t> data(4, 0);
        data.insert(data.end(), b.begin(), b.end());
        UdpClient client;
        ASSERT_EQ(client.Transact(oldPort, Req(205, 0, data))->status, wire::kOk);
        ASSERT_EQ(client.Transact(oldPort, Req(101, 11, {250, 0, 0, 0}))->status, wire::kOk);
        ASSERT_EQ(client.Transact(oldPort, Req(204, 1, {0, 250, 0, 0}))->data[4], b[0]);
        auto restart = client.Transact(oldPort, Req(101, 255));
        ASSERT_TRUE(restart);

        auto moved = p.UntilReady();
        ASSERT_EQ(moved.size(), 5u) << p.Errors();
        EXPECT_EQ(PortOf(moved[0]), newPort);
        EXPECT_EQ(moved[1], lines[1]) << "unchanged VLAN ports stay";
        EXPECT_EQ(moved[4], "ready");
        ASSERT_TRUE(client.Transact(newPort, Req(200, 0)));
        p.Signal(SIGTERM);
        EXPECT_EQ(p.Wait(), 0);
    }
    // Powered up again without --port: block 250's port, stored in the state file.
    EmulatorProcess again;
    std::vector<std::string> args = {"--vlan-ports", "0,0,0", "--no-usb", "--state",
                                     dir_ + "/state"};
    ASSERT_TRUE(again.Launch(args));
    auto lines = again.UntilReady();
    ASSERT_EQ(lines.size(), 5u) << again.Errors();
    EXPECT_EQ(PortOf(lines[0]), newPort);
    UdpClient client;
    auto block = client.Transact(newPort, Req(204, 1, {0, 250, 0, 0}));
    ASSERT_TRUE(block);
    EXPECT_EQ(block->data[4] + 256 * block->data[5], newPort);
}

TEST_F(EmulatorProcessTest, RestartHappensEvenWhenItsAnswerIsLost) {
    EmulatorProcess p;
    ASSERT_TRUE(p.Launch(Args({"--no-usb", "--drop", "1"})));
    auto lines = p.UntilReady();
    ASSERT_EQ(lines.size(), 5u) << p.Errors();
    const std::uint16_t newPort = FreePort();
    ConfigBlock b = DefaultBlocks()[1];
    b[0] = static_cast<std::uint8_t>(newPort & 0xFF);
    b[1] = static_cast<std::uint8_t>(newPort >> 8);
    SealBlock(b);
    std::vector<std::uint8_t> data(4, 0);
    data.insert(data.end(), b.begin(), b.end());
    UdpClient client;
    // Every answer is dropped, but the requests still arrive and run in order.
    client.Post(PortOf(lines[0]), Req(205, 0, data));
    client.Post(PortOf(lines[0]), Req(101, 11, {251, 0, 0, 0}));
    client.Post(PortOf(lines[0]), Req(101, 255));
    auto moved = p.UntilReady();
    ASSERT_EQ(moved.size(), 5u) << p.Errors();
    EXPECT_EQ(moved[0], lines[0]);
    EXPECT_EQ(PortOf(moved[1]), newPort);
    EXPECT_TRUE(client.Collect(200).empty());
}

TEST_F(EmulatorProcessTest, RequestsWaitingFromTwoSendersAreEachJudgedByTheirOwnSender) {
    EmulatorProcess p;
    ASSERT_TRUE(p.Launch(Args({"--no-usb"})));
    auto lines = p.UntilReady();
    ASSERT_EQ(lines.size(), 5u) << p.Errors();
    const std::uint16_t port = PortOf(lines[0]);
    UdpClient allowed, refused;

    // Remote management only for `allowed`'s port; the block port stays, so the restart
    // that applies the table moves nothing.
    ConfigBlock b = DefaultBlocks()[0];
    b[2] = 2;
    const std::uint8_t loopback[4] = {127, 0, 0, 1};
    for (std::size_t k = 0; k < 4; ++k) b[16 + k] = loopback[k];
    b[20] = static_cast<std::uint8_t>(allowed.Port() & 0xFF);
    b[21] = static_cast<std::uint8_t>(allowed.Port() >> 8);
    SealBlock(b);
    std::vector<std::uint8_t> data(4, 0);
    data.insert(data.end(), b.begin(), b.end());
    ASSERT_EQ(allowed.Transact(port, Req(205, 0, data))->status, wire::kOk);
    ASSERT_EQ(allowed.Transact(port, Req(101, 11, {250, 0, 0, 0}))->status, wire::kOk);
    ASSERT_TRUE(allowed.Transact(port, Req(101, 255)));

    // Both send in turns before the emulator reads anything: every request of one is
    // answered, each exactly once, and no request of the other, though it comes from the
    // same address right after an allowed one.
    constexpr int kEach = 20;
    for (int i = 0; i < kEach; ++i) {
        allowed.Post(port, Req(200, static_cast<std::uint8_t>(i % 3)));
        refused.Post(port, Req(200, static_cast<std::uint8_t>(i % 3)));
    }
    std::vector<int> answers(kEach, 0);
    for (const auto& d : allowed.Collect(1000)) {
        auto reply = wire::DecodeReply(d.data(), d.size());
        ASSERT_TRUE(reply);
        // The three requests before these took sequence numbers 1..3.
        ASSERT_GE(reply->sequence, 4u);
        ASSERT_LT(reply->sequence, 4u + kEach);
        ++answers[reply->sequence - 4];
    }
    EXPECT_EQ(answers, std::vector<int>(kEach, 1));
    EXPECT_TRUE(refused.Collect(200).empty());
}

TEST_F(EmulatorProcessTest, InjectedFaultsShapeTheReplies) {
    {
        EmulatorProcess p;
        ASSERT_TRUE(p.Launch(Args({"--no-usb", "--duplicate", "1"})));
        auto lines = p.UntilReady();
        ASSERT_EQ(lines.size(), 5u) << p.Errors();
        UdpClient client;
        client.Post(PortOf(lines[0]), Req(200, 0));
        auto got = client.Collect(500);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0], got[1]);
    }
    {
        EmulatorProcess p;
        ASSERT_TRUE(p.Launch(Args({"--no-usb", "--delay", "300"})));
        auto lines = p.UntilReady();
        ASSERT_EQ(lines.size(), 5u) << p.Errors();
        UdpClient client;
        const auto start = Clock::now();
        ASSERT_TRUE(client.Transact(PortOf(lines[0]), Req(200, 0)));
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
    }
    {
        EmulatorProcess p;
        ASSERT_TRUE(p.Launch(Args({"--no-usb", "--corrupt", "1"})));
        auto lines = p.UntilReady();
        ASSERT_EQ(lines.size(), 5u) << p.Errors();
        UdpClient client;
        client.Post(PortOf(lines[0]), Req(200, 0));
        auto got = client.Collect(500);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_FALSE(wire::DecodeReply(got[0].data(), got[0].size()).has_value());
    }
    {
        EmulatorProcess p;
        ASSERT_TRUE(p.Launch(Args({"--no-usb", "--silent"})));
        auto lines = p.UntilReady();
        ASSERT_EQ(lines.size(), 5u) << p.Errors();
        UdpClient client;
        client.Post(PortOf(lines[0]), Req(101, 255));
        client.Post(PortOf(lines[0]), Req(200, 0));
        EXPECT_TRUE(client.Collect(300).empty());
    }
}

TEST_F(EmulatorProcessTest, CorruptStoreMakesTheReadBackDiffer) {
    EmulatorProcess p;
    ASSERT_TRUE(p.Launch(Args({"--no-usb", "--corrupt-store"})));
    auto lines = p.UntilReady();
    ASSERT_EQ(lines.size(), 5u) << p.Errors();
    const ConfigBlock b = DefaultBlocks()[4];
    std::vector<std::uint8_t> data(4, 0);
    data.insert(data.end(), b.begin(), b.end());
    UdpClient client;
    const std::uint16_t port = PortOf(lines[0]);
    ASSERT_EQ(client.Transact(port, Req(205, 0, data))->status, wire::kOk);
    ASSERT_EQ(client.Transact(port, Req(101, 11, {254, 0, 0, 0}))->status, wire::kOk);
    auto back = client.Transact(port, Req(204, 1, {0, 254, 0, 0}));
    ASSERT_TRUE(back);
    EXPECT_FALSE(std::equal(b.begin(), b.end(), back->data.begin() + 4));
}

TEST_F(EmulatorProcessTest, PseudoTerminalCarriesFramedRequests) {
    EmulatorProcess p;
    ASSERT_TRUE(p.Launch(Args({"--no-usb", "--com", "3"})));
    auto lines = p.UntilReady();
    ASSERT_EQ(lines.size(), 6u) << p.Errors();
    const std::string link = dir_ + "/usb/COM3";
    ASSERT_EQ(lines[4].rfind("com COM3 " + link + " -> /dev/", 0), 0u) << lines[4];
    EXPECT_TRUE(fs::is_symlink(link));

    int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    wire::Request rq = Req(200, 1);
    // A sequence number with the flag and escape bytes in it exercises the escaping.
    rq.sequence = 0x7E7D7E7Du;
    auto framed = wire::FrameForSerial(wire::EncodeRequest(rq));
    ASSERT_EQ(::write(fd, framed.data(), framed.size()), static_cast<ssize_t>(framed.size()));
    wire::SerialDeframer deframer;
    std::optional<wire::Reply> reply;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
    while (!reply && Clock::now() < deadline) {
        pollfd pf{fd, POLLIN, 0};
        if (::poll(&pf, 1, 100) <= 0) continue;
        std::uint8_t buf[1024];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        for (auto& d : deframer.Feed(buf, static_cast<std::size_t>(n)))
            reply = wire::DecodeReply(d.data(), d.size());
    }
    ::close(fd);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->sequence, 0x7E7D7E7Du);
    EXPECT_EQ(std::string(reply->data.begin(), reply->data.begin() + 4), "380U");
    p.Signal(SIGTERM);
    EXPECT_EQ(p.Wait(), 0);
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(link)));
}

TEST_F(EmulatorProcessTest, CorruptStateFileIsRefusedAndLeftAlone) {
    const std::string state = dir_ + "/state";
    const std::string text = "kv3380u-emulator state 1\nserial 00000001\n";  // cut off
    std::ofstream(state) << text;
    EmulatorProcess p;
    ASSERT_TRUE(p.Launch(Args()));
    EXPECT_EQ(p.Wait(), 1);
    EXPECT_NE(p.Errors().find(state), std::string::npos);
    std::stringstream now;
    now << std::ifstream(state).rdbuf();
    EXPECT_EQ(now.str(), text);
    EXPECT_FALSE(fs::exists(dir_ + "/usb/dev-00000001.sock"));
}

TEST_F(EmulatorProcessTest, BadOptionsExitWithTwoAndHelpWithZero) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--address", "10.0.0.1"}, {"--port", "x"}, {"--nonsense"}}) {
        EmulatorProcess p;
        ASSERT_TRUE(p.Launch(args));
        EXPECT_EQ(p.Wait(), 2) << args[0];
        EXPECT_FALSE(p.Errors().empty());
    }
    EmulatorProcess help;
    ASSERT_TRUE(help.Launch({"--help"}));
    auto first = help.Line();
    ASSERT_TRUE(first);
    EXPECT_NE(first->find("kv3380u-emulator"), std::string::npos);
    EXPECT_EQ(help.Wait(), 0);
}

TEST_F(EmulatorProcessTest, PortInUseExitsWithOne) {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.2", &a.sin_addr);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    EmulatorProcess p;
    ASSERT_TRUE(p.Launch(Args({"--port", std::to_string(ntohs(a.sin_port))})));
    EXPECT_EQ(p.Wait(), 1);
    ::close(fd);
    EXPECT_NE(p.Errors().find("cannot listen"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ + "/usb/dev-00000001.sock"));
}

TEST_F(EmulatorProcessTest, SecondDeviceWithTheSameSerialIsRefusedAndALeftoverSocketIsReplaced) {
    EmulatorProcess first;
    ASSERT_TRUE(first.Launch(Args()));
    ASSERT_EQ(first.UntilReady().size(), 6u) << first.Errors();
    EmulatorProcess second;
    ASSERT_TRUE(second.Launch(Args({"--state", dir_ + "/state2"})));
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_NE(second.Errors().find("already plugged in"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir_ + "/usb/dev-00000001.sock")) << "the first device stays";

    // A crashed emulator leaves its socket behind; the next one takes the name over.
    first.Signal(SIGKILL);
    first.Wait();
    ASSERT_TRUE(fs::exists(dir_ + "/usb/dev-00000001.sock"));
    EmulatorProcess third;
    ASSERT_TRUE(third.Launch(Args()));
    EXPECT_EQ(third.UntilReady().size(), 6u) << third.Errors();
}

TEST_F(EmulatorProcessTest, LifetimeEndsTheEmulatorByItself) {
    EmulatorProcess p;
    ASSERT_TRUE(p.Launch(Args({"--lifetime", "0.2"})));
    ASSERT_EQ(p.UntilReady().size(), 6u) << p.Errors();
    EXPECT_EQ(p.Wait(), 0);
    EXPECT_FALSE(fs::exists(dir_ + "/usb/dev-00000001.sock"));
}

}  // namespace
}  // namespace kv::emu
