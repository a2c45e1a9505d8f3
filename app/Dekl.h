#pragma once

// Shared declarations: the connection settings record every window works on, the
// module configuration image, the word-per-character texts of the transport libraries
// and the settings file beside the executable.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kv {

// One character per word, code page 1250 in the low byte: how the transport libraries
// hand over their error texts.
using TextWords = std::array<std::uint32_t, 1024>;

// Parameters handed to a transport library's Init. Words are pointer-sized so that a
// text word can carry a pointer to a zero-terminated code-page-1250 string; numbers
// travel as their 32-bit value, zero-extended.
using InitBlock = std::array<std::uintptr_t, 16>;

// The 120-byte image of the module's configuration, byte for byte as the module keeps it.
struct ModuleConfig {
    static constexpr std::size_t kSize = 120;
    static constexpr std::size_t kAddress = 0;    // module RS-485 address
    static constexpr std::size_t kSpeedCode = 1;  // position in the speed list
    static constexpr std::size_t kIpAddress = 2;  // 4 octets, first first
    static constexpr std::size_t kNetMask = 6;    // 4 octets
    static constexpr std::size_t kGateway = 10;   // 4 octets
    static constexpr std::size_t kVlan = 14;      // three VLAN records of kVlanSize bytes
    static constexpr std::size_t kVlanSize = 28;
    static constexpr std::size_t kRemote = 98;  // remote management record, 22 bytes

    // Offsets within a VLAN record.
    static constexpr std::size_t kVlanPort = 0;  // 2 bytes, low first
    static constexpr std::size_t kVlanMode = 2;
    static constexpr std::size_t kVlanValidity = 3;   // seconds
    static constexpr std::size_t kVlanAccess = 4;     // 0 read/write, 1 read only
    static constexpr std::size_t kVlanUserIp = 5;     // octet k of user u at 5 + 3k + u
    static constexpr std::size_t kVlanUserPort = 18;  // 2 bytes per user
    static constexpr std::size_t kVlanUserAccess = 24;

    // Offsets within the remote management record.
    static constexpr std::size_t kRemotePort = 0;  // 2 bytes, low first
    static constexpr std::size_t kRemoteMode = 2;
    static constexpr std::size_t kRemoteUserIp = 3;     // octet k of user u at 3 + 3k + u
    static constexpr std::size_t kRemoteUserPort = 16;  // 2 bytes per user

    std::array<std::uint8_t, kSize> bytes{};

    std::uint16_t U16(std::size_t offset) const {
        return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
    }
    void SetU16(std::size_t offset, std::uint16_t value) {
        bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
        bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    static constexpr std::size_t VlanOffset(int v) {
        return kVlan + kVlanSize * static_cast<std::size_t>(v);
    }

    bool operator==(const ModuleConfig&) const = default;
};

ModuleConfig DefaultModuleConfig();

// The module's three VLAN interfaces, by index 0, 1, 2 (VLAN1..VLAN3).
constexpr int kVlanCount = 3;
// The index a window or a decoder works with: anything outside 0..2 stands for VLAN1.
constexpr int SettleVlanIndex(int vlan) {
    return vlan >= 0 && vlan < kVlanCount ? vlan : 0;
}

// The one record shared by every window. Field names as used throughout the program.
struct ConnectionSettings {
    std::uint8_t interfaceKind = 0;
    std::uint8_t moduleAddress = 0;
    std::uint32_t baudRate = 9600;
    std::uint16_t pciBaseAddress = 768;
    std::uint8_t comPort = 1;
    std::string kvIpAddress = "192.168.0.99";
    std::int32_t kvUdpPort = 5000;
    std::int32_t kvUdpTimeout = 1000;
    std::string lanIpAddress = "192.168.0.99";
    std::int32_t lanUdpPort = 5000;
    std::int32_t lanUdpTimeout = 1000;
    std::string qudpTargetIp = "192.168.0.99";
    std::int32_t qudpTargetPort = 56565;
    std::int32_t qudpSourcePort = 10000;
    std::int32_t qudpTimeout = 1000;
    std::int32_t usbDetection = 0;
    std::string usbSerial = "00000001";
    std::int32_t usbTimeout = 1000;
    std::string statusText = "Připojení modulu dosud neinicializováno";
    std::uint32_t handle = 0;
    bool connected = false;
    std::string moduleIdent;
    InitBlock initBlock{};
    ModuleConfig moduleConfig = DefaultModuleConfig();

    // Code-page-1250 copies of the texts that initBlock points at while Init runs.
    // Owned by the record so the pointers stay valid as long as the record does.
    std::array<std::string, 4> initTexts;
};

// A request may go to the module only over a connection the initialisation made usable.
inline bool ConnectionUsable(const ConnectionSettings& settings) {
    return settings.connected && settings.handle != 0;
}
// What every window shows when asked to talk to the module without such a connection.
inline constexpr const char* kNotConnectedText = " Připojení k zařízení není inicializováno.";

// Writes every default into the record; nothing for a missing record.
void SetDefaults(ConnectionSettings* settings);

// The settings file "W_kv3380u.ini": where it is read from and where it is written.
struct SettingsFiles {
    std::string load;
    std::string save;
    bool operator==(const SettingsFiles&) const = default;
};

// Beside the executable while the program folder can be written (a build tree, a copied
// program). An installed program cannot write its folder, so the file lives in the
// user's configuration folder ("kv3380u/W_kv3380u.ini" there) under the same name and
// with the same content; until the user has one of their own, a file beside the
// executable (the administrator's defaults) is read instead. `userFolder` is the
// configuration folder with a trailing separator, empty when the user has none.
SettingsFiles ChooseSettingsFiles(const std::string& programFolder, bool programFolderWritable,
                                  const std::string& userFolder, bool userFileExists);
// The choice for this process.
SettingsFiles SettingsFileLocation();
// Where the settings are read from, as SettingsFileLocation().load.
std::string SettingsFilePath();

// Reads the settings file into the record. True when the file named an interface;
// false (record unchanged) when the file or the key is absent.
bool LoadSettings(ConnectionSettings* settings);
bool LoadSettings(ConnectionSettings* settings, const std::string& path);
// The interface the settings file names ("Rozhraní"), as LoadSettings reads it, in UTF-8;
// nullopt when the file or the key is absent. A text that is no kind's name leaves the
// record's kind as it was.
std::optional<std::string> StoredInterfaceName(const std::string& path);

// Writes the persistent fields; keys and sections the program does not know survive.
// The file is replaced atomically: a failed save leaves the old file as it was. Saving
// to the user's configuration folder creates the folder first; the first save there
// keeps what the file beside the executable held beyond the program's own keys.
bool SaveSettings(const ConnectionSettings* settings);
bool SaveSettings(const ConnectionSettings* settings, const std::string& path);

// UTF-8 text into words 1.. (at most 99 characters, code page 1250), word 0 and the rest 0.
void TextToWords(const std::string& text, TextWords& words);
// Words 0..99 back to UTF-8: a zero word 0 is skipped, reading stops at the next zero word.
std::string TextFromWords(const TextWords& words);

}  // namespace kv
