#include "emulator/StateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <vector>

namespace kv::emu {
namespace {

constexpr const char* kHeader = "kv3380u-emulator state 1";
// A state file is a few kilobytes; anything much larger is not one of ours.
constexpr off_t kMaxStateFileSize = 64 * 1024;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Hex(std::uint8_t b) {
    static const char* digits = "0123456789ABCDEF";
    return {digits[b >> 4], digits[b & 0x0F]};
}

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

bool ParseMac(const std::string& text, std::array<std::uint8_t, 6>& mac) {
    if (text.size() != 17) return false;
    for (std::size_t i = 0; i < 6; ++i) {
        int hi = HexDigit(text[3 * i]), lo = HexDigit(text[3 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        if (i < 5 && text[3 * i + 2] != '-') return false;
        mac[i] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    return true;
}

bool ParseBlockBytes(const std::string& text, ConfigBlock& block) {
    if (text.size() != 2 * kConfigBlockSize) return false;
    for (std::size_t i = 0; i < kConfigBlockSize; ++i) {
        int hi = HexDigit(text[2 * i]), lo = HexDigit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        block[i] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    return true;
}

bool Fail(std::string* error, const std::string& message) {
    if (error != nullptr) *error = message;
    return false;
}

std::string Errno() {
    return std::strerror(errno);
}

std::string FolderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

bool ValidSerial(const std::string& serial) {
    if (serial.size() != 8) return false;
    for (char c : serial)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    return true;
}

ModuleState NewState(const std::string& serial, std::uint64_t randomSeed) {
    ModuleState s;
    s.blocks = DefaultBlocks();
    s.serial = serial;
    std::mt19937_64 rng(randomSeed);
    std::uint64_t r = rng();
    for (std::size_t i = 0; i < 6; ++i) s.mac[i] = static_cast<std::uint8_t>(r >> (8 * i));
    // Unicast, locally administered: never collides with a vendor's address.
    s.mac[0] = static_cast<std::uint8_t>((s.mac[0] & 0xFC) | 0x02);
    return s;
}

std::string FormatState(const ModuleState& state) {
    std::string out = kHeader;
    out += "\nserial " + state.serial + "\nmac ";
    for (std::size_t i = 0; i < 6; ++i) {
        if (i != 0) out += '-';
        out += Hex(state.mac[i]);
    }
    out += '\n';
    for (std::size_t n = 0; n < kConfigBlockCount; ++n) {
        out += "block " + std::to_string(kFirstConfigBlock + n) + ' ';
        for (std::uint8_t b : state.blocks[n]) out += Hex(b);
        out += '\n';
    }
    out += "end\n";
    return out;
}

std::optional<ModuleState> ParseState(const std::string& text, std::string* error) {
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string& why) -> std::optional<ModuleState> {
        Fail(error, "line " + std::to_string(lineNo) + ": " + why);
        return std::nullopt;
    };
    if (!std::getline(in, line)) return fail("empty file");
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line != kHeader) return fail("not a kv3380u-emulator state file of version 1");

    ModuleState s;
    bool haveSerial = false, haveMac = false, ended = false;
    std::array<bool, kConfigBlockCount> haveBlock{};
    while (std::getline(in, line)) {
        ++lineNo;
        auto words = SplitWords(line);
        if (words.empty()) continue;
        if (ended) return fail("text after \"end\"");
        const std::string& key = words[0];
        if (key == "end" && words.size() == 1) {
            ended = true;
        } else if (key == "serial" && words.size() == 2) {
            if (haveSerial) return fail("serial number given twice");
            if (!ValidSerial(words[1])) return fail("serial number must be 8 letters or digits");
            s.serial = words[1];
            haveSerial = true;
        } else if (key == "mac" && words.size() == 2) {
            if (haveMac) return fail("MAC address given twice");
            if (!ParseMac(words[1], s.mac)) return fail("bad MAC address");
            haveMac = true;
        } else if (key == "block" && words.size() == 3) {
            unsigned n = 0;
            if (words[1].size() != 3 ||
                words[1].find_first_not_of("0123456789") != std::string::npos)
                return fail("bad block number");
            n = static_cast<unsigned>(std::stoul(words[1]));
            if (!IsConfigBlock(n)) return fail("block number not 250..254");
            std::size_t i = n - kFirstConfigBlock;
            if (haveBlock[i]) return fail("block " + words[1] + " given twice");
            if (!ParseBlockBytes(words[2], s.blocks[i]))
                return fail("block " + words[1] + " is not 256 hexadecimal bytes");
            haveBlock[i] = true;
        } else {
            return fail("unexpected \"" + key + "\"");
        }
    }
    if (!ended) return fail("file is cut off (no \"end\" line)");
    if (!haveSerial) return fail("no serial number");
    if (!haveMac) return fail("no MAC address");
    for (std::size_t i = 0; i < kConfigBlockCount; ++i)
        if (!haveBlock[i])
            return fail("block " + std::to_string(kFirstConfigBlock + i) + " missing");
    return s;
}

LoadResult LoadState(const std::string& path) {
    LoadResult r;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            r.kind = LoadResult::kAbsent;
            return r;
        }
        r.error = "state file " + path + ": " + Errno();
        return r;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxStateFileSize) {
        ::close(fd);
        r.error = "state file " + path + ": not a regular file of at most 64 KiB";
        return r;
    }
    std::string text;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            r.error = "state file " + path + ": " + Errno();
            ::close(fd);
            return r;
        }
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > static_cast<std::size_t>(kMaxStateFileSize)) break;
    }
    ::close(fd);
    std::string why;
    auto state = ParseState(text, &why);
    if (!state) {
        r.error = "state file " + path + " is corrupt (" + why + ")";
        return r;
    }
    r.kind = LoadResult::kLoaded;
    r.state = *state;
    return r;
}

std::optional<std::string> WriteStateTemporary(const std::string& path, const ModuleState& state,
                                               std::string* error) {
    const std::string temporary = path + ".tmp." + std::to_string(::getpid());
    const std::string text = FormatState(state);
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        Fail(error, "state file " + temporary + ": " + Errno());
        return std::nullopt;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Fail(error, "state file " + temporary + ": " + Errno());
            ::close(fd);
            ::unlink(temporary.c_str());
            return std::nullopt;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        Fail(error, "state file " + temporary + ": " + Errno());
        ::close(fd);
        ::unlink(temporary.c_str());
        return std::nullopt;
    }
    if (::close(fd) != 0) {
        Fail(error, "state file " + temporary + ": " + Errno());
        ::unlink(temporary.c_str());
        return std::nullopt;
    }
    return temporary;
}

bool CommitStateTemporary(const std::string& temporary, const std::string& path,
                          std::string* error) {
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        Fail(error, "state file " + path + ": " + Errno());
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself must reach the disk, or a crash could bring back the old name.
    int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool SaveState(const std::string& path, const ModuleState& state, std::string* error) {
    auto temporary = WriteStateTemporary(path, state, error);
    return temporary && CommitStateTemporary(*temporary, path, error);
}

}  // namespace kv::emu
