#pragma once

// Our private-profile file: sections of key=value lines, read and written key by key.
// Lines are kept as raw bytes, so sections, keys and comments the program does not
// know survive a save untouched. Section and key names compare case-insensitively
// (ASCII letters only), as the Windows profile functions do.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

// How the lines of a file end when it is written.
enum class IniLineEnds {
    kCrLf,  // as the Windows profile functions write them
    kLf,
};

// One line of the file as a reader that reports by line sees it.
struct IniLine {
    enum class Kind {
        kBlank,
        kComment,  // ";" or "#" first
        kSection,  // "[name]"; a header without its "]" still opens one
        kKey,      // "key=value" with a key
        kOther,    // anything else: no "=", or nothing before it
    };
    std::size_t number = 0;  // 1 for the first line
    Kind kind = Kind::kOther;
    std::string section;  // the section the line belongs to (its own name for a header)
    std::string name;     // section or key name, trimmed
    std::string value;    // key value, trimmed
    bool closed = true;   // a header with its "]"
};

enum class IniLoadStatus {
    kLoaded,
    kMissing,     // no file at the path: an empty document, and a save may create one
    kUnreadable,  // something is there but could not be read as settings
};

class IniFile {
  public:
    // A settings file is a few hundred bytes; anything beyond this is not one, and
    // reading it whole would only cost memory.
    static constexpr std::size_t kMaxFileSize = 1024 * 1024;

    // Reads the file; a missing or unreadable file gives an empty document (false).
    // Any bytes are tolerated: overlong lines, lines without "=", CR LF or LF ends.
    bool Load(const std::string& path);
    // As Load, telling a missing file from one that is there but unreadable (no
    // permission, not a regular file, larger than kMaxFileSize).
    IniLoadStatus LoadFile(const std::string& path);
    // Parses text already in memory (bytes as stored in the file).
    void Parse(const std::string& bytes);

    // Raw bytes of the value (code page as stored), trimmed of blanks around it. The
    // first matching key wins, as with the Windows profile functions.
    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    // Adds the key (and the section) where missing, replaces the value where present.
    // A new key goes after the last key of its section, a new section at the end.
    // False, and nothing changes, for names or values the file cannot hold: empty
    // names, line breaks or NUL anywhere, "=" in a key, "]" in a section name, names
    // with blanks around them or keys that would read back as a comment or a section.
    bool Set(const std::string& section, const std::string& key, const std::string& value);

    // Every line in file order, classified as Get and Set see it.
    std::vector<IniLine> Lines() const;

    // Laying a new file out in order: each call adds one line at the end. A key goes
    // into the last section; the names and values take the rules of Set, and a comment
    // may not hold a line break. False, and nothing changes, where they break them.
    bool AppendSection(const std::string& section);
    bool AppendKey(const std::string& key, const std::string& value);
    bool AppendComment(const std::string& text);
    void AppendBlank();

    // Bytes as they would be written.
    std::string Serialize(IniLineEnds ends = IniLineEnds::kCrLf) const;
    // Writes a temporary file beside the target and renames it over the target, so a
    // failed save leaves the old file as it was. A symbolic link is followed, so the
    // file it points at is replaced rather than the link.
    bool Save(const std::string& path, IniLineEnds ends = IniLineEnds::kCrLf) const;

  private:
    struct Line {
        std::string raw;  // the line as read, without its line end
    };
    std::vector<Line> lines_;
};

}  // namespace kv::platform
