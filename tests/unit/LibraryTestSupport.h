#pragma once

// Helpers for the tests that drive the real transport libraries through kvtransport.h
// alone: loading a library file from the build's bin folder, a scratch folder, and a
// small scripted module ("responder") on UDP, a Unix datagram socket or a pseudo-terminal.

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "libraries/KvWire.h"
#include "tests/support/FreePort.h"
#include "tests/support/ScratchFolder.h"
#include "transport/kvtransport.h"

namespace kvtest {

// One library file, opened by path, with its seven entry points.
struct LibraryApi {
    void* dl = nullptr;
    kvt_version_fn Version = nullptr;
    kvt_init_block_fn InitBlock = nullptr;
    kvt_init_word_fn InitWord = nullptr;
    kvt_init_plain_fn InitPlain = nullptr;
    kvt_set_config_fn SetConfig = nullptr;
    kvt_get_config_fn GetConfig = nullptr;
    kvt_send_fn Send = nullptr;
    kvt_done_fn Done = nullptr;
    kvt_error_fn Error = nullptr;

    LibraryApi(const std::string& file, const std::string& prefix) {
        dl = dlopen((std::string(KV_BIN_DIR) + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (dl == nullptr) return;
        auto sym = [&](const char* suffix) { return dlsym(dl, (prefix + "_" + suffix).c_str()); };
        Version = reinterpret_cast<kvt_version_fn>(sym("Version"));
        void* init = sym("Init");
        InitBlock = reinterpret_cast<kvt_init_block_fn>(init);
        InitWord = reinterpret_cast<kvt_init_word_fn>(init);
        InitPlain = reinterpret_cast<kvt_init_plain_fn>(init);
        SetConfig = reinterpret_cast<kvt_set_config_fn>(sym("SetConfig"));
        GetConfig = reinterpret_cast<kvt_get_config_fn>(sym("GetConfig"));
        Send = reinterpret_cast<kvt_send_fn>(sym("Send"));
        Done = reinterpret_cast<kvt_done_fn>(sym("Done"));
        Error = reinterpret_cast<kvt_error_fn>(sym("Error"));
    }
    ~LibraryApi() {
        if (dl != nullptr) dlclose(dl);
    }
    LibraryApi(const LibraryApi&) = delete;
    LibraryApi& operator=(const LibraryApi&) = delete;

    bool ok() const {
        return dl != nullptr && Version && InitBlock && SetConfig && GetConfig && Send && Done &&
               Error;
    }

    // The text of a code as code-page-1250 bytes, read the way the contract lays it out.
    std::string ErrorBytes(std::uint32_t code) {
        std::vector<std::uint32_t> words(KVT_TEXT_WORDS, 0xFFFFFFFFu);
        Error(code, words.data());
        std::string out;
        for (std::size_t i = 1; i < words.size() && words[i] != 0; ++i)
            out += static_cast<char>(words[i] & 0xFF);
        return out;
    }
};

// A request frame as the utility builds it.
inline std::vector<std::uint32_t> Frame(std::uint8_t address, std::uint8_t function,
                                        std::uint8_t peripheral, std::uint8_t command,
                                        const std::vector<std::uint8_t>& data = {}) {
    std::vector<std::uint32_t> frame(KVT_FRAME_WORDS, 0);
    frame[0] = address;
    frame[1] = function;
    frame[2] = peripheral;
    frame[3] = command;
    for (std::size_t i = 0; i < data.size() && i < KVT_DATA_WORDS; ++i) frame[4 + i] = data[i];
    return frame;
}

// Everything one Send gives back.
struct SendOutcome {
    std::uint32_t result = 0xDEAD;
    std::uint32_t errorWord = 0xDEAD;
    std::uint32_t replyValue = 0xDEAD;
    std::vector<std::uint32_t> data;
    std::chrono::milliseconds elapsed{0};
};

inline SendOutcome DoSend(LibraryApi& api, std::uint32_t handle,
                          const std::vector<std::uint32_t>& frame) {
    SendOutcome out;
    // Garbage in, so that a library that leaves words untouched is caught.
    out.data.assign(KVT_DATA_WORDS, 0xA5A5A5A5u);
    auto start = std::chrono::steady_clock::now();
    out.result = api.Send(handle, frame.data(), out.data.data(), &out.replyValue, &out.errorWord);
    out.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    return out;
}

// A scratch folder of the test's own.
using TempDir = kv::testing::ScratchFolder;

// Points the libraries' device folder at a folder for the lifetime of the object.
class ScopedUsbDir {
  public:
    explicit ScopedUsbDir(const std::string& dir) { setenv("KV3380U_USB_DIR", dir.c_str(), 1); }
    ~ScopedUsbDir() { unsetenv("KV3380U_USB_DIR"); }
};

// A stand-in module: receives requests on one descriptor and lets a test script decide
// what goes back. The handler runs on the responder's thread.
class Responder {
  public:
    enum class Medium { kUdp, kUnix, kSerial };
    using Handler = std::function<void(Responder&, const kv::wire::Request&)>;

    // UDP on ip:port (0: a free port).
    static std::unique_ptr<Responder> Udp(const std::string& ip, std::uint16_t port = 0) {
        int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        inet_pton(AF_INET, ip.c_str(), &addr.sin_addr);
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            if (fd >= 0) close(fd);
            return nullptr;
        }
        return std::unique_ptr<Responder>(new Responder(Medium::kUdp, fd));
    }

    // A virtual USB device socket at path.
    static std::unique_ptr<Responder> Unix(const std::string& path) {
        int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            if (fd >= 0) close(fd);
            return nullptr;
        }
        auto r = std::unique_ptr<Responder>(new Responder(Medium::kUnix, fd));
        r->unixPath_ = path;
        return r;
    }

