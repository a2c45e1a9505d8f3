#include "libraries/SerialLink.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace kv::lib {
namespace {

bool SpeedFor(std::uint32_t baud, speed_t& speed) {
    switch (baud) {
        case 300:
            speed = B300;
            return true;
        case 600:
            speed = B600;
            return true;
        case 1200:
            speed = B1200;
            return true;
        case 2400:
            speed = B2400;
            return true;
        case 4800:
            speed = B4800;
            return true;
        case 9600:
            speed = B9600;
            return true;
        case 19200:
            speed = B19200;
            return true;
        case 38400:
            speed = B38400;
            return true;
        case 57600:
            speed = B57600;
            return true;
        case 115200:
            speed = B115200;
            return true;
        case 230400:
            speed = B230400;
            return true;
        default:
            return false;
    }
}

bool ApplyRaw(int fd, speed_t speed) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

std::string SerialLink::DevicePathFor(std::uint32_t comPort) {
    const std::string link = wire::UsbDeviceFolder() + "/COM" + std::to_string(comPort);
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) return link;
    return "/dev/ttyS" + std::to_string(comPort - 1);
}

std::uint32_t SerialLink::Open(std::uint32_t comPort, std::unique_ptr<Link>& out) {
    if (comPort == 0 || comPort > 65535) return wire::kBadParameter;
    const std::string path = DevicePathFor(comPort);
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return (errno == ENOENT || errno == ENXIO || errno == ENODEV) ? wire::kDeviceNotFound
                                                                      : wire::kOpenFailed;
    if (!isatty(fd)) {
        close(fd);
        return wire::kOpenFailed;
    }
    // Two connections on one line would read each other's replies.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return wire::kOpenFailed;
    }
    // A serial port without hardware behind it fails here with EIO.
    if (!ApplyRaw(fd, B9600)) {
        close(fd);
        return wire::kDeviceNotFound;
    }
    tcflush(fd, TCIOFLUSH);
    out.reset(new SerialLink(fd));
    return wire::kOk;
}

std::uint32_t OpenSerialLink(std::uint32_t comPort, std::unique_ptr<Link>& out) {
    return SerialLink::Open(comPort, out);
}

SerialLink::~SerialLink() {
    close(fd_);
}

std::uint32_t SerialLink::Configure(std::uint32_t baud) {
    speed_t speed;
    if (!SpeedFor(baud, speed)) return wire::kBadParameter;
    return ApplyRaw(fd_, speed) ? wire::kOk : wire::kOpenFailed;
}

TransmitResult SerialLink::Transmit(const Datagram& datagram, Clock::time_point deadline) {
    const Datagram framed = wire::FrameForSerial(datagram);
    std::size_t done = 0;
    while (done < framed.size()) {
        ssize_t n = write(fd_, framed.data() + done, framed.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) break;
            pollfd pfd{fd_, POLLOUT, 0};
            if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
            if ((pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return TransmitResult::kFailed;
            continue;
        }
        return TransmitResult::kFailed;
    }
    if (done == framed.size()) return TransmitResult::kSent;
    // A part of a frame is no request; the opening flag of the next try resynchronises
    // the peer.
    return TransmitResult::kTransient;
}

std::optional<Datagram> SerialLink::Receive(Clock::time_point until) {
    for (;;) {
        if (auto in = ReadOne()) return in;
        const auto now = Clock::now();
        if (now >= until) return std::nullopt;
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - now);
        pollfd pfd{fd_, POLLIN, 0};
        int ready = poll(&pfd, 1, static_cast<int>(std::max<long long>(wait.count(), 1)));
        if (ready < 0 && errno != EINTR) return std::nullopt;
        if (ready > 0 && (pfd.revents & POLLIN) == 0) {
            // A hung-up line stays "ready" without data; sleep instead of spinning.
            std::this_thread::sleep_until(until);
            return std::nullopt;
        }
    }
}

std::optional<Datagram> SerialLink::ReadOne() {
    for (int i = 0; i < 64 && ready_.empty(); ++i) {
        std::uint8_t buf[1024];
        ssize_t n = read(fd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (auto& frame : deframer_.Feed(buf, static_cast<std::size_t>(n)))
            ready_.push_back(std::move(frame));
    }
    if (ready_.empty()) return std::nullopt;
    Datagram d = std::move(ready_.front());
    ready_.pop_front();
    return d;
}

void SerialLink::Drain() {
    tcflush(fd_, TCIFLUSH);
    Link::Drain();
    ready_.clear();
    deframer_ = wire::SerialDeframer();
}

}  // namespace kv::lib
