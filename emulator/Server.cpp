#include "emulator/Server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kv::emu {
namespace {

// Every wake-up reads at most one datagram (or one chunk of the serial line) from each
// ready descriptor: epoll reports a descriptor with more waiting again at once, so however
// busy one socket is, the others and the queue of replies take their turns in between,
// and the common case of a single request costs no extra read that finds nothing.
constexpr int kEventsPerWake = 8;

void Complain(const std::string& message) {
    std::fprintf(stderr, "kv3380u-emulator: %s\n", message.c_str());
    std::fflush(stderr);
}

void Say(const std::string& line) {
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

std::string Errno() {
    return std::strerror(errno);
}

// Creates the folder and any missing parents, private to the user as the device
// folder must be.
bool MakeFolder(const std::string& path, std::string* error) {
    std::string sofar;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        sofar = path.substr(0, slash);
        start = slash + 1;
        if (sofar.empty()) continue;
        if (::mkdir(sofar.c_str(), 0700) != 0 && errno != EEXIST) {
            *error = "cannot create folder " + sofar + ": " + Errno();
            return false;
        }
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = path + " is not a folder";
        return false;
    }
    return true;
}

bool IsLoopback(const sockaddr_storage& a, socklen_t length) {
    if (a.ss_family != AF_INET || length < static_cast<socklen_t>(sizeof(sockaddr_in)))
        return false;
    const auto& in = reinterpret_cast<const sockaddr_in&>(a);
    return (ntohl(in.sin_addr.s_addr) >> 24) == 127 && in.sin_port != 0;
}

}  // namespace

Server::Server(const Options& options, Module& module, std::string usbSerial)
    : options_(options),
      module_(module),
      faults_(options.faults),
      faultless_(!options.faults.silent && options.faults.drop <= 0 &&
                 options.faults.duplicate <= 0 && options.faults.corrupt <= 0 &&
                 options.faults.delayMs == 0),
      usbSerial_(std::move(usbSerial)) {}

Server::~Server() {
    CloseAll();
}

std::uint64_t Server::NowMs() const {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

std::size_t Server::UdpIndex(Channel c) {
    return c == Channel::kManagement ? 0 : 1 + static_cast<std::size_t>(VlanIndex(c));
}

Channel Server::UdpChannel(std::size_t index) {
    return index == 0 ? Channel::kManagement
                      : static_cast<Channel>(static_cast<int>(Channel::kVlan1) +
                                             static_cast<int>(index) - 1);
}

int Server::BindUdp(std::uint16_t port, std::uint16_t* bound, std::string* error) const {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = "cannot open a UDP socket: " + Errno();
        return -1;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, options_.address.c_str(), &a.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        *error = "cannot listen on udp " + options_.address + ":" + std::to_string(port) + ": " +
                 Errno();
        ::close(fd);
        return -1;
    }
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    *bound = ntohs(a.sin_port);
    return fd;
}

bool Server::OpenUsb() {
    const std::string folder = options_.usbDir.value_or(wire::UsbDeviceFolder());
    std::string error;
    if (!MakeFolder(folder, &error)) {
        Complain(error);
        return false;
    }
    const std::string path = wire::UsbDevicePath(folder, usbSerial_);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof a.sun_path) {
        Complain("USB device path too long for a socket: " + path);
        return false;
    }
    std::memcpy(a.sun_path, path.c_str(), path.size() + 1);

    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            Complain(path + " exists and is not a device socket; not touching it");
            return false;
        }
        // A socket nobody listens on is left over from an emulator that was killed.
        int probe = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        bool live = probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        if (probe >= 0) ::close(probe);
        if (live) {
            Complain("a USB device with serial number " + usbSerial_ + " is already plugged in (" +
                     path + ")");
            return false;
        }
        ::unlink(path.c_str());
    }
    usb_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (usb_ < 0 || ::bind(usb_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        Complain("cannot plug in the USB device " + path + ": " + Errno());
        if (usb_ >= 0) ::close(usb_);
        usb_ = -1;
        return false;
    }
    usbPath_ = path;
    return true;
}

