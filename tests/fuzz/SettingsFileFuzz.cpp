// The settings file reader on arbitrary bytes: loading never touches the connection state
// or the module configuration, keeps the kind a valid one, leaves the record as it was
// when it reports no interface entry, and whatever it read saves and loads back the same.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Dekl.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

const std::string& Folder() {
    static const std::string folder = [] {
        std::string name = "/tmp/kv-settings-fuzz-XXXXXX";
        if (::mkdtemp(name.data()) == nullptr) std::abort();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(Folder(), ec);
        });
        return name;
    }();
    return folder;
}

// What the file keeps, and what loading must leave alone, as one comparable text.
std::string Persistent(const kv::ConnectionSettings& s) {
    return std::to_string(s.interfaceKind) + "|" + std::to_string(s.moduleAddress) + "|" +
           std::to_string(s.baudRate) + "|" + std::to_string(s.pciBaseAddress) + "|" +
           std::to_string(s.comPort) + "|" + s.kvIpAddress + "|" + std::to_string(s.kvUdpPort) +
           "|" + std::to_string(s.kvUdpTimeout) + "|" + s.lanIpAddress + "|" +
           std::to_string(s.lanUdpPort) + "|" + std::to_string(s.lanUdpTimeout) + "|" +
           s.qudpTargetIp + "|" + std::to_string(s.qudpTargetPort) + "|" +
           std::to_string(s.qudpTimeout) + "|" + std::to_string(s.usbDetection) + "|" +
           s.usbSerial + "|" + std::to_string(s.usbTimeout);
}

std::string Untouched(const kv::ConnectionSettings& s) {
    return std::to_string(s.qudpSourcePort) + "|" + s.statusText + "|" + std::to_string(s.handle) +
           "|" + std::to_string(s.connected) + "|" + s.moduleIdent + "|" +
           std::string(s.moduleConfig.bytes.begin(), s.moduleConfig.bytes.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = Folder() + "/W_kv3380u.ini";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    kv::ConnectionSettings settings;
    const kv::ConnectionSettings defaults;
    const bool named = kv::LoadSettings(&settings, path);
    Check(settings.interfaceKind < 8);
    Check(Untouched(settings) == Untouched(defaults));
    if (!named) {
        Check(Persistent(settings) == Persistent(defaults));
        return 0;
    }

    // A save of what was read, loaded over the defaults, reads the same for the kind's
    // own fields and the main section; once more, and nothing changes any longer.
    const std::string saved = Folder() + "/saved.ini";
    std::filesystem::remove(saved);
    if (!kv::SaveSettings(&settings, saved)) return 0;
    kv::ConnectionSettings first;
    Check(kv::LoadSettings(&first, saved));
    Check(first.interfaceKind == settings.interfaceKind);
    Check(first.moduleAddress == settings.moduleAddress && first.baudRate == settings.baudRate);
    std::filesystem::remove(saved);
    Check(kv::SaveSettings(&first, saved));
    kv::ConnectionSettings second;
    Check(kv::LoadSettings(&second, saved));
    Check(Persistent(second) == Persistent(first));
    return 0;
}

extern "C" std::size_t KvFuzzSeeds(std::vector<std::vector<std::uint8_t>>* out) {
    for (const char* seed :
         {"[P\xF8ipojen\xED]\r\nRozhran\xED=LAN QUDP\r\nAdresa=300\r\nRychlost=$2580\r\n"
          "[LAN QUDP]\r\nC\xEDlov\xE1 IP adresa= 127.0.0.9 \r\nC\xEDlov\xFD port=0x10\r\n",
          "[P\xF8ipojen\xED]\nRozhran\xED=USBVx\n[USBVx]\nDetekce=-1\nV\xFDrobn\xED "
          "\xE8\xEDslo=AB\n",
          "[p\xF8ipojen\xED]\nrozhran\xED=jkl\n"}) {
        const std::string s(seed);
        out->emplace_back(s.begin(), s.end());
    }
    return out->size();
}
