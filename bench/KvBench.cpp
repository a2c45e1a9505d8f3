// kv_bench: what a transaction costs on loopback, next to a bare UDP round trip of the
// same datagram sizes between two processes. Starts its own emulator on 127.0.0.x; sends
// nothing anywhere else. Every loop is bounded by a count and by wall-clock time.
//
//   kv_bench [iterations] [--spread] [--fifo] [--state-dir D]
//
// iterations: rounds of each measurement (default 2000, at most 100000).
// --spread: leave the processes to the scheduler. By default the benchmark, its echo
//   process and the emulator share one CPU: on a virtual machine a wake-up across CPUs
//   costs tens of microseconds or not, depending on where the scheduler happens to put
//   each process, which swamps what is measured here.
// --fifo: run every process under the real-time FIFO policy (needs the privilege to).
//   On one CPU the normal scheduler sometimes lets a woken process preempt the sender at
//   once and sometimes not, depending on how much CPU each has had lately; the two cases
//   differ by several microseconds, so medians jump between them from run to run. Under
//   FIFO a woken process always waits until the sender blocks: one path, steady figures.
// --state-dir D: where the emulator keeps its state file (default /dev/shm when there is
//   one, else /tmp). The emulator writes the file after stored blocks (at most every few
//   tens of milliseconds while they keep coming), so on a disk that write competes too.
//
// A third phase splits an exchange: the same identification request sent bare, without
// the library, shows what the emulator adds to a round trip; the rest is the library's.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "connection/Connection.h"
#include "core/Dekl.h"
#include "core/ModuleLink.h"
#include "libraries/KvWire.h"
#include "platform/ProgramFolder.h"
#include "tests/support/EmulatorProcess.h"
#include "transport/Qxxx380.h"

namespace {

using kvbench::Series;

using Clock = std::chrono::steady_clock;
constexpr auto kSectionCap = std::chrono::seconds(30);
constexpr int kWarmUp = 50;

// Runs the operations in turns, one of each per round, so that whatever else the machine
// does at the moment weighs on all of them alike; a warm-up first. Stops after `rounds`
// rounds or at the wall-clock cap.
void RunInterleaved(std::vector<Series>& series, int rounds) {
    const auto end = Clock::now() + kSectionCap;
    for (int i = 0; i < kWarmUp; ++i)
        for (auto& s : series) s.op();
    for (int r = 0; r < rounds && Clock::now() < end; ++r) {
        for (auto& s : series) {
            auto t0 = Clock::now();
            bool ok = s.op();
            auto t1 = Clock::now();
            if (ok)
                s.us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            else
                ++s.failures;
        }
    }
}

// A second process that answers every datagram with one of a fixed size: the bare
// round trip the libraries are measured against.
class EchoProcess {
  public:
    EchoProcess(const std::string& address, bool unixSocket, const std::string& unixPath) {
        if (unixSocket) {
            fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            std::strncpy(a.sun_path, unixPath.c_str(), sizeof a.sun_path - 1);
            unlink(unixPath.c_str());
            if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
            std::memcpy(&addr_, &a, sizeof a);
            addrLen_ = sizeof a;
            path_ = unixPath;
        } else {
            fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            inet_pton(AF_INET, address.c_str(), &a.sin_addr);
            if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
            socklen_t len = sizeof a;
            getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
            std::memcpy(&addr_, &a, sizeof a);
            addrLen_ = sizeof a;
        }
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            alarm(300);  // a safety bound whatever happens to the parent
            std::uint8_t buf[2048];
            std::uint8_t reply[2048] = {};
            for (;;) {
                sockaddr_storage from{};
                socklen_t len = sizeof from;
                ssize_t n =
                    recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
                if (n < 2) _exit(0);  // a too-short datagram ends it
                // The first two bytes name the size of the answer.
                std::size_t size = std::min<std::size_t>(buf[0] | (buf[1] << 8), sizeof reply);
                sendto(fd_, reply, size, 0, reinterpret_cast<sockaddr*>(&from), len);
            }
        }
    }
    ~EchoProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) close(fd_);
        if (!path_.empty()) unlink(path_.c_str());
    }
    bool ok() const { return pid_ > 0; }
    const sockaddr* Addr() const { return reinterpret_cast<const sockaddr*>(&addr_); }
    socklen_t AddrLen() const { return addrLen_; }

  private:
    int fd_ = -1;
    pid_t pid_ = -1;
    sockaddr_storage addr_{};
    socklen_t addrLen_ = 0;
    std::string path_;
};

