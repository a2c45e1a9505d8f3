// The settings file against the Windows profile functions themselves, run under wine
// with code page 1250 by a Windows program of ours (ProfileProbe.c): the corpus's
// recorded answers are still theirs, random files (with and without a byte-order mark)
// read alike in both readers, and a file our program saves reads back through them as
// we wrote it, with what we do not know kept.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/Dekl.h"
#include "platform/Cp1250.h"
#include "platform/IniFile.h"
#include "tests/support/Hex.h"
#include "tests/support/ProfileCorpus.h"
#include "tests/support/ScratchFolder.h"
#include "transport/InterfaceKinds.h"

namespace {

using kv::platform::IniFile;
using kv::testing::ReadBytes;
using kv::testing::ScratchFolder;
using kv::testing::WriteBytes;

bool InCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && *ci != '\0' && std::strcmp(ci, "false") != 0 &&
           std::strcmp(ci, "0") != 0;
}

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "";
    for (std::size_t start = 0; start <= dirs.size();) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// How wine names a file of ours: drive Z: is the root.
std::string WindowsPath(const std::string& path) {
    std::string out = "Z:";
    for (char c : path) out += c == '/' ? '\\' : c;
    return out;
}

std::string Field(const std::optional<std::string>& text) {
    if (!text) return "-";
    std::string out = "x";
    static const char* digits = "0123456789abcdef";
    for (unsigned char c : *text) {
        out += digits[c >> 4];
        out += digits[c & 0x0F];
    }
    return out;
}

// One question to GetPrivateProfileStringA; nullopt for a NULL section or key.
struct Query {
    std::string file;
    std::optional<std::string> section;
    std::optional<std::string> key;
    std::size_t buffer = 2048;
};

class WineProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string missing;
        if (std::string(KV_PROFILE_PROBE).empty())
            missing = "mingw-w64 (x86_64-w64-mingw32-gcc)";
        else if (!OnPath("wine"))
            missing = "wine";
        if (!missing.empty()) {
            if (InCi()) FAIL() << missing << " is not installed; scripts/deps.sh installs it";
            GTEST_SKIP() << missing << " is not installed";
        }
        ASSERT_TRUE(dir_.Ok());
    }

    // The probe's answers, one a query: the text handed over, nullopt where the key is
    // not there. For a list the names, each with its NUL.
    std::vector<std::optional<std::string>> Ask(const std::vector<Query>& queries) {
        std::string text = "a\n";
        for (const Query& q : queries)
            text += "s " + Field(WindowsPath(q.file)) + " " + Field(q.section) + " " +
                    Field(q.key) + " " + std::to_string(q.buffer) + "\n";
        const std::string queryFile = dir_.File("queries.txt");
        WriteBytes(queryFile, text);
        const std::vector<std::string> lines = RunProbe(queryFile);
        std::vector<std::optional<std::string>> answers;
        if (lines.size() != queries.size() + 1) {
            ADD_FAILURE() << "the probe gave " << lines.size() << " answers to "
                          << queries.size() + 1 << " queries";
            return answers;
        }
        EXPECT_EQ(lines[0], "1250") << "the functions must read code page 1250";
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (lines[i] == "-") {
                answers.emplace_back(std::nullopt);
            } else {
                const auto bytes = kv::testing::FromHex(lines[i].substr(1));
                answers.emplace_back(std::string(bytes.begin(), bytes.end()));
            }
        }
        return answers;
    }

    std::string WriteIni(const std::string& name, const std::string& bytes) {
        const std::string path = dir_.File(name);
        WriteBytes(path, bytes);
        return path;
    }

    ScratchFolder dir_;

  private:
    // Runs the probe through scripts/wine-run.sh, bounded in time.
    std::vector<std::string> RunProbe(const std::string& queryFile) {
        const std::string out = dir_.File("probe.out"), err = dir_.File("probe.err");
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(o, STDOUT_FILENO);
            ::dup2(e, STDERR_FILENO);
            ::setenv("KV_WINE_LOCALE", "cs_CZ.UTF-8", 1);
            const std::string query = WindowsPath(queryFile);
            ::execl("/bin/bash", "bash", KV_WINE_RUN, KV_PROFILE_PROBE, query.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = -1;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                ADD_FAILURE() << "the probe did not end within 5 minutes";
                return {};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ADD_FAILURE() << "the probe failed (" << status << "): " << ReadBytes(err);
            return {};
        }
        std::vector<std::string> lines;
        std::string line;
        for (char c : ReadBytes(out)) {
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else if (c != '\r') {
                line += c;
            }
        }
        return lines;
    }
};

// A list's names, each of which ends with its NUL.
std::vector<std::string> Names(const std::optional<std::string>& list) {
    std::vector<std::string> names;
    if (!list) return names;
    std::string name;
    for (char c : *list) {
        if (c == '\0') {
            names.push_back(name);
            name.clear();
        } else {
            name += c;
        }
    }
    return names;
}

