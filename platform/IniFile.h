#pragma once

// Our private-profile file: sections of key=value lines, read and written key by key.
// Lines are kept as raw bytes, so sections, keys and comments the program does not
// know survive a save untouched. Section and key names compare case-insensitively
// (ASCII letters only), as the Windows profile functions do.

#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

class IniFile {
public:
    // Reads the file; a missing or unreadable file gives an empty document (false).
    // Any bytes are tolerated: overlong lines, lines without "=", CR LF or LF ends.
    bool Load(const std::string& path);
    // Parses text already in memory (bytes as stored in the file).
    void Parse(const std::string& bytes);

    // Raw bytes of the value (code page as stored), trimmed of blanks around it.
    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    // Adds the key (and the section) where missing, replaces the value where present.
    void Set(const std::string& section, const std::string& key, const std::string& value);

    // Bytes as they would be written (CR LF line ends).
    std::string Serialize() const;
    // Writes a temporary file beside the target and renames it over the target, so a
    // failed save leaves the old file as it was.
    bool Save(const std::string& path) const;

private:
    struct Line {
        std::string raw;  // the line as read, without its line end
    };
    std::vector<Line> lines_;
};

}  // namespace kv::platform
