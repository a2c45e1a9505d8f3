// What every transport library promises through kvtransport.h alone, whatever its kind:
// the exported names, the error texts, handles and bad input from a caller.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "tests/unit/LibraryTestSupport.h"
#include "transport/InterfaceKinds.h"

namespace {

using kvtest::LibraryApi;

using kv::kInterfaceKinds;
const auto& kKinds = kInterfaceKinds;

// Code page 1250 of "Chyba zápisu dat.", which the utility shows after a failed
// read-back, and of "Neznámý kód chyby ".
const std::string kReadBackText = "Chyba z\xE1pisu dat.";
const std::string kUnknownPrefix =
    "Nezn\xE1m\xFD k\xF3"
    "d chyby ";

// Names of the dynamic symbols a file defines, as the loader sees them.
std::set<std::string> ExportedNames(const std::string& path) {
    std::set<std::string> names;
    std::string cmd = "nm -D --defined-only '" + path + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return names;
    char line[512];
    while (fgets(line, sizeof line, p) != nullptr) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        auto space = s.rfind(' ');
        if (space != std::string::npos) names.insert(s.substr(space + 1));
    }
    pclose(p);
    return names;
}

TEST(LibraryContractTest, EveryLibraryExportsItsSevenEntryPointsAndNothingElse) {
    for (const auto& k : kKinds) {
        LibraryApi api(k.file, k.prefix);
        ASSERT_TRUE(api.ok()) << k.file << ": " << dlerror();
        // The implementation and the wire format stay private, or two libraries loaded
        // at once would bind to one connection table.
        std::set<std::string> expected;
        for (const char* suffix :
             {"Version", "Init", "SetConfig", "GetConfig", "Send", "Done", "Error"})
            expected.insert(std::string(k.prefix) + "_" + suffix);
        EXPECT_EQ(ExportedNames(std::string(KV_BIN_DIR) + "/" + k.file), expected) << k.file;
    }
}

TEST(LibraryContractTest, ErrorTextsCoverEveryCodeInCodePage1250) {
    for (const auto& k : kKinds) {
        LibraryApi api(k.file, k.prefix);
        ASSERT_TRUE(api.ok());
        EXPECT_EQ(api.ErrorBytes(0), "OK") << k.file;
        EXPECT_EQ(api.ErrorBytes(9), kReadBackText) << k.file;
        EXPECT_EQ(api.ErrorBytes(77), kUnknownPrefix + "77") << k.file;
        EXPECT_EQ(api.ErrorBytes(4000000000u), kUnknownPrefix + "4000000000") << k.file;

        std::set<std::string> texts;
        for (std::uint32_t code :
             {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 20u, 21u, 22u, 23u, 24u, 25u}) {
            std::vector<std::uint32_t> words(KVT_TEXT_WORDS, 0xFFFFFFFFu);
            EXPECT_EQ(api.Error(code, words.data()), 0u);
            EXPECT_EQ(words[0], 0u);
            std::size_t len = 0;
            while (1 + len < words.size() && words[1 + len] != 0) ++len;
            EXPECT_GT(len, 0u) << code;
            EXPECT_LE(len, 99u) << code;
            for (std::size_t i = 1; i < words.size(); ++i) {
                EXPECT_LE(words[i], 0xFFu) << code;
                if (i > len) {
                    EXPECT_EQ(words[i], 0u) << code << " word " << i;
                }
            }
            std::string text = api.ErrorBytes(code);
            // A code without a text of its own would fall back to "unknown".
            EXPECT_EQ(text.rfind(kUnknownPrefix, 0), std::string::npos) << code;
            texts.insert(text);
        }
        EXPECT_EQ(texts.size(), 16u) << k.file << ": two codes share a text";
        EXPECT_EQ(api.Error(0, nullptr), static_cast<std::uint32_t>(kv::wire::kBadParameter));
    }
}

