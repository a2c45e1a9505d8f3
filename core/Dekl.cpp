#include "core/Dekl.h"

#include <cstring>
#include <optional>
#include <variant>

#include "core/KindParameters.h"
#include "core/NumberText.h"
#include "platform/ConfigFolder.h"
#include "platform/Cp1250.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "transport/InterfaceKinds.h"

namespace kv {

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

    void Read(const char* section, const char* key, std::string& field) const {
        ReadText(section, key, field);
    }
    template <typename Field>
    void Read(const char* section, const char* key, Field& field) const {
        ReadInt(section, key, field);
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
    for (const KindParameter& p : AllKindParameters())
        std::visit([&](auto field) { file.Read(Section(p.kind), p.key, s.*field); }, p.field);

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
    for (const KindParameter& p : KindParameters(kind)) {
        const ParameterValue value = FieldValue(s, p);
        ok = ok && file.WriteText(Section(kind), p.key,
                                  value.number ? std::to_string(*value.number) : value.text);
    }
    ok = ok && file.WriteInt(kMainSection, "Adresa", static_cast<unsigned>(s.moduleAddress));
    ok = ok && file.WriteInt(kMainSection, "Rychlost", s.baudRate);
    // A text with a line break cannot be stored; writing nothing keeps the old file
    // whole instead of a file with the key missing or cut.
    return ok && ini.Save(path);
}

}  // namespace kv
