#include "libraries/UsbLink.h"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "libraries/KvWire.h"

namespace kv::lib {
namespace {

bool MakeAddress(const std::string& path, sockaddr_un& addr) {
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool ConnectTo(int fd, const std::string& path) {
    sockaddr_un addr;
    if (!MakeAddress(path, addr)) return false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return true;
        if (errno != EINTR) return false;
    }
    return false;
}

// Device sockets in the folder, sorted so that "first device found" is repeatable.
std::vector<std::string> DeviceNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return names;
    // A folder full of junk must not keep Init busy.
    for (int i = 0; i < 4096; ++i) {
        dirent* entry = readdir(dir);
        if (entry == nullptr) break;
        std::string name = entry->d_name;
        auto serial = wire::SerialFromDeviceName(name);
        if (serial && ValidUsbSerial(*serial)) names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// The folder must be ours: a folder someone else made could hand us their socket.
bool FolderUsable(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

// The device may spell its folder differently ("a//b", a trailing slash, a link).
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string ClientName() {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    char name[64];
    std::snprintf(name, sizeof name, "cli-%ld-%016llx.sock", static_cast<long>(getpid()),
                  static_cast<unsigned long long>(rng()));
    return name;
}

}  // namespace

bool ValidUsbSerial(const std::string& serial) {
    if (serial.size() != 8) return false;
    return std::all_of(serial.begin(), serial.end(),
                       [](char c) { return c > ' ' && c < 0x7F && c != '/'; });
}

std::uint32_t UsbLink::Open(std::uint32_t detection, const std::string* serial,
                            std::unique_ptr<Link>& out) {
    const bool bySerial = detection == 1;
    if (bySerial && (serial == nullptr || serial->empty())) return wire::kBadParameter;
    // A serial number of another form names no device we could ever have plugged in.
    if (bySerial && !ValidUsbSerial(*serial)) return wire::kDeviceNotFound;

    const std::string folder = wire::UsbDeviceFolder();
    if (!FolderUsable(folder)) return wire::kDeviceNotFound;

    std::vector<std::string> candidates;
    if (bySerial)
        candidates.push_back(wire::UsbDevicePath(folder, *serial));
    else
        for (const auto& name : DeviceNames(folder)) candidates.push_back(folder + "/" + name);
    if (candidates.empty()) return wire::kDeviceNotFound;

    auto socket = DatagramSocket::Open(AF_UNIX);
    if (!socket) return wire::kOpenFailed;
    const int fd = socket->Handle();
    std::string clientPath;
    bool bound = false;
    for (int attempt = 0; attempt < 8 && !bound; ++attempt) {
        clientPath = folder + "/" + ClientName();
        sockaddr_un addr;
        if (!MakeAddress(clientPath, addr)) break;
        if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
            bound = true;
        else if (errno != EADDRINUSE)
            break;
    }
    if (!bound) return wire::kOpenFailed;
    chmod(clientPath.c_str(), 0600);

    // A device whose emulator died leaves its socket file behind; connect refuses it.
    for (const auto& device : candidates) {
        if (ConnectTo(fd, device)) {
            out.reset(new UsbLink(std::move(socket), clientPath, device));
            return wire::kOk;
        }
    }
    unlink(clientPath.c_str());
    return wire::kDeviceNotFound;
}

std::uint32_t OpenUsbLink(std::uint32_t detection, const std::string* serial,
                          std::unique_ptr<Link>& out) {
    return UsbLink::Open(detection, serial, out);
}

UsbLink::~UsbLink() {
    unlink(clientPath_.c_str());
}

bool UsbLink::Reconnect() {
    return ConnectTo(socket_->Handle(), devicePath_);
}

bool UsbLink::FromPeer(const sockaddr_storage& from, socklen_t length) const {
    // Only the device we opened may answer; unnamed senders have no path at all.
    const auto& un = reinterpret_cast<const sockaddr_un&>(from);
    const std::size_t offset = offsetof(sockaddr_un, sun_path);
    if (from.ss_family != AF_UNIX || length <= offset) return false;
    std::string sender(un.sun_path, strnlen(un.sun_path, length - offset));
    return sender == devicePath_ || SameFile(sender, devicePath_);
}

}  // namespace kv::lib