bool Server::OpenCom() {
    const std::string folder = options_.usbDir.value_or(wire::UsbDeviceFolder());
    std::string error;
    if (!MakeFolder(folder, &error)) {
        Complain(error);
        return false;
    }
    ptyMaster_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (ptyMaster_ < 0 || ::grantpt(ptyMaster_) != 0 || ::unlockpt(ptyMaster_) != 0) {
        Complain("cannot open a pseudo-terminal: " + Errno());
        return false;
    }
    const char* slaveName = ::ptsname(ptyMaster_);
    if (slaveName == nullptr) {
        Complain("cannot name the pseudo-terminal: " + Errno());
        return false;
    }
    ptyPath_ = slaveName;
    // Holding the terminal side open keeps the line up between clients; raw mode keeps
    // the line discipline from echoing or holding back our binary frames.
    ptySlave_ = ::open(ptyPath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (ptySlave_ < 0) {
        Complain("cannot open " + ptyPath_ + ": " + Errno());
        return false;
    }
    termios t{};
    if (::tcgetattr(ptySlave_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(ptySlave_, TCSANOW, &t);
    }
    ::fcntl(ptyMaster_, F_SETFL, ::fcntl(ptyMaster_, F_GETFL) | O_NONBLOCK);

    const std::string link = folder + "/COM" + std::to_string(*options_.com);
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            Complain(link + " exists and is not a link; not touching it");
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(ptyPath_.c_str(), link.c_str()) != 0) {
        Complain("cannot create " + link + ": " + Errno());
        return false;
    }
    comLink_ = link;
    return true;
}

void Server::PrintUdpLines() const {
    static const char* names[kUdpChannels] = {"remote management", "vlan1", "vlan2", "vlan3"};
    for (std::size_t i = 0; i < kUdpChannels; ++i)
        Say("udp " + options_.address + ":" + std::to_string(udpPort_[i]) + " " + names[i]);
}

bool Server::Watch(int fd, std::uint32_t tag) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u32 = tag;
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) == 0) return true;
    Complain("cannot watch a descriptor: " + Errno());
    return false;
}

bool Server::WatchLifetime(std::uint64_t deadlineMs) {
    // The steady clock counts on CLOCK_MONOTONIC, so the deadline is an absolute time of it.
    lifetime_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (lifetime_ < 0) return false;
    itimerspec at{};
    at.it_value.tv_sec = static_cast<time_t>(deadlineMs / 1000);
    at.it_value.tv_nsec = static_cast<long>(deadlineMs % 1000) * 1000000L;
    if (::timerfd_settime(lifetime_, TFD_TIMER_ABSTIME, &at, nullptr) == 0 &&
        Watch(lifetime_, kTagLifetime))
        return true;
    ::close(lifetime_);
    lifetime_ = -1;
    return false;
}

namespace {
sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}
}  // namespace

