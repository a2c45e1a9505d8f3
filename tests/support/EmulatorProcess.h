#pragma once

// The emulator as a child process for the tests: a scratch folder of its own (state file,
// virtual USB devices, what it writes to standard error), free ports on a loopback
// address, and a clean end. Start is the ready module of the end-to-end tests; Launch
// runs the program with exactly the options a test gives it, to see what it prints.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv::testing {

class EmulatorProcess {
  public:
    // Address in 127.0.0.0/8 that this test process gives its emulators.
    static std::string TestAddress();

    // The scratch folder is made in parent (a tmpfs such as /dev/shm keeps the emulator's
    // flushes of its state file out of timings).
    explicit EmulatorProcess(const std::string& parent = "/tmp");
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    // Starts the emulator with ports reserved for this process (FreeUdpPort; unless extra
    // names --port or --vlan-ports itself), the folder's state file and device folder,
    // --lifetime 120, and the extra options; waits for "ready". False (with Log() telling
    // why) on failure.
    bool Start(const std::vector<std::string>& extra = {});
    // Runs the emulator with the arguments alone (after a --lifetime of 60 s that a later
    // one overrides); nothing is waited for. False when it could not be started.
    bool Launch(const std::vector<std::string>& args);
    // The next line of standard output, or nullopt after the time-out or at its end.
    std::optional<std::string> Line(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Lines up to and including "ready".
    std::vector<std::string> UntilReady();
    // The exit code (128 + the signal after a signal), or -1 when it has not ended within
    // the time-out.
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // What it wrote to standard error so far.
    std::string Errors() const;
    void Signal(int signal);
    pid_t Pid() const { return pid_; }

    // SIGTERM, and SIGKILL if it has not ended within a few seconds. Returns the exit
    // status as waitpid gives it, or -1 when nothing was running.
    int Stop();
    // True while the child has not exited.
    bool Running();
    // After a restart that moved ports the emulator prints its udp lines and "ready"
    // again; this reads them (up to the time-out) and updates the ports.
    bool WaitForReady(std::chrono::milliseconds timeout);

    const std::string& Address() const { return address_; }
    const std::string& Folder() const { return folder_; }
    std::string StatePath() const { return folder_ + "/state"; }
    std::string UsbFolder() const { return folder_ + "/usb"; }
    const std::string& UsbPath() const { return usbPath_; }
    const std::string& Serial() const { return serial_; }
    std::uint16_t ManagementPort() const { return ports_[0]; }
    std::uint16_t VlanPort(int v) const { return ports_[1 + v]; }
    // After Stop: the management requests the emulator received, less the repeats it
    // answered from its reply cache (a library's retries); -1 when it did not say.
    long RequestsAnswered() const;
    // Everything the emulator printed, and what went wrong in the fixture.
    std::string Log() const;

  private:
    bool ReadLine(std::string& line, std::chrono::steady_clock::time_point deadline);
    void TakeLine(const std::string& line);

    std::string address_;
    std::string folder_;
    std::string serial_ = "E2E00001";
    std::string usbPath_;
    std::uint16_t ports_[4] = {0, 0, 0, 0};
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
    std::string log_;
};

}  // namespace kv::testing