TEST_F(WineProfileTest, TheCorpusHoldsTheFunctionsOwnAnswers) {
    const auto& corpus = kv::testing::ProfileCorpus();
    std::vector<Query> queries;
    std::vector<std::pair<std::size_t, std::size_t>> origin;
    for (std::size_t c = 0; c < corpus.size(); ++c) {
        const std::string file = WriteIni("case" + std::to_string(c) + ".ini", corpus[c].bytes);
        for (std::size_t q = 0; q < corpus[c].questions.size(); ++q) {
            const auto& question = corpus[c].questions[q];
            queries.push_back({file, question.section, question.key, question.buffer});
            origin.emplace_back(c, q);
        }
    }
    const auto answers = Ask(queries);
    ASSERT_EQ(answers.size(), queries.size());
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const auto& c = corpus[origin[i].first];
        const auto& q = c.questions[origin[i].second];
        EXPECT_EQ(answers[i], q.answer)
            << c.name << ": [" << q.section << "] " << q.key << " (buffer " << q.buffer << ")";
    }
}

TEST_F(WineProfileTest, RandomFilesReadAlikeInBothReaders) {
    // Files of lines like a settings file's, each bent by what means something to a
    // reader: brackets, "=", comment marks, quotation marks, white space of every kind,
    // line ends, NUL, code page 1250 letters, and UTF-8 pieces, whole and broken, for the
    // files that start with a byte-order mark.
    const std::vector<std::string> noise = {"[",
                                            "]",
                                            "=",
                                            ";",
                                            "#",
                                            "\"",
                                            "'",
                                            " ",
                                            "\t",
                                            "\v",
                                            "\x1A",
                                            "\r",
                                            std::string(1, '\0'),
                                            "\xE8",
                                            "\xA0",
                                            "\xC3\xA1",
                                            "\xE2\x82\xAC",
                                            "\xF0\x9F\x98\x80",
                                            "\xE0\x80",
                                            "\xED\xA0\x80",
                                            "\xC0",
                                            "\x80"};
    const std::vector<std::string> names = {"", "a", "A", "b", "ab", "[a", ";a", "\xE8"};
    const std::vector<std::string> ends = {"\n", "\r\n", "\r", "\n\n"};
    std::uint32_t seed = 20240501;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    auto pick = [&next](const std::vector<std::string>& from) {
        return from[next() % from.size()];
    };
    auto bent = [&](std::string text) {
        for (std::size_t n = next() % 3; n > 0; --n)
            text.insert(next() % (text.size() + 1), pick(noise));
        return text;
    };

    std::vector<Query> queries;
    std::vector<std::string> files;
    for (int round = 0; round < 200; ++round) {
        std::string bytes = next() % 6 == 0 ? "\xEF\xBB\xBF" : "";
        for (std::size_t lines = next() % 12; lines > 0; --lines) {
            switch (next() % 4) {
                case 0:
                    bytes += bent("[" + pick(names) + "]");
                    break;
                case 1:
                case 2:
                    bytes += bent(pick(names) + "=" + pick(names) + pick(names));
                    break;
                default:
                    bytes += bent(pick(names));
                    break;
            }
            bytes += pick(ends);
        }
        files.push_back(bytes);
        const std::string path = WriteIni("random" + std::to_string(round) + ".ini", bytes);
        for (const auto& section : names) {
            for (const auto& key : names) {
                const std::size_t buffer = next() % 4 == 0 ? 1 + next() % 6 : 2048;
                queries.push_back({path, section, key, buffer});
            }
        }
    }
    const auto answers = Ask(queries);
    ASSERT_EQ(answers.size(), queries.size());
    std::size_t found = 0;
    const std::size_t perFile = names.size() * names.size();
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const std::string& bytes = files[i / perFile];
        IniFile ini;
        ini.Parse(bytes);
        const Query& q = queries[i];
        // A buffer of one character cannot tell a missing key from an empty value.
        if (q.buffer < 2 && answers[i] == std::string()) continue;
        EXPECT_EQ(ini.Get(*q.section, *q.key, q.buffer), answers[i])
            << "file " << i / perFile << " "
            << kv::testing::Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())
            << ": [" << *q.section << "] " << *q.key << " (buffer " << q.buffer << ")";
        found += answers[i].has_value();
    }
    // Enough of the questions find something for the comparison to mean something: more
    // than one a file.
    EXPECT_GT(found, files.size());
}

// Every section, key and value of a file as the functions list and read them.
using Reading = std::map<std::string, std::map<std::string, std::optional<std::string>>>;

class WineRoundTripTest : public WineProfileTest {
  protected:
    Reading Read(const std::string& path) {
        const auto sections = Names(Ask({{path, std::nullopt, std::nullopt, 65536}}).at(0));
        std::vector<Query> keyLists;
        for (const auto& s : sections) keyLists.push_back({path, s, std::nullopt, 65536});
        const auto keyAnswers = Ask(keyLists);
        std::vector<Query> values;
        for (std::size_t i = 0; i < sections.size(); ++i)
            for (const auto& k : Names(keyAnswers.at(i))) values.push_back({path, sections[i], k});
        const auto valueAnswers = Ask(values);
        Reading reading;
        for (std::size_t i = 0; i < values.size(); ++i)
            reading[*values[i].section][*values[i].key] = valueAnswers.at(i);
        return reading;
    }
};

