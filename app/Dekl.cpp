#include "app/Dekl.h"

#include <cstring>
#include <optional>

#include "app/NumberText.h"
#include "platform/ConfigFolder.h"
#include "platform/Cp1250.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "transport/InterfaceKinds.h"

namespace kv {

ModuleConfig DefaultModuleConfig() {
    ModuleConfig c;
    auto& b = c.bytes;
    b[ModuleConfig::kAddress] = 1;
    b[ModuleConfig::kSpeedCode] = 4;  // 9600 Bd
    const std::uint8_t ip[4] = {192, 168, 0, 99};
    const std::uint8_t mask[4] = {255, 255, 255, 0};
    const std::uint8_t gateway[4] = {192, 168, 0, 123};
    for (std::size_t k = 0; k < 4; ++k) {
        b[ModuleConfig::kIpAddress + k] = ip[k];
        b[ModuleConfig::kNetMask + k] = mask[k];
        b[ModuleConfig::kGateway + k] = gateway[k];
    }
    for (int v = 0; v < 3; ++v) {
        const std::size_t base = ModuleConfig::VlanOffset(v);
        c.SetU16(base + ModuleConfig::kVlanPort, static_cast<std::uint16_t>(5000 + v));
        b[base + ModuleConfig::kVlanMode] = v == 0 ? 1 : 0;
        b[base + ModuleConfig::kVlanValidity] = 10;
    }
    c.SetU16(ModuleConfig::kRemote + ModuleConfig::kRemotePort, 56565);
    b[ModuleConfig::kRemote + ModuleConfig::kRemoteMode] = 1;
    return c;
}

void SetDefaults(ConnectionSettings* settings) {
    if (settings == nullptr) return;
    // The record's member initialisers are the one statement of the defaults.
    *settings = ConnectionSettings{};
}

namespace {
constexpr const char* kSettingsFileName = "W_kv3380u.ini";
const std::string kUserSubfolder = std::string("kv3380u") + platform::kPathSeparator;
}  // namespace

SettingsFiles ChooseSettingsFiles(const std::string& programFolder, bool programFolderWritable,
                                  const std::string& userFolder, bool userFileExists) {
    const std::string beside = programFolder + kSettingsFileName;
    if (programFolderWritable || userFolder.empty()) return {beside, beside};
    const std::string own = userFolder + kUserSubfolder + kSettingsFileName;
    return {userFileExists ? own : beside, own};
}

SettingsFiles SettingsFileLocation() {
    const std::string program = platform::ProgramFolder();
    const std::string user = platform::UserConfigFolder();
    const std::string own =
        user.empty() ? std::string() : user + kUserSubfolder + kSettingsFileName;
    return ChooseSettingsFiles(program, platform::FolderWritable(program), user,
                               platform::FileExists(own));
}

std::string SettingsFilePath() {
    return SettingsFileLocation().load;
}

namespace {

constexpr const char* kMainSection = "Připojení";
constexpr const char* kSentinel = "jkl";

// Each kind keeps its parameters in the section named after it.
constexpr const char* Section(std::uint8_t kind) {
    return kInterfaceKinds[kind].name;
}
// The Windows program took every text from the profile functions in a buffer of 2048
// characters: at most 2047 of them come over.
constexpr std::size_t kTextBuffer = 2048;

// Names and values cross into code page 1250 here and nowhere else.
class SettingsFile {
  public:
    explicit SettingsFile(platform::IniFile& ini) : ini_(ini) {}

    // The value as the profile functions handed it over into that buffer. Still in code
    // page 1250.
    std::optional<std::string> RawText(const char* section, const char* key) const {
        return ini_.Get(platform::Utf8ToCp1250(section), platform::Utf8ToCp1250(key), kTextBuffer);
    }

    void ReadText(const char* section, const char* key, std::string& field) const {
        if (auto raw = RawText(section, key)) field = platform::Cp1250ToUtf8(*raw);
    }