void Server::BlockStopSignals() {
    const sigset_t set = StopSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool Server::Start() {
    startMs_ = NowMs();
    // Blocked before anything is created: a signal that comes during start-up waits for
    // the loop, which then cleans up like at any other time.
    BlockStopSignals();
    const sigset_t set = StopSignals();
    signals_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signals_ < 0) {
        Complain("cannot watch for signals: " + Errno());
        return false;
    }
    ::signal(SIGPIPE, SIG_IGN);
    // The set of descriptors changes only when a restart moves a port, so it is given to
    // the kernel once instead of on every wait.
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0 || !Watch(signals_, kTagSignals)) {
        Complain("cannot wait for events: " + Errno());
        return false;
    }

    std::array<std::uint16_t, kUdpChannels> wanted{};
    wanted[0] = options_.port.value_or(module_.Remote().port);
    for (std::size_t v = 0; v < 3; ++v)
        wanted[1 + v] = options_.vlanPorts ? (*options_.vlanPorts)[v]
                                           : module_.Vlan(static_cast<int>(v)).Settings().port;
    for (std::size_t i = 0; i < kUdpChannels; ++i) {
        std::string error;
        udp_[i] = BindUdp(wanted[i], &udpPort_[i], &error);
        if (udp_[i] < 0) {
            Complain(error);
            return false;
        }
    }
    module_.SetListeningPorts(udpPort_[0], {udpPort_[1], udpPort_[2], udpPort_[3]});

    if (!options_.noUsb && !OpenUsb()) return false;
    if (options_.com && !OpenCom()) return false;
    for (std::size_t i = 0; i < kUdpChannels; ++i)
        if (!Watch(udp_[i], kTagUdp + static_cast<std::uint32_t>(i))) return false;
    if (usb_ >= 0 && !Watch(usb_, kTagUsb)) return false;
    if (ptyMaster_ >= 0 && !Watch(ptyMaster_, kTagSerial)) return false;

    PrintUdpLines();
    if (usb_ >= 0) Say("usb " + usbPath_ + " serial " + usbSerial_);
    if (!comLink_.empty())
        Say("com COM" + std::to_string(*options_.com) + " " + comLink_ + " -> " + ptyPath_);
    Say("ready");
    return true;
}