// The client side of the bare round trip.
class RawClient {
  public:
    RawClient(const EchoProcess& echo, bool unixSocket, const std::string& clientPath)
        : RawClient(echo.Addr(), echo.AddrLen(), unixSocket, clientPath) {}
    RawClient(const sockaddr* peer, socklen_t peerLength, bool unixSocket,
              const std::string& clientPath) {
        fd_ = socket(unixSocket ? AF_UNIX : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (unixSocket) {
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            std::strncpy(a.sun_path, clientPath.c_str(), sizeof a.sun_path - 1);
            unlink(clientPath.c_str());
            bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
            path_ = clientPath;
        }
        connect(fd_, peer, peerLength);
        timeval tv{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~RawClient() {
        close(fd_);
        if (!path_.empty()) unlink(path_.c_str());
    }
    bool RoundTrip(std::size_t requestSize, std::size_t replySize) {
        std::uint8_t out[2048] = {};
        out[0] = static_cast<std::uint8_t>(replySize & 0xFF);
        out[1] = static_cast<std::uint8_t>(replySize >> 8);
        if (send(fd_, out, requestSize, 0) != static_cast<ssize_t>(requestSize)) return false;
        std::uint8_t in[2048];
        return recv(fd_, in, sizeof in, 0) == static_cast<ssize_t>(replySize);
    }
    // A request of our own to the emulator, without the library: a fresh sequence number
    // each time (a repeated one would be answered from the reply cache), and only the
    // reply's size and sequence number looked at.
    bool Request(const kv::wire::Request& request, std::size_t replySize) {
        kv::wire::Request r = request;
        r.sequence = ++sequence_;
        const std::vector<std::uint8_t> out = kv::wire::EncodeRequest(r);
        if (send(fd_, out.data(), out.size(), 0) != static_cast<ssize_t>(out.size())) return false;
        std::uint8_t in[2048];
        return recv(fd_, in, sizeof in, 0) == static_cast<ssize_t>(replySize) &&
               std::memcmp(in + 6, out.data() + 6, 4) == 0;
    }

  private:
    int fd_ = -1;
    std::string path_;
    std::uint32_t sequence_ = 0;
};

void Print(const Series& s) {
    std::printf("%-46s %6zu %10.1f %10.1f %7zu\n", s.name.c_str(), s.us.size(), s.Percentile(50),
                s.Percentile(99), s.failures);
}

double Ratio(const Series& a, const Series& b) {
    return b.Percentile(50) > 0 ? a.Percentile(50) / b.Percentile(50) : 0.0;
}

std::size_t RequestSize(std::size_t dataBytes) {
    return kv::wire::kRequestHeader + dataBytes + kv::wire::kCrcSize;
}
std::size_t ReplySize(std::size_t dataBytes) {
    return kv::wire::kReplyHeader + dataBytes + kv::wire::kCrcSize;
}

}  // namespace

int main(int argc, char** argv) {
    long iterations = 2000;
    bool spread = false;
    bool fifo = false;
    std::string parent;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--spread") {
            spread = true;
        } else if (arg == "--fifo") {
            fifo = true;
        } else if (arg == "--state-dir" && i + 1 < argc) {
            parent = argv[++i];
        } else {
            char* end = nullptr;
            iterations = std::strtol(arg.c_str(), &end, 10);
            if (end == nullptr || *end != '\0' || iterations <= 0 || iterations > 100000) {
                std::fprintf(stderr,
                             "usage: kv_bench [iterations] [--spread] [--fifo] [--state-dir D]\n");
                return 2;
            }
        }
    }
    const int rounds = static_cast<int>(iterations);
    signal(SIGPIPE, SIG_IGN);

