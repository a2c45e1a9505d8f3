#include "platform/IniFile.h"

#include <string_view>

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

}  // namespace

bool IniFile::Load(const std::string& path) {
    return LoadFile(path) == IniLoadStatus::kLoaded;
}

IniLoadStatus IniFile::LoadFile(const std::string& path) {
    lines_.clear();
    std::string bytes;
    switch (ReadSmallFile(path, kMaxFileSize, bytes)) {
        case FileRead::kMissing:
            return IniLoadStatus::kMissing;
        case FileRead::kUnreadable:
            return IniLoadStatus::kUnreadable;
        case FileRead::kRead:
            break;
    }
    Parse(bytes);
    return IniLoadStatus::kLoaded;
}

void IniFile::Parse(const std::string& bytes) {
    lines_.clear();
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

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const {
    bool inSection = false;
    for (const Line& line : lines_) {
        const Parsed p = Classify(line.raw);
        if (p.kind == LineKind::kSection) {
            inSection = SameAsciiName(p.name, section);
        } else if (inSection && p.kind == LineKind::kKey && SameAsciiName(p.name, key)) {
            return std::string(p.value);
        }
    }
    return std::nullopt;
}

namespace {

bool SectionNameFits(const std::string& section) {
    return !section.empty() && !HasLineBreakOrNul(section) &&
           section.find(']') == std::string::npos && Trim(section) == section;
}

bool KeyFits(const std::string& key, const std::string& value) {
    return !key.empty() && !HasLineBreakOrNul(key) && !HasLineBreakOrNul(value) &&
           key.find('=') == std::string::npos && Trim(key) == key && key.front() != ';' &&
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

    const std::string newLine = key + "=" + value;

    // Replace the key where Get would find it.
    bool inSection = false;
    for (Line& line : lines_) {
        const Parsed p = Classify(line.raw);
        if (p.kind == LineKind::kSection) {
            inSection = SameAsciiName(p.name, section);
        } else if (inSection && p.kind == LineKind::kKey && SameAsciiName(p.name, key)) {
            line.raw = newLine;
            return true;
        }
    }

    // Otherwise add it to the first section of that name, after its last key, so that
    // blank lines and comments that lead into the next section stay in front of it.
    std::size_t header = lines_.size();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Parsed p = Classify(lines_[i].raw);
        if (p.kind == LineKind::kSection && SameAsciiName(p.name, section)) {
            header = i;
            break;
        }
    }
    if (header == lines_.size()) {
        lines_.push_back(Line{"[" + section + "]"});
        lines_.push_back(Line{newLine});
        return true;
    }
    std::size_t insertAt = header + 1;
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
        const Parsed p = Classify(lines_[i].raw);
        if (p.kind == LineKind::kSection) break;
        if (p.kind == LineKind::kKey) insertAt = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{newLine});
    return true;
}

std::string IniFile::Serialize(IniLineEnds ends) const {
    const char* end = ends == IniLineEnds::kLf ? "\n" : "\r\n";
    std::string out;
    for (const Line& line : lines_) {
        out += line.raw;
        out += end;
    }
    return out;
}

bool IniFile::Save(const std::string& path, IniLineEnds ends) const {
    return ReplaceFileContent(path, Serialize(ends));
}

}  // namespace kv::platform