TEST_F(WineRoundTripTest, SavedSettingsReadBackThroughTheFunctionsWithTheRestKept) {
    // A settings file as an operator brings it: written by hand and by other programs,
    // with sections and keys our program does not know, in code page 1250.
    const std::string brought =
        "; W_kv3380u.ini z d\xEDlny\r\n"
        "[Ostatn\xED]\r\n"
        "Pozn\xE1mka = \"  \x9Elu\x9Do\x9Dou\xE8k\xFD k\xF9\xF2  \"\r\n"
        "Cesta=C:\\Program Files\\KV\r\n"
        "[P\xF8ipojen\xED]\r\n"
        "Rozhran\xED = LAN\r\n"
        "Adresa=3\r\n"
        "Vlastn\xED kl\xED\xE8=ponech\xE1n\r\n"
        "\r\n"
        "[USBVx]\r\n"
        "Detekce=1\r\n"
        "Jin\xFD=1\r\n";
    for (std::uint8_t kind = 0; kind < 8; ++kind) {
        const std::string path = WriteIni("W_kv3380u" + std::to_string(kind) + ".ini", brought);
        Reading expected = Read(path);
        ASSERT_FALSE(expected.empty());

        kv::ConnectionSettings s;
        s.interfaceKind = kind;
        s.moduleAddress = 17;
        s.baudRate = 57600;
        s.usbSerial = " V\xC3\xBDrobn\xC3\xAD \"1\" ";  // blanks and quotation marks at its ends
        s.usbDetection = -1;
        s.qudpTargetIp = "127.0.0.4";
        s.qudpTargetPort = 56000;
        s.qudpTimeout = 250;
        s.comPort = 4;
        s.pciBaseAddress = 0x310;
        s.kvIpAddress = "'127.0.0.5'";
        s.kvUdpPort = 5001;
        s.lanIpAddress = "\"127.0.0.6\"";
        s.lanUdpPort = 5002;
        ASSERT_TRUE(kv::SaveSettings(&s, path)) << int(kind);

        // What we wrote, as the Windows program must read it; everything else as before.
        auto& main = expected["P\xF8ipojen\xED"];
        main["Rozhran\xED"] = std::string(kv::kInterfaceKinds[kind].name);
        main["Adresa"] = "17";
        main["Rychlost"] = "57600";
        auto put = [&](std::uint8_t section, const char* key, const std::string& utf8) {
            expected[kv::kInterfaceKinds[section].name][kv::platform::Utf8ToCp1250(key)] =
                kv::platform::Utf8ToCp1250(utf8);
        };
        switch (kind) {
            case kv::kKindUsbVx:
                put(kind, "Detekce", "-1");
                put(kind, "Výrobní číslo", s.usbSerial);
                put(kind, "USB timeout", "1000");
                break;
            case kv::kKindLanQudp:
                put(kind, "Cílová IP adresa", s.qudpTargetIp);
                put(kind, "Cílový port", "56000");
                put(kind, "LAN timeout", "250");
                break;
            case kv::kKindCom:
                put(kind, "Číslo portu", "4");
                break;
            case kv::kKindPci380:
                put(kind, "Bázová adresa", "784");
                break;
            case kv::kKindKv3380:
                put(kind, "IP adresa", s.kvIpAddress);
                put(kind, "UDP port", "5001");
                put(kind, "UDP timeout", "1000");
                break;
            case kv::kKindLan:
                put(kind, "IP adresa", s.lanIpAddress);
                put(kind, "UDP port", "5002");
                put(kind, "UDP timeout", "1000");
                break;
            default:
                break;
        }
        const Reading saved = Read(path);
        EXPECT_EQ(saved, expected) << "kind " << int(kind) << ":\n" << ReadBytes(path);

        // Our reader reads the saved file as they do.
        IniFile ini;
        ASSERT_TRUE(ini.Load(path));
        for (const auto& [section, keys] : saved)
            for (const auto& [key, value] : keys)
                EXPECT_EQ(ini.Get(section, key, 2048), value) << "[" << section << "] " << key;
        kv::ConnectionSettings loaded;
        ASSERT_TRUE(kv::LoadSettings(&loaded, path));
        EXPECT_EQ(loaded.interfaceKind, kind);
        if (kind == kv::kKindUsbVx) {
            EXPECT_EQ(loaded.usbSerial, s.usbSerial);
        } else if (kind == kv::kKindKv3380) {
            EXPECT_EQ(loaded.kvIpAddress, s.kvIpAddress);
        } else if (kind == kv::kKindLan) {
            EXPECT_EQ(loaded.lanIpAddress, s.lanIpAddress);
        }
    }
}

}  // namespace