    int cpu = -1;
    if (!spread) {
        // Children inherit the mask: echo process and emulator run on this CPU too.
        cpu = sched_getcpu();
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(cpu, &set);
        if (cpu < 0 || sched_setaffinity(0, sizeof set, &set) != 0) cpu = -1;
    }
    if (fifo) {
        // Children inherit the policy too. Every process blocks in each round, so none can
        // keep the CPU from the rest of the system.
        sched_param param{};
        param.sched_priority = 1;
        if (sched_setscheduler(0, SCHED_FIFO, &param) != 0) {
            std::fprintf(stderr, "kv_bench: --fifo: %s\n", std::strerror(errno));
            return 2;
        }
    }

    kv::platform::SetProgramFolderForTesting(KV_BIN_DIR);
    if (parent.empty()) parent = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    kv::testing::EmulatorProcess emu(parent);
    if (!emu.Start()) {
        std::fprintf(stderr, "kv_bench: the emulator did not start:\n%s", emu.Log().c_str());
        return 1;
    }
    setenv("KV3380U_USB_DIR", emu.UsbFolder().c_str(), 1);
    const std::string address = emu.Address();

    // The sizes a transaction puts on the wire: identification 200/0 sends no data and
    // gets the four characters back; a block read sends its three parameter bytes and
    // gets 260 back.
    const std::size_t identRequest = RequestSize(0), identReply = ReplySize(4);
    const std::size_t blockRequest = RequestSize(3), blockReply = ReplySize(260);
    auto sizes = [](std::size_t a, std::size_t b) {
        return std::to_string(a) + "/" + std::to_string(b) + " B";
    };

    EchoProcess udpEcho(address, false, "");
    EchoProcess unixEcho(address, true, emu.Folder() + "/echo.sock");
    if (!udpEcho.ok() || !unixEcho.ok()) {
        std::fprintf(stderr, "kv_bench: the echo process did not start\n");
        return 1;
    }
    RawClient udpRaw(udpEcho, false, "");
    RawClient unixRaw(unixEcho, true, emu.Folder() + "/echo-client.sock");

    std::string ip = address, serial;
    // One library is loaded at a time: the connection lets go of one kind's before the next.
    kv::Connection connection;
    auto open = [&](std::uint8_t kind) {
        kv::InitBlock block{};
        if (kind == 0) {
            block[1] = reinterpret_cast<std::uintptr_t>(serial.c_str());
        } else {
            block[0] = reinterpret_cast<std::uintptr_t>(ip.c_str());
            block[1] = emu.ManagementPort();
            block[3] = emu.ManagementPort();
        }
        block[2] = 1000;
        std::uint32_t handle = 0;
        std::uint32_t code = connection.OpenTransport(kind, &handle, block);
        if (code == 0) code = connection.ConfigureTransport(9600, 200, 2);
        connection.SetModuleAddress(1);
        if (code != 0) std::fprintf(stderr, "kv_bench: kind %d does not open: %u\n", kind, code);
        return code == 0;
    };
    auto identify = [&] {
        const kv::Reply reply = connection.Link().Transact(kv::IdentifyRequest(0));
        return reply.Ok() && reply.data[0] == 'K';
    };
    auto readBlock = [&](kv::BlockWords* out) {
        kv::DataBuffer data{};
        data[1] = 251;
        const kv::Reply reply = connection.Link().Transact(kv::kReadBlockRequest, data);
        if (out != nullptr)
            for (std::size_t i = 0; i < out->size(); ++i) (*out)[i] = reply.data[4 + i];
        return reply.Ok();
    };