    // The field keeps its value unless the key holds an integer; the integer's low
    // bits as wide as the field are taken.
    template <typename Field>
    void ReadInt(const char* section, const char* key, Field& field) const {
        const auto raw = RawText(section, key);
        if (!raw) return;
        const auto bits = ParseInteger(*raw, kProfileSyntax);
        if (!bits) return;
        field = static_cast<Field>(*bits);
    }

    bool WriteText(const char* section, const char* key, const std::string& utf8) {
        return ini_.Set(platform::Utf8ToCp1250(section), platform::Utf8ToCp1250(key),
                        platform::Utf8ToCp1250(utf8));
    }

    template <typename Field>
    bool WriteInt(const char* section, const char* key, Field value) {
        return WriteText(section, key, std::to_string(value));
    }

  private:
    platform::IniFile& ini_;
};

}  // namespace

bool LoadSettings(ConnectionSettings* settings) {
    return LoadSettings(settings, SettingsFilePath());
}

bool LoadSettings(ConnectionSettings* settings, const std::string& path) {
    if (settings == nullptr) return false;
    platform::IniFile ini;
    // An unreadable file reads like an absent one: nothing in it can be trusted.
    ini.LoadFile(path);
    SettingsFile file(ini);

    const std::string kindName = file.RawText(kMainSection, "Rozhraní").value_or(kSentinel);
    if (kindName == kSentinel) return false;

    ConnectionSettings& s = *settings;
    file.ReadInt(kMainSection, "Adresa", s.moduleAddress);
    file.ReadInt(kMainSection, "Rychlost", s.baudRate);
    file.ReadInt(Section(kKindUsbVx), "Detekce", s.usbDetection);
    file.ReadText(Section(kKindUsbVx), "Výrobní číslo", s.usbSerial);
    file.ReadInt(Section(kKindUsbVx), "USB timeout", s.usbTimeout);
    file.ReadText(Section(kKindLanQudp), "Cílová IP adresa", s.qudpTargetIp);
    file.ReadInt(Section(kKindLanQudp), "Cílový port", s.qudpTargetPort);
    file.ReadInt(Section(kKindLanQudp), "LAN timeout", s.qudpTimeout);
    file.ReadInt(Section(kKindCom), "Číslo portu", s.comPort);
    file.ReadInt(Section(kKindPci380), "Bázová adresa", s.pciBaseAddress);
    file.ReadText(Section(kKindKv3380), "IP adresa", s.kvIpAddress);
    file.ReadInt(Section(kKindKv3380), "UDP port", s.kvUdpPort);
    file.ReadInt(Section(kKindKv3380), "UDP timeout", s.kvUdpTimeout);
    file.ReadText(Section(kKindLan), "IP adresa", s.lanIpAddress);
    file.ReadInt(Section(kKindLan), "UDP port", s.lanUdpPort);
    file.ReadInt(Section(kKindLan), "UDP timeout", s.lanUdpTimeout);

    // The kind names are ASCII, so the code-page text compares as it stands.
    if (const auto kind = InterfaceKindByName(kindName)) s.interfaceKind = *kind;
    return true;
}

std::optional<std::string> StoredInterfaceName(const std::string& path) {
    platform::IniFile ini;
    ini.LoadFile(path);
    const auto raw = SettingsFile(ini).RawText(kMainSection, "Rozhraní");
    if (!raw) return std::nullopt;
    return platform::Cp1250ToUtf8(*raw);
}

bool SaveSettings(const ConnectionSettings* settings) {
    if (settings == nullptr) return false;
    const SettingsFiles files = SettingsFileLocation();
    if (files.save == files.load) return SaveSettings(settings, files.save);
    // The user's first file of their own: it starts as a copy of the one read, so that
    // keys the program does not know survive as they would beside the executable.
    const auto slash = files.save.find_last_of(platform::kPathSeparator);
    if (slash == std::string::npos || !platform::MakeFolders(files.save.substr(0, slash)))
        return false;
    platform::IniFile source;
    if (source.LoadFile(files.load) == platform::IniLoadStatus::kLoaded && !source.Save(files.save))
        return false;
    return SaveSettings(settings, files.save);
}

bool SaveSettings(const ConnectionSettings* settings, const std::string& path) {
    if (settings == nullptr) return false;
    platform::IniFile ini;
    // Whatever the file holds beyond our keys must survive, so a file that is there
    // but cannot be read is never overwritten with our keys alone.
    if (ini.LoadFile(path) == platform::IniLoadStatus::kUnreadable) return false;
    SettingsFile file(ini);
    const ConnectionSettings& s = *settings;

    // Any kind outside the eight is stored as a COM port, the one kind whose only
    // parameter is a plain number.
    const std::uint8_t kind =
        s.interfaceKind < kInterfaceKindCount ? s.interfaceKind : std::uint8_t{kKindCom};
    bool ok = file.WriteText(kMainSection, "Rozhraní", Section(kind));
    switch (kind) {
        case kKindUsbVx:
            ok = ok && file.WriteInt(Section(kKindUsbVx), "Detekce", s.usbDetection);
            ok = ok && file.WriteText(Section(kKindUsbVx), "Výrobní číslo", s.usbSerial);
            ok = ok && file.WriteInt(Section(kKindUsbVx), "USB timeout", s.usbTimeout);
            break;
        case kKindLanQudp:
            ok = ok && file.WriteText(Section(kKindLanQudp), "Cílová IP adresa", s.qudpTargetIp);
            ok = ok && file.WriteInt(Section(kKindLanQudp), "Cílový port", s.qudpTargetPort);
            ok = ok && file.WriteInt(Section(kKindLanQudp), "LAN timeout", s.qudpTimeout);
            break;
        case kKindCom:
            ok = ok &&
                 file.WriteInt(Section(kKindCom), "Číslo portu", static_cast<unsigned>(s.comPort));
            break;
        case kKindPci380:
            ok = ok && file.WriteInt(Section(kKindPci380), "Bázová adresa",
                                     static_cast<unsigned>(s.pciBaseAddress));
            break;
        case kKindKv3380:
        case kKindLan: {
            // The two UDP kinds keep the same keys, each in its own section.
            const char* section = Section(kind);
            const bool kv = kind == kKindKv3380;
            ok = ok && file.WriteText(section, "IP adresa", kv ? s.kvIpAddress : s.lanIpAddress);
            ok = ok && file.WriteInt(section, "UDP port", kv ? s.kvUdpPort : s.lanUdpPort);
            ok = ok && file.WriteInt(section, "UDP timeout", kv ? s.kvUdpTimeout : s.lanUdpTimeout);
            break;
        }
        default:  // kinds 4 and 5 have no parameters
            break;
    }
    ok = ok && file.WriteInt(kMainSection, "Adresa", static_cast<unsigned>(s.moduleAddress));
    ok = ok && file.WriteInt(kMainSection, "Rychlost", s.baudRate);
    // A text with a line break cannot be stored; writing nothing keeps the old file
    // whole instead of a file with the key missing or cut.
    return ok && ini.Save(path);
}

namespace {
constexpr std::size_t kMaxWordTextLength = 99;
}

void TextToWords(const std::string& text, TextWords& words) {
    words.fill(0);
    const std::string bytes = platform::Utf8ToCp1250(text);
    const std::size_t n = bytes.size() < kMaxWordTextLength ? bytes.size() : kMaxWordTextLength;
    for (std::size_t i = 0; i < n; ++i) words[i + 1] = static_cast<std::uint8_t>(bytes[i]);
}

std::string TextFromWords(const TextWords& words) {
    std::string bytes;
    for (std::size_t i = 0; i <= kMaxWordTextLength; ++i) {
        const std::uint32_t word = words[i];
        if (word == 0) {
            if (i == 0) continue;
            break;
        }
        // A word such as 256 is not the end of the text (only a zero word is), yet its
        // character is NUL, which no text can hold: it would cut the text short in
        // every C string it is handed on in. The word is passed over.
        const auto c = static_cast<std::uint8_t>(word & 0xFF);
        if (c == 0) continue;
        bytes += static_cast<char>(c);
    }
    return platform::Cp1250ToUtf8(bytes);
}

}  // namespace kv
