#include "emulator/Options.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "emulator/StateFile.h"

namespace kv::emu {
namespace {

std::optional<std::uint64_t> Unsigned(const std::string& text, std::uint64_t max) {
    if (text.empty() || text.size() > 20 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || v > max) return std::nullopt;
    return v;
}

std::optional<double> Number(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos)
        return std::nullopt;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\0' || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<double> Share(const std::string& text) {
    auto v = Number(text);
    if (!v || *v < 0 || *v > 1) return std::nullopt;
    return v;
}

bool Loopback(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    return (ntohl(a.s_addr) >> 24) == 127;
}

}  // namespace

std::string UsageText() {
    return "Usage: kv3380u-emulator [options]\n"
           "A stand-in KV-3380U module on this computer's loopback network.\n"
           "\n"
           "  --address A          loopback address to listen on (default 127.0.0.2);\n"
           "                       addresses outside 127.0.0.0/8 are refused\n"
           "  --port N             remote-management UDP port (default: the port stored in\n"
           "                       block 250; 0 = a free port). A restart moves it to the\n"
           "                       stored port only if that was changed since the last start.\n"
           "  --vlan-ports A,B,C   the three VLAN UDP ports (default: blocks 251..253; 0 = free\n"
           "                       port); restart rule as above\n"
           "  --usb-serial S       8-character serial number of the virtual USB device\n"
           "                       (default: the one in the state file; a new state file takes\n"
           "                       it from this option or \"00000001\")\n"
           "  --usb-dir D          folder of virtual USB devices (default: $KV3380U_USB_DIR,\n"
           "                       else $XDG_RUNTIME_DIR/kv3380u-usb, else /tmp/kv3380u-usb-UID)\n"
           "  --no-usb             plug in no virtual USB device\n"
           "  --com N              offer a pseudo-terminal as COM port N (symlink COM<N> in the\n"
           "                       USB device folder)\n"
           "  --state FILE         state file (default ./kv3380u-emulator.state); created with\n"
           "                       the defaults when absent\n"
           "  --drop P             drop a share P (0..1) of replies\n"
           "  --duplicate P        send a share P of replies twice\n"
           "  --corrupt P          corrupt one byte in a share P of replies\n"
           "  --delay MS           delay replies by MS milliseconds\n"
           "  --delay-share P      share of replies that get the delay (default 1)\n"
           "  --silent             answer no request at all\n"
           "  --corrupt-store      store configuration blocks with one byte changed\n"
           "  --lose-store-replies store configuration blocks but lose every reply to it\n"
           "  --silent-after-store store the first configuration block, then answer nothing\n"
           "  --seed N             seed of the fault injection (default fixed, runs repeat)\n"
           "  --lifetime S         exit by itself after S seconds\n"
           "  --help               show this text\n"
           "\n"
           "On start it prints where it listens, one line each, then \"ready\".\n"
           "SIGINT or SIGTERM unplugs the virtual devices and ends it.\n";
}

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
    ParsedOptions r;
    Options& o = r.options;
    auto fail = [&](const std::string& why) {
        r.ok = false;
        r.error = why;
        return r;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };

        if (name.rfind("--", 0) != 0) return fail("unexpected argument " + name);
        if (name == "--help") {
            if (inlineValue) return fail("--help takes no value");
            o.help = true;
        } else if (name == "--no-usb") {
            if (inlineValue) return fail("--no-usb takes no value");
            o.noUsb = true;
        } else if (name == "--silent") {
            if (inlineValue) return fail("--silent takes no value");
            o.faults.silent = true;
        } else if (name == "--corrupt-store") {
            if (inlineValue) return fail("--corrupt-store takes no value");
            o.faults.corruptStore = true;
        } else if (name == "--lose-store-replies") {
            if (inlineValue) return fail("--lose-store-replies takes no value");
            o.faults.loseStoreReplies = true;
        } else if (name == "--silent-after-store") {
            if (inlineValue) return fail("--silent-after-store takes no value");
            o.faults.silentAfterStore = true;
        } else {
            auto v = value();
            if (!v) return fail(name + " needs a value");
            if (name == "--address") {
                if (!Loopback(*v)) return fail("--address must be an IPv4 address in 127.0.0.0/8");
                o.address = *v;
            } else if (name == "--port") {
                auto p = Unsigned(*v, 65535);
                if (!p) return fail("--port must be 0..65535");
                o.port = static_cast<std::uint16_t>(*p);
            } else if (name == "--vlan-ports") {
                std::array<std::uint16_t, 3> ports{};
                std::size_t start = 0;
                for (std::size_t k = 0; k < 3; ++k) {
                    std::size_t comma = v->find(',', start);
                    if ((k < 2) != (comma != std::string::npos))
                        return fail("--vlan-ports needs three ports separated by commas");
                    auto p =
                        Unsigned(v->substr(start, comma == std::string::npos ? std::string::npos
                                                                             : comma - start),
                                 65535);
                    if (!p) return fail("--vlan-ports: each port must be 0..65535");
                    ports[k] = static_cast<std::uint16_t>(*p);
                    start = comma + 1;
                }
                o.vlanPorts = ports;
            } else if (name == "--usb-serial") {
                if (!ValidSerial(*v)) return fail("--usb-serial must be 8 letters or digits");
                o.usbSerial = *v;
            } else if (name == "--usb-dir") {
                if (v->empty()) return fail("--usb-dir needs a folder");
                o.usbDir = *v;
            } else if (name == "--com") {
                auto n = Unsigned(*v, 255);
                if (!n || *n == 0) return fail("--com must be 1..255");
                o.com = static_cast<int>(*n);
            } else if (name == "--state") {
                if (v->empty()) return fail("--state needs a file name");
                o.statePath = *v;
            } else if (name == "--drop" || name == "--duplicate" || name == "--corrupt" ||
                       name == "--delay-share") {
                auto p = Share(*v);
                if (!p) return fail(name + " must be a share from 0 to 1");
                if (name == "--drop")
                    o.faults.drop = *p;
                else if (name == "--duplicate")
                    o.faults.duplicate = *p;
                else if (name == "--corrupt")
                    o.faults.corrupt = *p;
                else
                    o.faults.delayShare = *p;
            } else if (name == "--delay") {
                auto ms = Unsigned(*v, 600000);
                if (!ms) return fail("--delay must be 0..600000 ms");
                o.faults.delayMs = static_cast<std::uint32_t>(*ms);
            } else if (name == "--seed") {
                auto s = Unsigned(*v, UINT64_MAX);
                if (!s) return fail("--seed must be a whole number");
                o.faults.seed = *s;
            } else if (name == "--lifetime") {
                auto s = Number(*v);
                if (!s || *s <= 0 || *s > 1e7)
                    return fail("--lifetime must be a positive number of seconds");
                o.lifetimeSeconds = *s;
            } else {
                return fail("unknown option " + name);
            }
        }
    }
    r.ok = true;
    return r;
}

}  // namespace kv::emu
