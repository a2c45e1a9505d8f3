#pragma once

// Our private-profile file: sections of key=value lines, read and written key by key.
// Lines are kept as they were read, so sections, keys and comments the program does not
// know survive a save untouched.
//
// Get and Set read a file as the Windows private-profile functions do, in their ANSI
// form (GetPrivateProfileStringA) with code page 1250: a file brought from the Windows
// program, or edited by hand, means to us what it meant to that program, and a file we
// save means to it what we wrote. What those functions do was found by running them (the
// tests keep the cases and their answers):
//   - a line is trimmed of blanks, tabs, the other C white space and ^Z; CR, LF and CR LF
//     all end a line;
//   - "[name]" opens a section, the name running to the line's last "]", trimmed; a line
//     starting with "[" but without a "]" opens none: it is a line of the section above;
//   - every other line is a key: its name runs to the first "=", trimmed, and a line
//     without "=" is a key without a value (asked for, it gives the default); comment
//     lines (";", "#") are keys too, with names no one asks for;
//   - the lines before the first header form a section without a name;
//   - names compare without regard to the case of ASCII letters only, and end at a NUL;
//   - only the first section of a name counts, and in it only the first key of a name;
//   - a value is trimmed, ends at a NUL, and loses one pair of equal quotation marks
//     (" or ') around it; handed over into a buffer it is cut to fit, and then the mark
//     at its end is dropped by dropping the last character copied, and only when what
//     follows the opening mark fits the buffer;
//   - a file that starts with a byte-order mark is read as UTF-8 or UTF-16, its texts
//     handed over in the code page ('?' for what it lacks).

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

// How the file stores its text, as its byte-order mark tells; a file without one holds
// bytes (code page 1250 for the settings, UTF-8 for the backup file).
enum class IniEncoding {
    kBytes,
    kUtf8,     // EF BB BF
    kUtf16Le,  // FF FE
    kUtf16Be,  // FE FF
};

// One line of the file as a reader that reports by line sees it (the backup file's
// grammar, stricter than the profile functions'): names and values in the file's text,
// UTF-8 for a file with a byte-order mark.
struct IniLine {
    enum class Kind {
        kBlank,
        kComment,  // ";" or "#" first
        kSection,  // "[name]"; a header without its "]" still opens one here
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
    // Any bytes are tolerated: overlong lines, lines without "=", CR LF, LF or CR ends.
    bool Load(const std::string& path);
    // As Load, telling a missing file from one that is there but unreadable (no
    // permission, not a regular file, larger than kMaxFileSize).
    IniLoadStatus LoadFile(const std::string& path);
    // Parses text already in memory (bytes as stored in the file, byte-order mark and
    // all). UTF-16 is kept as UTF-8 inside; what it cannot hold (a lone surrogate, an odd
    // last byte) is read, and written back, as U+FFFD, as the profile functions read it.
    void Parse(const std::string& bytes);
    IniEncoding Encoding() const { return encoding_; }

    // A buffer no value fills.
    static constexpr std::size_t kWholeValue = static_cast<std::size_t>(-1);
    // The value as GetPrivateProfileStringA hands it over into a buffer of bufferSize
    // characters (see above): names and value in code page 1250; nullopt where the
    // function gives its default (no such section or key, or a key without "=").
    std::optional<std::string> Get(const std::string& section, const std::string& key,
                                   std::size_t bufferSize = kWholeValue) const;
    // Adds the key (and the section) where missing, replaces the line Get reads where
    // present. A new key goes after the last key of its section, a new section at the
    // end. Names and value in code page 1250; a value that would not read back as itself
    // (blanks at its ends, a quotation mark at both) is written in quotation marks.
    // False, and nothing changes, for names or values the file cannot hold: empty
    // names, line breaks or NUL anywhere, "=" in a key, "]" in a section name, names
    // with blanks around them or keys that would read back as a comment or a section.
    bool Set(const std::string& section, const std::string& key, const std::string& value);

    // Every line in file order, classified for a reader that reports by line.
    std::vector<IniLine> Lines() const;

    // Laying a new file out in order: each call adds one line at the end. A key goes
    // into the last section; the names and values take the rules of Set, and a comment
    // may not hold a line break. False, and nothing changes, where they break them.
    bool AppendSection(const std::string& section);
    bool AppendKey(const std::string& key, const std::string& value);
    bool AppendComment(const std::string& text);
    void AppendBlank();

    // Bytes as they would be written, in the encoding the file was read in (its
    // byte-order mark first).
    std::string Serialize(IniLineEnds ends = IniLineEnds::kCrLf) const;
    // Replaces the target's content in one step (ReplaceFileContent), so a failed save
    // leaves the old file as it was; LastSystemError() then says why.
    bool Save(const std::string& path, IniLineEnds ends = IniLineEnds::kCrLf) const;

  private:
    struct Line {
        std::string raw;  // the line as read, without its line end
    };
    std::vector<Line> lines_;
    IniEncoding encoding_ = IniEncoding::kBytes;
};

}  // namespace kv::platform
