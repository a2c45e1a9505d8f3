// A serial COM port through the Windows serial API (\\.\COMn): the same framed datagrams
// as the POSIX link; under wine a COM port can be a Linux pseudo-terminal, such as the
// one the emulator offers with --com.

#include <windows.h>

#include <algorithm>
#include <array>
#include <deque>
#include <string>
#include <thread>

#include "libraries/KvWire.h"
#include "libraries/Link.h"

namespace kv::lib {
namespace {

// The speeds the POSIX link sets too; the utility offers 600 to 115200 Bd.
constexpr std::array<std::uint32_t, 11> kSpeeds = {300,   600,   1200,  2400,   4800,  9600,
                                                   19200, 38400, 57600, 115200, 230400};

// 8 data bits, no parity, one stop bit, no flow control, nothing translated.
bool ApplyRaw(HANDLE port, std::uint32_t baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb)) return false;
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    return ::SetCommState(port, &dcb) != 0;
}

class WindowsSerialLink final : public Link {
  public:
    explicit WindowsSerialLink(HANDLE port) : port_(port) {}
    ~WindowsSerialLink() override { ::CloseHandle(port_); }

    TransmitResult Transmit(const Datagram& datagram, Clock::time_point deadline) override {
        const Datagram framed = wire::FrameForSerial(datagram);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return TransmitResult::kTransient;
        // The write waits for the line at most until the deadline.
        if (!SetTimeouts(readWait_, static_cast<DWORD>(left.count())))
            return TransmitResult::kFailed;
        DWORD written = 0;
        if (!::WriteFile(port_, framed.data(), static_cast<DWORD>(framed.size()), &written,
                         nullptr))
            return TransmitResult::kFailed;
        // A part of a frame is no request; the opening flag of the next try resynchronises
        // the peer.
        return written == framed.size() ? TransmitResult::kSent : TransmitResult::kTransient;
    }

    std::optional<Datagram> ReadOne() override { return ReadFor(0); }

    std::optional<Datagram> Receive(Clock::time_point until) override {
        for (;;) {
            if (auto in = ReadFor(0)) return in;
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
            if (wait.count() <= 0) return std::nullopt;
            if (auto in = ReadFor(static_cast<DWORD>(wait.count()))) return in;
            if (failed_) {
                // A line that fails stays failing: no spinning, the time-out decides.
                std::this_thread::sleep_until(until);
                return std::nullopt;
            }
        }
    }

    void Drain() override {
        ::PurgeComm(port_, PURGE_RXCLEAR);
        Link::Drain();
        ready_.clear();
        deframer_ = wire::SerialDeframer();
    }

    std::uint32_t Configure(std::uint32_t baud) override {
        if (std::find(kSpeeds.begin(), kSpeeds.end(), baud) == kSpeeds.end())
            return wire::kBadParameter;
        return ApplyRaw(port_, baud) ? wire::kOk : wire::kOpenFailed;
    }

  private:
    // Read and write time-outs, set only when they change. A read with interval and
    // multiplier MAXDWORD returns at once with what has arrived, or waits for the first
    // byte up to the constant; a constant of 0 makes it return at once always.
    bool SetTimeouts(DWORD readWait, DWORD writeWait) {
        if (readWait == readWait_ && writeWait == writeWait_) return true;
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = readWait == 0 ? 0 : MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = readWait;
        timeouts.WriteTotalTimeoutConstant = writeWait;
        if (!::SetCommTimeouts(port_, &timeouts)) return false;
        readWait_ = readWait;
        writeWait_ = writeWait;
        return true;
    }

    // One read that waits at most `ms` for the first byte; the next whole datagram.
    std::optional<Datagram> ReadFor(DWORD ms) {
        failed_ = false;
        for (int i = 0; i < 64 && ready_.empty(); ++i) {
            if (!SetTimeouts(i == 0 ? ms : 0, writeWait_)) {
                failed_ = true;
                break;
            }
            std::uint8_t buf[1024];
            DWORD n = 0;
            if (!::ReadFile(port_, buf, sizeof buf, &n, nullptr)) {
                failed_ = true;
                break;
            }
            if (n == 0) break;
            for (auto& frame : deframer_.Feed(buf, n)) ready_.push_back(std::move(frame));
        }
        if (ready_.empty()) return std::nullopt;
        Datagram d = std::move(ready_.front());
        ready_.pop_front();
        return d;
    }

    HANDLE port_;
    DWORD readWait_ = MAXDWORD;
    DWORD writeWait_ = 0;
    bool failed_ = false;
    wire::SerialDeframer deframer_;
    std::deque<Datagram> ready_;
};

}  // namespace

std::uint32_t OpenSerialLink(std::uint32_t comPort, std::unique_ptr<Link>& out) {
    if (comPort == 0 || comPort > 65535) return wire::kBadParameter;
    // The device namespace names every port, COM10 and above too.
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(comPort);
    // Not shared: two connections on one line would read each other's replies.
    const HANDLE port = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? wire::kDeviceNotFound
                   : wire::kOpenFailed;
    }
    // A port without hardware behind it refuses its settings.
    if (!ApplyRaw(port, 9600)) {
        ::CloseHandle(port);
        return wire::kDeviceNotFound;
    }
    ::PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    out.reset(new WindowsSerialLink(port));
    return wire::kOk;
}

}  // namespace kv::lib
