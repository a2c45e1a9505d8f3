#include "platform/IniFile.h"

#include <string_view>

#include "platform/Cp1250.h"
#include "platform/FileAccess.h"
#include "platform/Text.h"

namespace kv::platform {
namespace {

enum class LineKind { kBlank, kComment, kSection, kKey, kOther };

struct Parsed {
    LineKind kind = LineKind::kOther;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
    bool closed = true;      // a section header with its "]"
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

Parsed Classify(std::string_view raw) {
    Parsed p;
    std::string_view t = Trim(raw);
    if (t.empty()) {
        p.kind = LineKind::kBlank;
    } else if (t.front() == ';' || t.front() == '#') {
        p.kind = LineKind::kComment;
    } else if (t.front() == '[') {
        // A header without its "]" still opens a section, so that keys below a damaged
        // header do not leak into the section above it.
        std::string_view inner = t.substr(1);
        const auto close = inner.find(']');
        if (close != std::string_view::npos) inner = inner.substr(0, close);
        p.closed = close != std::string_view::npos;
        p.kind = LineKind::kSection;
        p.name = Trim(inner);
    } else {
        const auto eq = t.find('=');
        if (eq != std::string_view::npos && !Trim(t.substr(0, eq)).empty()) {
            p.kind = LineKind::kKey;
            p.name = Trim(t.substr(0, eq));
            p.value = Trim(t.substr(eq + 1));
        }
    }
    return p;
}

bool HasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// ---- The lines as the Windows profile functions read them (see IniFile.h) ----

bool IsProfileSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1A';
}

std::string_view ProfileTrim(std::string_view s) {
    while (!s.empty() && IsProfileSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsProfileSpace(s.back())) s.remove_suffix(1);
    return s;
}

// The functions take names and values as C strings.
std::string_view UpToNul(std::string_view s) {
    return s.substr(0, s.find('\0'));
}

struct ProfileLine {
    enum class Kind { kNothing, kSection, kKey };
    Kind kind = Kind::kNothing;
    std::string_view name;                  // trimmed, up to a NUL
    std::optional<std::string_view> value;  // trimmed; none for a line without "="
};

ProfileLine ReadProfileLine(std::string_view raw) {
    ProfileLine p;
    const std::string_view t = ProfileTrim(raw);
    if (t.empty()) return p;
    if (t.front() == '[') {
        const auto close = t.rfind(']');
        if (close != std::string_view::npos) {
            p.kind = ProfileLine::Kind::kSection;
            p.name = UpToNul(ProfileTrim(t.substr(1, close - 1)));
            return p;
        }
    }
    p.kind = ProfileLine::Kind::kKey;
    const auto eq = t.find('=');
    if (eq == std::string_view::npos) {
        p.name = UpToNul(t);
    } else {
        p.name = UpToNul(ProfileTrim(t.substr(0, eq)));
        p.value = ProfileTrim(t.substr(eq + 1));
    }
    return p;
}

// Where the functions look for a key: the first section of the name (the nameless part
// before the first header for ""), and in it the first key of the name.
struct ProfilePlace {
    bool section = false;
    std::size_t header = 0;                 // the section's header line, if it has one
    std::optional<std::size_t> key;         // the key's line
    std::optional<std::size_t> lastValued;  // the section's last line with "="
};

template <typename Lines>
ProfilePlace FindInProfile(const Lines& lines, std::string_view section, std::string_view key) {
    section = UpToNul(ProfileTrim(section));
    key = UpToNul(ProfileTrim(key));
    ProfilePlace place;
    place.section = section.empty();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ProfileLine p = ReadProfileLine(lines[i].raw);
        if (p.kind == ProfileLine::Kind::kSection) {
            if (place.section) break;
            if (SameAsciiName(p.name, section)) {
                place.section = true;
                place.header = i;
            }
        } else if (place.section && p.kind == ProfileLine::Kind::kKey) {
            if (!place.key && SameAsciiName(p.name, key)) place.key = i;
            if (p.value) place.lastValued = i;
        }
    }
    return place;
}

// A UTF-8 text in code page 1250 as the ANSI functions hand it over: one byte for each
// UTF-16 unit the text reads as, so a character beyond U+FFFF gives "??", a character the
// code page lacks '?', and a faulty sequence one '?' for its lead byte and the
// continuation bytes read until the fault showed.
std::string ProfileAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i++]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            continue;
        }
        const std::size_t more = lead >= 0xC2 && lead <= 0xDF   ? 1
                                 : lead >= 0xE0 && lead <= 0xEF ? 2
                                 : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                                : 0;
        if (more == 0) {
            out += '?';
            continue;
        }
        char32_t cp = lead & (more == 1 ? 0x1F : more == 2 ? 0x0F : 0x07);
        bool ok = true;
        // The value ends where its line ends, at no continuation byte.
        for (std::size_t k = 0; k < more && ok; ++k) {
            const auto c = i < utf8.size() ? static_cast<unsigned char>(utf8[i]) : 0;
            if ((c & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
            ++i;
            // Overlong forms, surrogates and what lies beyond U+10FFFF show with the
            // first continuation byte.
            if (k == 0 && more == 2) ok = cp >= 0x20 && (cp < 0x360 || cp > 0x37F);
            if (k == 0 && more == 3) ok = cp >= 0x10 && cp < 0x110;
        }
        if (!ok) {
            out += '?';
        } else if (cp > 0xFFFF) {
            out += "??";
        } else {
            out += Cp1250ByteOf(cp);
        }
    }
    return out;
}

