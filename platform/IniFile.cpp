#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

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

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

bool IniFile::Load(const std::string& path) {
    return LoadFile(path) == IniLoadStatus::kLoaded;
}

IniLoadStatus IniFile::LoadFile(const std::string& path) {
    lines_.clear();
    // Non-blocking, so that a FIFO left at the path cannot hang the start-up; it is
    // refused below as not a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? IniLoadStatus::kMissing : IniLoadStatus::kUnreadable;

    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > kMaxFileSize) {
        ::close(fd);
        return IniLoadStatus::kUnreadable;
    }

    // The size may change while we read, so the cap holds for the bytes actually read.
    std::string bytes;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return IniLoadStatus::kUnreadable;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
        if (bytes.size() > kMaxFileSize) {
            ::close(fd);
            return IniLoadStatus::kUnreadable;
        }
    }
    ::close(fd);
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
    if (path.empty()) return false;

    std::string target = path;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }

    const auto slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty()) return false;

    // The replacement keeps the permissions of the file it replaces; a new file gets
    // the usual ones (0666 less the umask).
    struct stat st {};
    const bool replacing = ::stat(target.c_str(), &st) == 0;
    const mode_t mode = replacing ? (st.st_mode & 07777) : 0666;
    // A write-protected file stays protected: the rename would otherwise replace it
    // merely because its folder is writable.
    if (replacing && ::access(target.c_str(), W_OK) != 0) return false;

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = (slash == std::string::npos ? std::string() : folder) + "." + base + ".tmp" +
               std::to_string(::getpid()) + "_" + std::to_string(g_tempCounter.fetch_add(1));
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = WriteAll(fd, Serialize(ends));
    if (ok && replacing) ok = ::fchmod(fd, mode) == 0;
    if (ok) ok = ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }

    // The rename itself lives in the folder; without this a power cut could still bring
    // back the old file. Failing here changes nothing about the file's content.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace kv::platform