void Server::CloseAll() {
    for (int& fd : udp_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    if (usb_ >= 0) {
        ::close(usb_);
        usb_ = -1;
    }
    if (!usbPath_.empty()) {
        ::unlink(usbPath_.c_str());
        usbPath_.clear();
    }
    if (!comLink_.empty()) {
        ::unlink(comLink_.c_str());
        comLink_.clear();
    }
    if (ptySlave_ >= 0) ::close(ptySlave_);
    if (ptyMaster_ >= 0) ::close(ptyMaster_);
    ptySlave_ = ptyMaster_ = -1;
    if (signals_ >= 0) ::close(signals_);
    signals_ = -1;
    if (epoll_ >= 0) ::close(epoll_);
    epoll_ = -1;
    if (lifetime_ >= 0) ::close(lifetime_);
    lifetime_ = -1;
}

void Server::Dispatch(const Source& source, const std::uint8_t* bytes, std::size_t size,
                      const sockaddr_storage& from, socklen_t fromLength) {
    if (source.channel == Channel::kManagement) ++received_;
    // A silent module does not even look at requests: a restart sent to it stays unsent.
    if (options_.faults.silent || silenced_) return;
    Response r = module_.HandleDatagram(source, bytes, size);
    if (source.channel == Channel::kManagement && r.fromCache) ++repeated_;
    if (r.datagram.empty()) return;
    // The block is stored; only the module's answer goes astray.
    if (r.store && options_.faults.silentAfterStore) silenced_ = true;
    if (r.store && (options_.faults.loseStoreReplies || silenced_)) return;

    // The common case: no fault asked for, no bus time to wait, and no earlier reply due
    // that this one would overtake. The answer goes out at once, without a copy and
    // without a trip through the queue.
    if (faultless_ && r.delayMs == 0 && (queue_.empty() || queue_.begin()->first > NowMs())) {
        Send(source.channel, from, fromLength, r.datagram);
        if (r.restart) DoRestart();
        return;
    }

    SendPlan plan = faults_.Plan(r.datagram);
    // The clock counts whole milliseconds; a reply that waits at all waits one more, so
    // that it never goes out before its delay is over.
    const std::uint64_t delay = r.delayMs + plan.delayMs;
    const std::uint64_t due = NowMs() + (delay > 0 ? delay + 1 : 0);
    bool restartQueued = false;
    for (std::size_t i = 0; i < plan.copies.size() && queue_.size() < kMaxQueued; ++i) {
        Outgoing out;
        out.channel = source.channel;
        out.to = from;
        out.toLength = fromLength;
        out.bytes = std::move(plan.copies[i]);
        // The module restarts once its answer is out, after the last copy of it.
        out.restartAfter = r.restart && i + 1 == plan.copies.size();
        restartQueued = restartQueued || out.restartAfter;
        queue_.emplace(due, std::move(out));
    }
    // A lost answer does not stop the restart.
    if (r.restart && !restartQueued) DoRestart();
}

void Server::ReceiveUdp(std::size_t index) {
    if (udp_[index] < 0) return;
    std::uint8_t buf[2048];
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    ssize_t got = ::recvfrom(udp_[index], buf, sizeof buf, MSG_TRUNC,
                             reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 0 || static_cast<std::size_t>(got) > sizeof buf || from.ss_family != AF_INET) return;
    const auto& in = reinterpret_cast<const sockaddr_in&>(from);
    KnownSender& known = udpSender_[index];
    if (!known.valid || known.ip != in.sin_addr.s_addr || known.port != in.sin_port) {
        Source& s = known.source;
        s.channel = UdpChannel(index);
        std::memcpy(s.ip.data(), &in.sin_addr.s_addr, 4);
        s.port = ntohs(in.sin_port);
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        s.key = "udp" + std::to_string(index) + " " + text + ":" + std::to_string(s.port);
        known.ip = in.sin_addr.s_addr;
        known.port = in.sin_port;
        known.valid = true;
    }
    Dispatch(known.source, buf, static_cast<std::size_t>(got), from, length);
}

void Server::ReceiveUsb() {
    if (usb_ < 0) return;
    std::uint8_t buf[2048];
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    ssize_t got =
        ::recvfrom(usb_, buf, sizeof buf, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 0 || static_cast<std::size_t>(got) > sizeof buf) return;
    const auto& un = reinterpret_cast<const sockaddr_un&>(from);
    // A client that did not bind a name cannot be answered.
    if (from.ss_family != AF_UNIX ||
        length <= static_cast<socklen_t>(offsetof(sockaddr_un, sun_path)) || un.sun_path[0] == '\0')
        return;
    const std::size_t pathLength =
        strnlen(un.sun_path, static_cast<std::size_t>(length) - offsetof(sockaddr_un, sun_path));
    KnownSender& known = usbSender_;
    if (!known.valid || known.path.size() != pathLength ||
        std::memcmp(known.path.data(), un.sun_path, pathLength) != 0) {
        known.path.assign(un.sun_path, pathLength);
        known.source.channel = Channel::kUsb;
        known.source.key = "usb " + known.path;
        known.valid = true;
    }
    Dispatch(known.source, buf, static_cast<std::size_t>(got), from, length);
}

void Server::ReceiveSerial() {
    if (ptyMaster_ < 0) return;
    std::uint8_t buf[4096];
    ssize_t got = ::read(ptyMaster_, buf, sizeof buf);
    if (got <= 0) return;
    for (const auto& datagram : deframer_.Feed(buf, static_cast<std::size_t>(got))) {
        Source s;
        s.channel = Channel::kSerial;
        s.key = "com";
        Dispatch(s, datagram.data(), datagram.size(), sockaddr_storage{}, 0);
    }
}

void Server::Send(Channel channel, const sockaddr_storage& to, socklen_t toLength,
                  const std::vector<std::uint8_t>& bytes) {
    switch (channel) {
        case Channel::kUsb:
            if (usb_ >= 0)
                ::sendto(usb_, bytes.data(), bytes.size(), MSG_DONTWAIT,
                         reinterpret_cast<const sockaddr*>(&to), toLength);
            break;
        case Channel::kSerial:
            if (ptyMaster_ >= 0) {
                auto framed = wire::FrameForSerial(bytes);
                // A full line drops the rest of the frame; the client's time-out handles it.
                ssize_t n = ::write(ptyMaster_, framed.data(), framed.size());
                (void)n;
            }
            break;
        default: {
            const int fd = udp_[UdpIndex(channel)];
            // Checked again at the last moment: nothing ever leaves for a non-loopback host.
            if (fd >= 0 && IsLoopback(to, toLength))
                ::sendto(fd, bytes.data(), bytes.size(), MSG_DONTWAIT,
                         reinterpret_cast<const sockaddr*>(&to), toLength);
            break;
        }
    }
}

void Server::SendDue() {
    if (queue_.empty()) return;
    const std::uint64_t now = NowMs();
    // Bounded: each pass takes one entry off the queue and DoRestart only removes entries.
    while (!queue_.empty() && queue_.begin()->first <= now) {
        Outgoing out = std::move(queue_.begin()->second);
        queue_.erase(queue_.begin());
        Send(out.channel, out.to, out.toLength, out.bytes);
        if (out.restartAfter) DoRestart();
    }
}

void Server::DoRestart() {
    PortMoves moves = module_.Restart();
    bool moved = false;
    for (std::size_t i = 0; i < kUdpChannels; ++i) {
        if (!moves[i]) continue;
        std::string error;
        std::uint16_t bound = 0;
        int fd = BindUdp(*moves[i], &bound, &error);
        if (fd < 0) {
            Complain(error + " (keeping port " + std::to_string(udpPort_[i]) + ")");
            continue;
        }
        // Watched before the old one goes: if that fails, the old port stays in use.
        if (!Watch(fd, kTagUdp + static_cast<std::uint32_t>(i))) {
            ::close(fd);
            continue;
        }
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, udp_[i], nullptr);
        ::close(udp_[i]);
        udp_[i] = fd;
        udpPort_[i] = bound;
        moved = true;
        // Replies still waiting would now leave from the wrong port.
        for (auto it = queue_.begin(); it != queue_.end();)
            it = it->second.channel == UdpChannel(i) ? queue_.erase(it) : std::next(it);
    }
    module_.SetListeningPorts(udpPort_[0], {udpPort_[1], udpPort_[2], udpPort_[3]});
    if (moved) {
        PrintUdpLines();
        Say("ready");
    }
}