TEST(LibraryContractTest, AbsentCardsLoadButReportTheirDeviceMissing) {
    for (const auto& k : {kKinds[3], kKinds[4], kKinds[5]}) {
        LibraryApi api(k.file, k.prefix);
        ASSERT_TRUE(api.ok());
        std::uint32_t handle = 77;
        std::uint32_t code = k.kind == 3 ? api.InitWord(&handle, 0x300) : api.InitPlain(&handle);
        EXPECT_EQ(code, static_cast<std::uint32_t>(kv::wire::kDeviceNotFound)) << k.file;
        EXPECT_EQ(handle, 0u);
        // The text names what is missing, not a generic failure.
        std::string text = api.ErrorBytes(code);
        EXPECT_NE(text.find(k.kind == 5 ? "USB-3380" : (k.kind == 3 ? "PCI-380" : "PCI-3380")),
                  std::string::npos)
            << text;
        EXPECT_EQ(api.InitWord(nullptr, 0), static_cast<std::uint32_t>(kv::wire::kBadParameter));
    }
}

TEST(LibraryContractTest, NullPointersAndUnknownHandlesGiveCodesNotCrashes) {
    for (const auto& k : kKinds) {
        LibraryApi api(k.file, k.prefix);
        ASSERT_TRUE(api.ok());
        const auto bad = static_cast<std::uint32_t>(kv::wire::kBadParameter);
        const auto badHandle = static_cast<std::uint32_t>(kv::wire::kBadHandle);
        auto frame = kvtest::Frame(0, 200, 0, 0);
        std::vector<std::uint32_t> data(KVT_DATA_WORDS, 0x5A5A5A5A);
        std::uint32_t value = 0x77, err = 0x77;

        EXPECT_EQ(api.Send(1, nullptr, data.data(), &value, &err), bad);
        EXPECT_EQ(err, bad) << "the error word is set whenever it can be";
        EXPECT_EQ(api.Send(1, frame.data(), nullptr, &value, &err), bad);
        EXPECT_EQ(api.Send(1, frame.data(), data.data(), nullptr, &err), bad);
        EXPECT_EQ(api.Send(1, frame.data(), data.data(), &value, nullptr), bad);

        err = 0x77;
        EXPECT_EQ(api.Send(12345, frame.data(), data.data(), &value, &err), badHandle);
        EXPECT_EQ(err, badHandle);
        EXPECT_EQ(value, 0u);
        for (auto w : data) ASSERT_EQ(w, 0u);

        std::uint32_t b = 0, t = 0, m = 0;
        EXPECT_EQ(api.SetConfig(0, 9600, 200, 2), badHandle);
        EXPECT_EQ(api.GetConfig(3, &b, &t, &m), badHandle);
        EXPECT_EQ(api.GetConfig(3, nullptr, &t, &m), bad);
        EXPECT_EQ(api.Done(nullptr), bad);
        std::uint32_t h = 999;
        EXPECT_EQ(api.Done(&h), badHandle);
        h = 0;
        EXPECT_EQ(api.Done(&h), badHandle);
    }
}