// How the functions hand a value over into a buffer of `size` characters.
std::string HandOver(std::string_view value, std::size_t size) {
    value = UpToNul(value);
    bool quoted = false;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        quoted = true;
        value.remove_prefix(1);
    }
    if (size == 0) return {};
    std::string out(value.substr(0, size - 1));
    if (quoted && size >= value.size() && !out.empty()) out.pop_back();
    return out;
}

// The value as it has to be written to read back as itself.
std::string StoredValue(const std::string& value) {
    if (value.empty()) return value;
    const char first = value.front(), last = value.back();
    const bool quotesRead = value.size() >= 2 && (first == '"' || first == '\'') && last == first;
    return IsProfileSpace(first) || IsProfileSpace(last) || quotesRead ? "\"" + value + "\""
                                                                       : value;
}

// ---- Unicode files ----

void AppendUtf16(std::string& out, char32_t unit, bool bigEndian) {
    const auto hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    auto unitAt = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (a << 8) | b : (b << 8) | a;
    };
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        char32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            const char32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? char32_t{0xFFFD} : unit);
    }
    if (i < bytes.size()) AppendUtf8(out, 0xFFFD);  // an odd last byte
    return out;
}

std::string Utf8ToUtf16(std::string_view text, bool bigEndian) {
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp = 0xFFFD;
        std::size_t length = 1;
        if (!DecodeUtf8(text, pos, cp, length)) cp = 0xFFFD;
        pos += length;
        if (cp > 0xFFFF) {
            AppendUtf16(out, 0xD800 + ((cp - 0x10000) >> 10), bigEndian);
            AppendUtf16(out, 0xDC00 + ((cp - 0x10000) & 0x3FF), bigEndian);
        } else {
            AppendUtf16(out, cp, bigEndian);
        }
    }
    return out;
}

}  // namespace

bool IniFile::Load(const std::string& path) {
    return LoadFile(path) == IniLoadStatus::kLoaded;
}

IniLoadStatus IniFile::LoadFile(const std::string& path) {
    lines_.clear();
    encoding_ = IniEncoding::kBytes;
    // A FIFO or a device at the path is refused without waiting for it.
    const FileBytes file = ReadSmallFile(path, kMaxFileSize);
    switch (file.status) {
        case FileBytes::Status::kRead:
            break;
        case FileBytes::Status::kMissing:
            return IniLoadStatus::kMissing;
        case FileBytes::Status::kTooLarge:
        case FileBytes::Status::kNotAFile:
        case FileBytes::Status::kUnreadable:
            return IniLoadStatus::kUnreadable;
    }
    Parse(file.bytes);
    return IniLoadStatus::kLoaded;
}

void IniFile::Parse(const std::string& file) {
    lines_.clear();
    encoding_ = IniEncoding::kBytes;
    std::string bytes;
    if (file.rfind("\xEF\xBB\xBF", 0) == 0) {
        encoding_ = IniEncoding::kUtf8;
        bytes = file.substr(3);
    } else if (file.rfind("\xFF\xFE", 0) == 0 || file.rfind("\xFE\xFF", 0) == 0) {
        const bool bigEndian = file[0] == '\xFE';
        encoding_ = bigEndian ? IniEncoding::kUtf16Be : IniEncoding::kUtf16Le;
        bytes = Utf16ToUtf8(std::string_view(file).substr(2), bigEndian);
    } else {
        bytes = file;
    }
    std::size_t start = 0;
    const std::size_t n = bytes.size();
    while (start < n) {
        std::size_t end = start;
        while (end < n && bytes[end] != '\n' && bytes[end] != '\r') ++end;
        lines_.push_back(Line{bytes.substr(start, end - start)});
        if (end < n && bytes[end] == '\r' && end + 1 < n && bytes[end + 1] == '\n') {
            start = end + 2;
        } else {
            start = end + 1;
        }
    }
}

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key,
                                        std::size_t bufferSize) const {
    const bool bytes = encoding_ == IniEncoding::kBytes;
    const ProfilePlace place = FindInProfile(lines_, bytes ? section : Cp1250ToUtf8(section),
                                             bytes ? key : Cp1250ToUtf8(key));
    if (!place.key) return std::nullopt;
    const ProfileLine p = ReadProfileLine(lines_[*place.key].raw);
    if (!p.value) return std::nullopt;
    return HandOver(bytes ? std::string(*p.value) : ProfileAnsi(*p.value), bufferSize);
}