    // A pseudo-terminal whose slave is linked at linkPath (as a COM port).
    static std::unique_ptr<Responder> Serial(const std::string& linkPath) {
        int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname(fd) == nullptr) {
            if (fd >= 0) close(fd);
            return nullptr;
        }
        std::string slave = ptsname(fd);
        if (symlink(slave.c_str(), linkPath.c_str()) != 0) {
            close(fd);
            return nullptr;
        }
        auto r = std::unique_ptr<Responder>(new Responder(Medium::kSerial, fd));
        r->unixPath_ = linkPath;
        return r;
    }

    ~Responder() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        close(fd_);
        if (!unixPath_.empty()) unlink(unixPath_.c_str());
    }

    std::uint16_t Port() const {
        sockaddr_in addr{};
        socklen_t len = sizeof addr;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        return ntohs(addr.sin_port);
    }

    void Start(Handler handler) {
        handler_ = std::move(handler);
        thread_ = std::thread([this] { Run(); });
    }

    // Bytes to whoever sent the last request (framed on a serial line).
    void SendRaw(const std::vector<std::uint8_t>& bytes) {
        if (medium_ == Medium::kSerial) {
            auto framed = kv::wire::FrameForSerial(bytes);
            WriteAll(framed);
        } else {
            sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&peer_),
                   peerLen_);
        }
    }
    // Bytes exactly as given, no framing (noise on a serial line).
    void WriteAll(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        for (int i = 0; i < 100 && done < bytes.size(); ++i) {
            ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<std::size_t>(n);
        }
    }
    void Reply(const kv::wire::Reply& reply) { SendRaw(kv::wire::EncodeReply(reply)); }

    // Where the last request came from (UDP).
    sockaddr_in PeerInet() const {
        sockaddr_in a{};
        std::memcpy(&a, &peer_, sizeof a);
        return a;
    }
    const sockaddr_storage& PeerStorage() const { return peer_; }
    socklen_t PeerLength() const { return peerLen_; }

    std::vector<kv::wire::Request> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    std::vector<sockaddr_in> Senders() {
        std::lock_guard lock(mutex_);
        return senders_;
    }

    // The reply most tests want: the request's sequence, status 0, the command plus one
    // as the reply value, and the request's data bytes each plus one as far as n.
    static kv::wire::Reply Answer(const kv::wire::Request& req, std::size_t n = 8) {
        kv::wire::Reply r;
        r.sequence = req.sequence;
        r.replyValue = static_cast<std::uint8_t>(req.command + 1);
        for (std::size_t i = 0; i < n && i < r.data.size(); ++i)
            r.data[i] = static_cast<std::uint8_t>(req.data[i] + 1);
        return r;
    }

  private:
    Responder(Medium medium, int fd) : medium_(medium), fd_(fd) {}

    void Run() {
        // Bounded: a test that forgets to stop the responder still ends.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        kv::wire::SerialDeframer deframer;
        while (!stop_ && std::chrono::steady_clock::now() < end) {
            pollfd pfd{fd_, POLLIN, 0};
            int ready = poll(&pfd, 1, 20);
            if (ready <= 0) continue;
            if ((pfd.revents & POLLIN) == 0) {
                // A pseudo-terminal without its other end hangs up; wait for the library.
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            std::uint8_t buf[4096];
            std::vector<std::vector<std::uint8_t>> datagrams;
            if (medium_ == Medium::kSerial) {
                ssize_t n = read(fd_, buf, sizeof buf);
                if (n <= 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    continue;
                }
                datagrams = deframer.Feed(buf, static_cast<std::size_t>(n));
            } else {
                sockaddr_storage from{};
                socklen_t len = sizeof from;
                ssize_t n =
                    recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
                if (n < 0) continue;
                peer_ = from;
                peerLen_ = len;
                datagrams.emplace_back(buf, buf + n);
            }
            for (const auto& d : datagrams) {
                auto req = kv::wire::DecodeRequest(d.data(), d.size());
                if (!req) continue;
                {
                    std::lock_guard lock(mutex_);
                    requests_.push_back(*req);
                    senders_.push_back(PeerInet());
                }
                if (handler_) handler_(*this, *req);
            }
        }
    }

    Medium medium_;
    int fd_;
    std::string unixPath_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    Handler handler_;
    sockaddr_storage peer_{};
    socklen_t peerLen_ = 0;
    std::mutex mutex_;
    std::vector<kv::wire::Request> requests_;
    std::vector<sockaddr_in> senders_;
};

// An InitBlock whose text words point into strings the caller keeps alive.
inline std::vector<std::uintptr_t> UdpInitBlock(const std::string& ip, std::uint32_t port,
                                                std::uint32_t timeoutMs,
                                                std::uint32_t sourcePort = 0) {
    std::vector<std::uintptr_t> block(KVT_INIT_BLOCK_WORDS, 0);
    block[0] = reinterpret_cast<std::uintptr_t>(ip.c_str());
    block[1] = port;
    block[2] = timeoutMs;
    block[3] = sourcePort;
    return block;
}

inline std::vector<std::uintptr_t> UsbInitBlock(std::uint32_t detection, const std::string* serial,
                                                std::uint32_t timeoutMs) {
    std::vector<std::uintptr_t> block(KVT_INIT_BLOCK_WORDS, 0);
    block[0] = detection;
    block[1] = serial != nullptr ? reinterpret_cast<std::uintptr_t>(serial->c_str()) : 0;
    block[2] = timeoutMs;
    return block;
}

// A UDP port that was free a moment ago on this address.
using kv::testing::FreeUdpPort;

}  // namespace kvtest