TEST(LibraryContractTest, BlockInitRefusesUnusableParameters) {
    const auto bad = static_cast<std::uint32_t>(kv::wire::kBadParameter);
    for (const auto& k : {kKinds[1], kKinds[6], kKinds[7]}) {
        LibraryApi api(k.file, k.prefix);
        ASSERT_TRUE(api.ok());
        std::uint32_t handle = 5;
        EXPECT_EQ(api.InitBlock(&handle, nullptr), bad);
        EXPECT_EQ(handle, 0u);
        EXPECT_EQ(api.InitBlock(nullptr, kvtest::UdpInitBlock("127.0.0.1", 9, 100).data()), bad);

        for (std::string ip : {"", "127.0.0", "127.0.0.256", " 127.0.0.1", "127.0.0.1 ",
                               "localhost", "0x7f.0.0.1", "0.0.0.0", "255.255.255.255"}) {
            auto block = kvtest::UdpInitBlock(ip, 9, 100);
            handle = 5;
            EXPECT_EQ(api.InitBlock(&handle, block.data()), bad) << k.file << " '" << ip << "'";
            EXPECT_EQ(handle, 0u);
        }
        auto noText = kvtest::UdpInitBlock("x", 9, 100);
        noText[0] = 0;
        EXPECT_EQ(api.InitBlock(&handle, noText.data()), bad);

        std::string ip = "127.0.0.1";
        EXPECT_EQ(api.InitBlock(&handle, kvtest::UdpInitBlock(ip, 0, 100).data()), bad);
        EXPECT_EQ(api.InitBlock(&handle, kvtest::UdpInitBlock(ip, 65536, 100).data()), bad);
        EXPECT_EQ(api.InitBlock(&handle, kvtest::UdpInitBlock(ip, 9, 65536).data()), bad);
        if (k.kind == 1) {
            EXPECT_EQ(api.InitBlock(&handle, kvtest::UdpInitBlock(ip, 9, 100, 70000).data()), bad);
        }
    }
}

TEST(LibraryContractTest, ComPortThatIsNotThereIsNotFound) {
    kvtest::TempDir dir;
    kvtest::ScopedUsbDir scoped(dir.path());
    LibraryApi api("QCOM380.DLL", "QCOM380");
    ASSERT_TRUE(api.ok());
    std::uint32_t handle = 3;
    // /dev/ttyS64999 exists on no machine.
    EXPECT_EQ(api.InitWord(&handle, 65000), static_cast<std::uint32_t>(kv::wire::kDeviceNotFound));
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(api.InitWord(&handle, 0), static_cast<std::uint32_t>(kv::wire::kBadParameter));
    // A dangling COM link (an emulator that went away) does not fall back to another port.
    ASSERT_EQ(symlink((dir.path() + "/gone").c_str(), (dir.path() + "/COM1").c_str()), 0);
    EXPECT_EQ(api.InitWord(&handle, 1), static_cast<std::uint32_t>(kv::wire::kDeviceNotFound));
    // A COM link to something that is not a terminal is refused.
    ASSERT_EQ(symlink("/dev/null", (dir.path() + "/COM2").c_str()), 0);
    EXPECT_EQ(api.InitWord(&handle, 2), static_cast<std::uint32_t>(kv::wire::kOpenFailed));
    EXPECT_EQ(handle, 0u);
}

TEST(LibraryContractTest, UsbWithoutDevicesIsNotFound) {
    kvtest::TempDir dir;
    LibraryApi api("QUSBVX.DLL", "QUSBVX");
    ASSERT_TRUE(api.ok());
    std::uint32_t handle = 3;
    {
        // No folder at all.
        kvtest::ScopedUsbDir scoped(dir.path() + "/absent");
        EXPECT_EQ(api.InitBlock(&handle, kvtest::UsbInitBlock(0, nullptr, 100).data()),
                  static_cast<std::uint32_t>(kv::wire::kDeviceNotFound));
    }
    kvtest::ScopedUsbDir scoped(dir.path());
    EXPECT_EQ(api.InitBlock(&handle, kvtest::UsbInitBlock(0, nullptr, 100).data()),
              static_cast<std::uint32_t>(kv::wire::kDeviceNotFound));
    EXPECT_EQ(handle, 0u);
    // By serial number, the number is required.
    EXPECT_EQ(api.InitBlock(&handle, kvtest::UsbInitBlock(1, nullptr, 100).data()),
              static_cast<std::uint32_t>(kv::wire::kBadParameter));
    std::string traversal = "../../..";
    EXPECT_EQ(api.InitBlock(&handle, kvtest::UsbInitBlock(1, &traversal, 100).data()),
              static_cast<std::uint32_t>(kv::wire::kDeviceNotFound));
    // Nothing of ours is left behind by the failed attempts.
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