    // One library is loaded at a time, so UDP and USB take turns with the bare round
    // trips in two phases, each with its own reference.
    std::vector<Series> udp;
    {
        if (!open(1)) return 1;
        kv::BlockWords block{};
        if (!readBlock(&block)) return 1;
        udp.emplace_back("raw UDP round trip " + sizes(identRequest, identReply),
                         [&] { return udpRaw.RoundTrip(identRequest, identReply); });
        udp.emplace_back("Transact 200/0 through QQUDP.DLL", [&] { return identify(); });
        udp.emplace_back("raw UDP round trip " + sizes(blockRequest, blockReply),
                         [&] { return udpRaw.RoundTrip(blockRequest, blockReply); });
        udp.emplace_back("Transact 204/1 through QQUDP.DLL", [&] { return readBlock(nullptr); });
        udp.emplace_back("WriteBlockVerified 251 through QQUDP.DLL",
                         [&] { return connection.Link().WriteBlockVerified(251, block).Ok(); });
        RunInterleaved(udp, rounds);
        connection.Close();
    }
    std::vector<Series> usb;
    {
        if (!open(0)) return 1;
        usb.emplace_back("raw UDP round trip " + sizes(identRequest, identReply),
                         [&] { return udpRaw.RoundTrip(identRequest, identReply); });
        usb.emplace_back("raw Unix datagram round trip " + sizes(identRequest, identReply),
                         [&] { return unixRaw.RoundTrip(identRequest, identReply); });
        usb.emplace_back("Transact 200/0 through QUSBVX.DLL", [&] { return identify(); });
        RunInterleaved(usb, rounds);
        connection.Close();
    }
    // Phase 3: the same identification as bare datagrams to the emulator, between the
    // echo's round trip and the library's exchange.
    std::vector<Series> split;
    {
        if (!open(1)) return 1;
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(emu.ManagementPort());
        inet_pton(AF_INET, address.c_str(), &target.sin_addr);
        RawClient bare(reinterpret_cast<const sockaddr*>(&target), sizeof target, false, "");
        kv::wire::Request ident;
        ident.address = 1;
        ident.function = 200;
        split.emplace_back("raw UDP round trip " + sizes(identRequest, identReply),
                           [&] { return udpRaw.RoundTrip(identRequest, identReply); });
        split.emplace_back("bare 200/0 to the emulator, no library",
                           [&] { return bare.Request(ident, identReply); });
        split.emplace_back("Transact 200/0 through QQUDP.DLL", [&] { return identify(); });
        RunInterleaved(split, rounds);
        connection.Close();
    }
    emu.Stop();

    std::printf("emulator on %s, state file in %s, %s%s\n", address.c_str(), parent.c_str(),
                cpu >= 0 ? ("all processes on CPU " + std::to_string(cpu)).c_str()
                         : "processes placed by the scheduler",
                fifo ? ", FIFO policy" : "");
    std::printf("%-46s %6s %10s %10s %7s\n", "operation", "n", "median us", "p99 us", "failed");
    std::printf("phase 1: QQUDP.DLL, in turns with the bare round trips\n");
    for (const auto& s : udp) Print(s);
    std::printf("phase 2: QUSBVX.DLL, in turns with the bare round trips\n");
    for (const auto& s : usb) Print(s);
    std::printf("phase 3: where an exchange's time goes\n");
    for (const auto& s : split) Print(s);

    std::printf("\nratios of medians (aim: Transact <= 1.5, WriteBlockVerified <= 3.5)\n");
    std::printf("  Transact 200/0 QQUDP  / raw UDP, same sizes    %5.2f\n", Ratio(udp[1], udp[0]));
    std::printf("  Transact 204/1 QQUDP  / raw UDP, same sizes    %5.2f\n", Ratio(udp[3], udp[2]));
    std::printf("  Transact 200/0 QUSBVX / raw UDP, same sizes    %5.2f\n", Ratio(usb[2], usb[0]));
    std::printf("  Transact 200/0 QUSBVX / raw Unix, same sizes   %5.2f\n", Ratio(usb[2], usb[1]));
    std::printf("  WriteBlockVerified QQUDP / raw UDP (block)     %5.2f\n", Ratio(udp[4], udp[2]));
    const double raw = split[0].Percentile(50), bare = split[1].Percentile(50),
                 full = split[2].Percentile(50);
    std::printf(
        "\nphase 3, medians: the emulator adds %.1f us to the raw round trip, the "
        "library and binding %.1f us more\n",
        bare - raw, full - bare);
    // Differences of medians that may each sit on another wake-up path can even come out
    // negative; only the steady figures split an exchange reliably.
    if (!fifo) std::printf("  (run with --fifo for steady figures to split by)\n");
    std::size_t failed = 0;
    for (const auto* list : {&udp, &usb, &split})
        for (const auto& s : *list) failed += s.failures;
    return failed == 0 ? 0 : 1;
}