namespace {

bool SectionNameFits(const std::string& section) {
    return !section.empty() && !HasLineBreakOrNul(section) &&
           section.find(']') == std::string::npos && ProfileTrim(section) == section;
}

bool KeyFits(const std::string& key, const std::string& value) {
    return !key.empty() && !HasLineBreakOrNul(key) && !HasLineBreakOrNul(value) &&
           key.find('=') == std::string::npos && ProfileTrim(key) == key && key.front() != ';' &&
           key.front() != '#' && key.front() != '[';
}

IniLine::Kind LineKindOf(LineKind kind) {
    switch (kind) {
        case LineKind::kBlank:
            return IniLine::Kind::kBlank;
        case LineKind::kComment:
            return IniLine::Kind::kComment;
        case LineKind::kSection:
            return IniLine::Kind::kSection;
        case LineKind::kKey:
            return IniLine::Kind::kKey;
        case LineKind::kOther:
            break;
    }
    return IniLine::Kind::kOther;
}

}  // namespace

std::vector<IniLine> IniFile::Lines() const {
    std::vector<IniLine> out;
    out.reserve(lines_.size());
    std::string section;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Parsed p = Classify(lines_[i].raw);
        IniLine line;
        line.number = i + 1;
        line.kind = LineKindOf(p.kind);
        if (p.kind == LineKind::kSection) {
            section = std::string(p.name);
            line.closed = p.closed;
        }
        line.section = section;
        if (p.kind == LineKind::kSection || p.kind == LineKind::kKey)
            line.name = std::string(p.name);
        if (p.kind == LineKind::kKey) line.value = std::string(p.value);
        out.push_back(std::move(line));
    }
    return out;
}

bool IniFile::AppendSection(const std::string& section) {
    if (!SectionNameFits(section)) return false;
    lines_.push_back(Line{"[" + section + "]"});
    return true;
}

bool IniFile::AppendKey(const std::string& key, const std::string& value) {
    if (!KeyFits(key, value)) return false;
    lines_.push_back(Line{key + "=" + value});
    return true;
}

bool IniFile::AppendComment(const std::string& text) {
    if (HasLineBreakOrNul(text)) return false;
    lines_.push_back(Line{text.empty() ? std::string(";") : "; " + text});
    return true;
}

void IniFile::AppendBlank() {
    lines_.push_back(Line{});
}

bool IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    if (!SectionNameFits(section) || !KeyFits(key, value)) return false;
    const bool bytes = encoding_ == IniEncoding::kBytes;
    const std::string name = bytes ? section : Cp1250ToUtf8(section);
    const std::string keyName = bytes ? key : Cp1250ToUtf8(key);
    const std::string stored = StoredValue(bytes ? value : Cp1250ToUtf8(value));
    const std::string newLine = keyName + "=" + stored;

    const ProfilePlace place = FindInProfile(lines_, name, keyName);
    if (place.key) {
        lines_[*place.key].raw = newLine;
    } else if (!place.section) {
        lines_.push_back(Line{"[" + name + "]"});
        lines_.push_back(Line{newLine});
    } else {
        // After the section's last key, so that blank lines and comments that lead into
        // the next section stay in front of it.
        const std::size_t at = place.lastValued ? *place.lastValued + 1 : place.header + 1;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{newLine});
    }
    return true;
}

std::string IniFile::Serialize(IniLineEnds ends) const {
    const char* end = ends == IniLineEnds::kLf ? "\n" : "\r\n";
    std::string text;
    for (const Line& line : lines_) {
        text += line.raw;
        text += end;
    }
    switch (encoding_) {
        case IniEncoding::kBytes:
            break;
        case IniEncoding::kUtf8:
            return "\xEF\xBB\xBF" + text;
        case IniEncoding::kUtf16Le:
            return "\xFF\xFE" + Utf8ToUtf16(text, false);
        case IniEncoding::kUtf16Be:
            return "\xFE\xFF" + Utf8ToUtf16(text, true);
    }
    return text;
}

bool IniFile::Save(const std::string& path, IniLineEnds ends) const {
    return ReplaceFileContent(path, Serialize(ends));
}

}  // namespace kv::platform
