// The settings file reader on arbitrary bytes: loading leaves the connection state and the
// module configuration alone, keeps the kind a valid one, changes nothing when the file
// names no interface, and what it read saves and loads back the same.

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/Dekl.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// A private folder for the whole run, removed when the process ends.
const std::string& Folder() {
    struct Scratch {
        std::string path = "/tmp/kv-settings-fuzz-XXXXXX";
        Scratch() {
            if (::mkdtemp(path.data()) == nullptr) std::abort();
        }
        ~Scratch() { std::filesystem::remove_all(path); }
    };
    static const Scratch scratch;
    return scratch.path;
}

// What the file keeps, the kind's own fields and the main section, as one text.
std::string Kept(const kv::ConnectionSettings& s) {
    return std::to_string(s.interfaceKind) + "|" + std::to_string(s.moduleAddress) + "|" +
           std::to_string(s.baudRate) + "|" + std::to_string(s.pciBaseAddress) + "|" +
           std::to_string(s.comPort) + "|" + s.kvIpAddress + std::to_string(s.kvUdpPort) +
           std::to_string(s.kvUdpTimeout) + "|" + s.lanIpAddress + std::to_string(s.lanUdpPort) +
           std::to_string(s.lanUdpTimeout) + "|" + s.qudpTargetIp +
           std::to_string(s.qudpTargetPort) + std::to_string(s.qudpTimeout) + "|" +
           std::to_string(s.usbDetection) + s.usbSerial + std::to_string(s.usbTimeout);
}

bool Untouched(const kv::ConnectionSettings& s) {
    const kv::ConnectionSettings d;
    return s.qudpSourcePort == d.qudpSourcePort && s.statusText == d.statusText && s.handle == 0 &&
           !s.connected && s.moduleIdent.empty() && s.moduleConfig == d.moduleConfig;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = Folder() + "/W_kv3380u.ini", saved = Folder() + "/saved.ini";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    kv::ConnectionSettings settings;
    const bool named = kv::LoadSettings(&settings, path);
    Check(settings.interfaceKind < 8 && Untouched(settings));
    if (!named) {
        Check(Kept(settings) == Kept(kv::ConnectionSettings{}));
        return 0;
    }
    // Saved and loaded over the defaults twice: after the first round nothing changes.
    kv::ConnectionSettings first, second;
    std::filesystem::remove(saved);
    if (!kv::SaveSettings(&settings, saved)) return 0;
    Check(kv::LoadSettings(&first, saved) && first.interfaceKind == settings.interfaceKind &&
          first.moduleAddress == settings.moduleAddress && first.baudRate == settings.baudRate);
    std::filesystem::remove(saved);
    Check(kv::SaveSettings(&first, saved) && kv::LoadSettings(&second, saved));
    Check(Kept(second) == Kept(first));
    return 0;
}

extern "C" std::size_t KvFuzzSeeds(std::vector<std::vector<std::uint8_t>>* out) {
    for (std::string s :
         {"[P\xF8ipojen\xED]\r\nRozhran\xED=LAN QUDP\r\nAdresa=300\r\nRychlost=$2580\r\n"
          "[LAN QUDP]\r\nC\xEDlov\xE1 IP adresa= 127.0.0.9 \r\nC\xEDlov\xFD port=0x10\r\n",
          "[P\xF8ipojen\xED]\nRozhran\xED=USBVx\n[USBVx]\nDetekce=-1\nV\xFDrobn\xED "
          "\xE8\xEDslo=AB\n"})
        out->emplace_back(s.begin(), s.end());
    return out->size();
}
