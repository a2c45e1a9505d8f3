#pragma once

// Shared declarations: the connection settings record every window works on and the
// settings file beside the executable.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/ModuleConfig.h"
#include "transport/Words.h"

namespace kv {

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
inline constexpr const char* kNotConnectedText = "Připojení k zařízení není inicializováno.";

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

}  // namespace kv