int Server::Run() {
    const bool hasDeadline = options_.lifetimeSeconds.has_value();
    const std::uint64_t deadline =
        hasDeadline ? startMs_ + static_cast<std::uint64_t>(*options_.lifetimeSeconds * 1000.0) : 0;
    // The lifetime has a timer of its own, set once: as a time-out of every wait it would
    // cost setting up and cancelling a kernel timer per request. Should the timer not be
    // available, the time-out does the job.
    const bool lifetimeTimer = hasDeadline && WatchLifetime(deadline);
    for (;;) {
        SendDue();
        const std::uint64_t now = NowMs();
        if (hasDeadline && now >= deadline) break;
        int timeout = -1;
        auto limit = [&](std::uint64_t at) {
            std::uint64_t wait = at > now ? at - now : 0;
            if (wait > 60000) wait = 60000;
            if (timeout < 0 || static_cast<int>(wait) < timeout) timeout = static_cast<int>(wait);
        };
        if (!queue_.empty()) limit(queue_.begin()->first);
        if (hasDeadline && !lifetimeTimer) limit(deadline);

        epoll_event events[kEventsPerWake];
        const int ready = ::epoll_wait(epoll_, events, kEventsPerWake, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            Complain("epoll_wait: " + Errno());
            return 1;
        }
        bool stop = false;
        for (int k = 0; k < ready; ++k) {
            // An error condition is read like data: the read takes the error off the socket.
            if ((events[k].events & (EPOLLIN | EPOLLERR)) == 0) continue;
            const std::uint32_t tag = events[k].data.u32;
            if (tag == kTagSignals) {
                signalfd_siginfo info{};
                if (::read(signals_, &info, sizeof info) > 0) stop = true;
            } else if (tag == kTagLifetime) {
                stop = true;
            } else if (tag < kTagUsb) {
                ReceiveUdp(tag - kTagUdp);
            } else if (tag == kTagUsb) {
                ReceiveUsb();
            } else if (tag == kTagSerial) {
                ReceiveSerial();
            }
        }
        if (stop) break;
    }
    CloseAll();
    // How often the module was asked, for those who count: its repeats are a library's
    // retries of one request.
    Say("requests: " + std::to_string(received_) + " received, " + std::to_string(repeated_) +
        " repeated");
    return 0;
}

}  // namespace kv::emu
