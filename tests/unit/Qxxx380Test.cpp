// The binding and a connection over it, against the scriptable fake library: loading from
// the program folder, entry-point resolution, each kind's Init form, forwarding,
// unloading, error texts.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "connection/Connection.h"
#include "platform/ProgramFolder.h"
#include "tests/fakes/FakeTransport.h"
#include "tests/support/ScratchFolder.h"
#include "transport/Qxxx380.h"

namespace {

const std::string kComplete = std::string(KV_BIN_DIR) + "/fakes/complete";
const std::string kNoGetConfig = std::string(KV_BIN_DIR) + "/fakes/no_getconfig";
const std::string kUnknown = "neznámý chybový kód";

struct KindExpectation {
    const char* file;
    const char* prefix;
    std::uint32_t loadFailed;
    std::uint32_t entryMissing;
};

constexpr KindExpectation kExpected[8] = {
    {"QUSBVX.DLL", "QUSBVX", 106, 116},     {"QQUDP.DLL", "QQUDP", 107, 117},
    {"QCOM380.DLL", "QCOM380", 100, 110},   {"QPCI380.DLL", "QPCI380", 101, 111},
    {"QPCI3380.DLL", "QPCI3380", 102, 112}, {"QUSB3380.DLL", "QUSB3380", 103, 113},
    {"QKV3380.DLL", "QKV3380", 104, 114},   {"QLAN.DLL", "QLAN", 105, 115},
};

using TempFolder = kv::testing::ScratchFolder;

// True while the process holds the file loaded (by anyone).
bool LoadedInProcess(const std::string& path) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h == nullptr) return false;
    dlclose(h);
    return true;
}

kv::TextWords Sentinel() {
    kv::TextWords words;
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = 0xA5000000u + static_cast<std::uint32_t>(i);
    return words;
}

class BindingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kv::platform::SetProgramFolderForTesting(kComplete);
        fake_ = std::make_unique<kvtest::FakeTransport>(kComplete, "QUSBVX.DLL");
        ASSERT_TRUE(fake_->ok()) << "fake library missing in " << kComplete;
        fake_->Reset();
    }
    void TearDown() override {
        connection_.Close();
        fake_.reset();
        kv::platform::SetProgramFolderForTesting("");
    }
    std::unique_ptr<kvtest::FakeTransport> fake_;
    kv::InitBlock block_{};
    // As the windows hold theirs: it loads its kind's library itself.
    kv::Connection connection_;
};

// The one kind table against the libraries' documented names and codes.
TEST(InterfaceKindTable, MatchesTheLibrariesAndTheirCodes) {
    const char* const names[8] = {"USBVx",    "LAN QUDP", "COMx",    "PCI-380",
                                  "PCI-3380", "USB-3380", "KV-3380", "LAN"};
    const kv::InitForm forms[8] = {kv::InitForm::kBlock, kv::InitForm::kBlock, kv::InitForm::kWord,
                                   kv::InitForm::kWord,  kv::InitForm::kPlain, kv::InitForm::kPlain,
                                   kv::InitForm::kBlock, kv::InitForm::kBlock};
    for (std::uint8_t k = 0; k < 8; ++k) {
        SCOPED_TRACE(int(k));
        const kv::InterfaceKindInfo* info = kv::FindInterfaceKind(k);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->kind, k);
        EXPECT_STREQ(info->name, names[k]);
        EXPECT_STREQ(info->file, kExpected[k].file);
        EXPECT_STREQ(info->prefix, kExpected[k].prefix);
        EXPECT_EQ(info->initForm, forms[k]);
        EXPECT_EQ(info->loadFailed, kExpected[k].loadFailed);
        EXPECT_EQ(info->entryMissing, kExpected[k].entryMissing);
        EXPECT_EQ(kv::InterfaceKindByName(names[k]), k);
    }
    for (std::uint8_t k : {8, 9, 255}) EXPECT_EQ(kv::FindInterfaceKind(k), nullptr);
    EXPECT_EQ(kv::InterfaceKindByName("usbvx"), std::nullopt);
    EXPECT_EQ(kv::InterfaceKindByName("LAN "), std::nullopt);
}

TEST_F(BindingTest, OpensEveryKindAndCallsInitInItsForm) {
    std::string ip = "127.0.0.1";
    std::string serial = "0000ABCD";
    for (std::uint8_t k = 0; k < 8; ++k) {
        SCOPED_TRACE(int(k));
        fake_->Reset();
        fake_->SetInitResult(0, 0x500u + k);
        block_.fill(0);
        if (k == 0) {
            block_[0] = 0xFFFFFFFFu;  // detection -1, zero-extended
            block_[1] = reinterpret_cast<std::uintptr_t>(serial.c_str());
            block_[2] = 1500;
        } else if (k == 2 || k == 3) {
            block_[0] = k == 2 ? 7 : 768;
        } else {
            block_[0] = reinterpret_cast<std::uintptr_t>(ip.c_str());
            block_[1] = 5000 + k;
            block_[2] = 250;
            block_[3] = 10000;
        }
        std::uint32_t handle = 0;
        ASSERT_EQ(connection_.OpenTransport(k, &handle, block_), 0u);
        EXPECT_EQ(handle, 0x500u + k);
        EXPECT_TRUE(connection_.HoldsLibrary());
        EXPECT_EQ(fake_->CallCount("Init"), 1u);
        // Version and GetConfig must exist but are never called.
        EXPECT_EQ(fake_->CallCount("Version"), 0u);
        EXPECT_EQ(fake_->CallCount("GetConfig"), 0u);

        const std::string prefix = kExpected[k].prefix;
        if (k == 2 || k == 3) {
            EXPECT_EQ(fake_->LastInitWord(), block_[0]);
            EXPECT_EQ(fake_->Log(), prefix + "_Init " + std::to_string(block_[0]) + "\n");
        } else {
            EXPECT_EQ(fake_->Log(), prefix + "_Init\n");
        }
        if (k == 0) {
            auto words = fake_->LastInitWords();
            EXPECT_EQ(words[0], 0xFFFFFFFFu);
            EXPECT_EQ(words[2], 1500u);
            EXPECT_EQ(fake_->LastInitTexts()[1], serial);
        } else if (k == 1 || k == 6 || k == 7) {
            auto words = fake_->LastInitWords();
            EXPECT_EQ(words[1], 5000u + k);
            EXPECT_EQ(words[2], 250u);
            EXPECT_EQ(words[3], 10000u);
            EXPECT_EQ(words[4], 0u);
            EXPECT_EQ(fake_->LastInitTexts()[0], ip);
        }

        ASSERT_EQ(connection_.CloseTransport(&handle), 0u);
        EXPECT_EQ(handle, 0u);
        EXPECT_FALSE(connection_.HoldsLibrary());
    }
}

TEST_F(BindingTest, MissingFileGivesTheKindsLoadCode) {
    TempFolder empty;
    ASSERT_FALSE(empty.path().empty());
    kv::platform::SetProgramFolderForTesting(empty.path());
    for (std::uint8_t k = 0; k < 8; ++k) {
        std::uint32_t handle = 99;
        EXPECT_EQ(connection_.OpenTransport(k, &handle, block_), kExpected[k].loadFailed) << int(k);
        EXPECT_EQ(handle, 99u);
        EXPECT_FALSE(connection_.HoldsLibrary());
    }
}

TEST_F(BindingTest, FileThatIsNoLibraryGivesTheLoadCode) {
    TempFolder folder;
    std::ofstream(folder.path() + "/QLAN.DLL") << "MZ this is not a shared object\n";
    kv::platform::SetProgramFolderForTesting(folder.path());
    std::uint32_t handle = 0;
    EXPECT_EQ(connection_.OpenTransport(7, &handle, block_), 105u);
    EXPECT_FALSE(connection_.HoldsLibrary());
}

TEST_F(BindingTest, LibraryFromTheWorkingDirectoryIsNotUsed) {
    TempFolder empty;
    kv::platform::SetProgramFolderForTesting(empty.path());
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(kComplete);
    std::uint32_t handle = 0;
    const std::uint32_t rc = connection_.OpenTransport(1, &handle, block_);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(rc, 107u);
    EXPECT_EQ(fake_->CallCount("Init"), 0u);
}

TEST_F(BindingTest, LibraryWithoutGetConfigIsRefusedForEveryKind) {
    kvtest::FakeTransport partial(kNoGetConfig, "QLAN.DLL");
    ASSERT_TRUE(partial.ok());
    partial.Reset();
    kv::platform::SetProgramFolderForTesting(kNoGetConfig);
    for (std::uint8_t k = 0; k < 8; ++k) {
        std::uint32_t handle = 0;
        EXPECT_EQ(connection_.OpenTransport(k, &handle, block_), kExpected[k].entryMissing)
            << int(k);
        EXPECT_EQ(handle, 0u);
        EXPECT_FALSE(connection_.HoldsLibrary());
    }
    EXPECT_EQ(partial.CallCount("Init"), 0u);
}

TEST_F(BindingTest, RefusedLibraryLeavesTheProcess) {
    // No test handle on this variant: once the binding lets go, nothing holds it.
    kv::platform::SetProgramFolderForTesting(kNoGetConfig);
    std::uint32_t handle = 0;
    ASSERT_EQ(connection_.OpenTransport(6, &handle, block_), 114u);
    EXPECT_FALSE(LoadedInProcess(kNoGetConfig + "/QKV3380.DLL"));
}

TEST_F(BindingTest, NewOpenUnloadsThePreviousLibrary) {
    // A copy is a separate file, so the loader treats it as a library of its own.
    TempFolder other;
    std::filesystem::copy_file(kComplete + "/libkvfaketransport.so", other.path() + "/QQUDP.DLL");
    const std::string copy = other.path() + "/QQUDP.DLL";

    kv::platform::SetProgramFolderForTesting(other.path());
    std::uint32_t handle = 0;
    ASSERT_EQ(connection_.OpenTransport(1, &handle, block_), 0u);
    EXPECT_TRUE(LoadedInProcess(copy));

    kv::platform::SetProgramFolderForTesting(kComplete);
    ASSERT_EQ(connection_.OpenTransport(6, &handle, block_), 0u);
    EXPECT_FALSE(LoadedInProcess(copy));
    EXPECT_TRUE(connection_.HoldsLibrary());

    // Even a refused kind lets go of what was loaded.
    ASSERT_EQ(connection_.OpenTransport(8, &handle, block_), kv::kErrNotLoaded);
    EXPECT_FALSE(connection_.HoldsLibrary());
}

TEST_F(BindingTest, KindEightIsRefusedAndCallsNothing) {
    std::uint32_t handle = 0;
    ASSERT_EQ(connection_.OpenTransport(1, &handle, block_), 0u);
    fake_->Reset();

    // The open connection ends first, then the kind is refused: nothing stays loaded.
    std::uint32_t other = 0x77;
    EXPECT_EQ(connection_.OpenTransport(8, &other, block_), 10u);
    EXPECT_EQ(other, 0x77u);
    EXPECT_FALSE(connection_.HoldsLibrary());
    EXPECT_EQ(fake_->CallCount("Done"), 1u);
    EXPECT_EQ(connection_.ConfigureTransport(9600, 200, 2), 10u);
    EXPECT_EQ(connection_.Link().Transact(kv::kRestartRequest).error, kv::kErrNotLoaded);

    EXPECT_EQ(connection_.ErrorText(5), "");
    EXPECT_EQ(kv::ErrorString(8, 0), "");
    // The binding's own table does not depend on the kind.
    EXPECT_EQ(kv::ErrorString(8, 108), kUnknown);

    EXPECT_EQ(fake_->CallCount("Init") + fake_->CallCount("SetConfig") + fake_->CallCount("Send") +
                  fake_->CallCount("Error"),
              0u);
}

TEST_F(BindingTest, OperationsWithoutAnOpenConnectionGiveTen) {
    ASSERT_FALSE(connection_.HoldsLibrary());
    std::uint32_t handle = 0x77;
    EXPECT_EQ(connection_.ConfigureTransport(9600, 200, 2), 10u);
    const kv::Reply reply = connection_.Link().Transact(kv::kRestartRequest);
    EXPECT_EQ(reply.error, kv::kErrNotLoaded);
    EXPECT_EQ(connection_.CloseTransport(&handle), 10u);
    EXPECT_EQ(handle, 0x77u);
    EXPECT_FALSE(connection_.IsOpen());
    EXPECT_EQ(fake_->CallCount("Done") + fake_->CallCount("Send"), 0u);
}

TEST_F(BindingTest, ConfigureForwardsArgumentsAndCode) {
    std::uint32_t handle = 0;
    ASSERT_EQ(connection_.OpenTransport(1, &handle, block_), 0u);
    ASSERT_EQ(handle, 0x1234u);
    EXPECT_EQ(connection_.ConfigureTransport(9600, 200, 2), 0u);
    fake_->SetConfigResult(7);
    EXPECT_EQ(connection_.ConfigureTransport(115200, 50, 2), 7u);
    EXPECT_EQ(fake_->Log(),
              "QQUDP_Init\nQQUDP_SetConfig 4660 9600 200 2\nQQUDP_SetConfig 4660 115200 50 2\n");
}

TEST_F(BindingTest, SendForwardsFrameAndReply) {
    std::uint32_t code = 99;
    const auto library = kv::LoadedLibrary::Load(6, code);
    ASSERT_NE(library, nullptr);
    std::uint32_t handle = 0;
    ASSERT_EQ(library->Init(&handle, block_), 0u);
    std::vector<std::uint32_t> reply(300);
    for (std::size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<std::uint32_t>(i * 5 + 1);
    fake_->QueueSend(0, 3, 0x42, reply);
    fake_->QueueSend(6, 0, 0, {});

    kv::RequestFrame frame{};
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint32_t>(i + 9);
    kv::DataBuffer data{};
    std::uint32_t value = 0, error = 0;
    EXPECT_EQ(library->Send(handle, frame, data, &value, &error), 0u);
    EXPECT_EQ(value, 0x42u);
    EXPECT_EQ(error, 3u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), reply.begin()));
    EXPECT_EQ(fake_->Frame(0), std::vector<std::uint32_t>(frame.begin(), frame.end()));

    // A caller without reply or error variables still gets the code.
    EXPECT_EQ(library->Send(handle, frame, data, nullptr, nullptr), 6u);
    EXPECT_EQ(fake_->CallCount("Send"), 2u);
}

TEST_F(BindingTest, CloseCallsDoneOnceThenUnloads) {
    std::uint32_t handle = 0;
    ASSERT_EQ(connection_.OpenTransport(6, &handle, block_), 0u);
    fake_->SetDoneResult(4, 0);
    EXPECT_EQ(connection_.CloseTransport(&handle), 4u);  // a failing Done still unloads
    EXPECT_EQ(handle, 0u);
    EXPECT_FALSE(connection_.HoldsLibrary());
    EXPECT_EQ(connection_.CloseTransport(&handle), 10u);
    EXPECT_EQ(fake_->CallCount("Done"), 1u);
    EXPECT_NE(fake_->Log().find("QKV3380_Done 4660\n"), std::string::npos);
}

TEST_F(BindingTest, NullHandleReferenceIsRefused) {
    EXPECT_EQ(connection_.OpenTransport(1, nullptr, block_), 10u);
    EXPECT_FALSE(connection_.HoldsLibrary());
    EXPECT_EQ(fake_->CallCount("Init"), 0u);

    std::uint32_t handle = 0;
    ASSERT_EQ(connection_.OpenTransport(1, &handle, block_), 0u);
    EXPECT_EQ(connection_.CloseTransport(nullptr), 10u);
    EXPECT_TRUE(connection_.HoldsLibrary());
    EXPECT_EQ(fake_->CallCount("Done"), 0u);
}

TEST_F(BindingTest, FailedInitUnloadsButItsTextIsStillAvailable) {
    fake_->SetInitResult(7, 0);
    std::uint32_t handle = 0;
    EXPECT_EQ(connection_.OpenTransport(4, &handle, block_), 7u);
    EXPECT_FALSE(connection_.HoldsLibrary());
    EXPECT_EQ(connection_.ConfigureTransport(9600, 200, 2), 10u);

    EXPECT_EQ(connection_.ErrorText(7), "fake 7");
    EXPECT_EQ(kv::ErrorString(4, 7), "fake 7");
    EXPECT_NE(fake_->Log().find("QPCI3380_Error 7\n"), std::string::npos);
    EXPECT_FALSE(connection_.HoldsLibrary());  // loaded only for that one text

    // Where the kind's file cannot be loaded there is no text.
    TempFolder empty;
    kv::platform::SetProgramFolderForTesting(empty.path());
    EXPECT_EQ(connection_.ErrorText(7), "");

    // A text needs only Error: a library refused for lacking GetConfig still names its codes.
    kv::platform::SetProgramFolderForTesting(kNoGetConfig);
    EXPECT_EQ(kv::ErrorString(4, 7), "fake 7");
    EXPECT_FALSE(connection_.HoldsLibrary());
}

TEST_F(BindingTest, ErrorTextTableNamesTheFileNotTheKind) {
    const std::pair<std::uint32_t, const char*> table[] = {
        {100, "chyba inicializace knihovny QCOM380.DLL"},
        {101, "chyba inicializace knihovny QPCI380.DLL"},
        {102, "chyba inicializace knihovny QPCI3380.DLL"},
        {103, "chyba inicializace knihovny QUSB3380.DLL"},
        {104, "chyba inicializace knihovny QKV3380.DLL"},
        {105, "chyba inicializace knihovny QLAN.DLL"},
        {106, "chyba inicializace knihovny QUSBVX.DLL"},
        {107, "chyba inicializace knihovny QQUDP.DLL"},
        {110, "chybná knihovna QCOM380.DLL"},
        {111, "chybná knihovna QPCI380.DLL"},
        {112, "chybná knihovna QPCI3380.DLL"},
        {113, "chybná knihovna QUSB3380.DLL"},
        {114, "chybná knihovna QKV3380.DLL"},
        {115, "chybná knihovna QLAN.DLL"},
        {116, "chybná knihovna QUSBVX.DLL"},
        {117, "chybná knihovna QQUDP.DLL"},
    };
    std::uint32_t loaded = 99;
    const auto library = kv::LoadedLibrary::Load(2, loaded);
    ASSERT_NE(library, nullptr);
    for (const auto& [code, expected] : table) {
        kv::TextWords text = Sentinel();
        EXPECT_EQ(library->ErrorText(code, text), 0u) << code;
        EXPECT_EQ(kv::TextFromWords(text), expected) << code;
        EXPECT_EQ(text[0], 0u);  // same layout as a library's text
        EXPECT_EQ(kv::ErrorString(7, code), expected) << "whatever the kind";
    }
    for (std::uint32_t code : {108u, 109u, 118u, 119u, 255u, 256u, 0xFFFFFFFFu}) {
        EXPECT_EQ(kv::ErrorString(0, code), kUnknown) << code;
    }
    EXPECT_EQ(fake_->CallCount("Error"), 0u);
}

TEST_F(BindingTest, ErrorTextBelowHundredAsksTheLoadedLibrary) {
    std::uint32_t handle = 0;
    ASSERT_EQ(connection_.OpenTransport(7, &handle, block_), 0u);
    EXPECT_EQ(connection_.ErrorText(0), "fake 0");
    EXPECT_EQ(connection_.ErrorText(99), "fake 99");
    EXPECT_EQ(connection_.ErrorText(107), "chyba inicializace knihovny QQUDP.DLL");
    EXPECT_EQ(fake_->Log(), "QLAN_Init\nQLAN_Error 0\nQLAN_Error 99\n");
}

// The fleet's and the exporter's connections: handles of one library loaded once, side by
// side; each closes its own, and the library stays with its owner.
TEST_F(BindingTest, ConnectionsOverOneLibraryKeepItAndTheirOwnHandles) {
    std::uint32_t code = 99;
    std::shared_ptr<const kv::LoadedLibrary> library = kv::LoadedLibrary::Load(1, code);
    ASSERT_NE(library, nullptr);
    kv::Connection first(library);
    kv::Connection second(library);
    std::uint32_t one = 0, two = 0;
    fake_->SetInitResult(0, 0x11);
    ASSERT_EQ(first.OpenTransport(1, &one, block_), 0u);
    fake_->SetInitResult(0, 0x22);
    ASSERT_EQ(second.OpenTransport(1, &two, block_), 0u);
    EXPECT_EQ(first.ConfigureTransport(9600, 200, 2), 0u);
    EXPECT_EQ(second.ConfigureTransport(19200, 150, 2), 0u);
    first.SetModuleAddress(3);
    second.SetModuleAddress(4);
    EXPECT_TRUE(first.Link().Transact(kv::kModuleStatusRequest).Ok());
    EXPECT_TRUE(second.Link().Transact(kv::kModuleStatusRequest).Ok());

    first.Close();
    EXPECT_TRUE(first.HoldsLibrary()) << "the library stays with its owner";
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(second.Link().Transact(kv::kVlanStatusRequest).Ok());
    // Another kind over this library is refused before any call.
    std::uint32_t other = 0;
    EXPECT_EQ(first.OpenTransport(6, &other, block_), 10u);
    EXPECT_EQ(first.ErrorText(7), "fake 7") << "the held library names the codes";
    EXPECT_EQ(fake_->Log(),
              "QQUDP_Init\nQQUDP_Init\nQQUDP_SetConfig 17 9600 200 2\n"
              "QQUDP_SetConfig 34 19200 150 2\nQQUDP_Send 17 3 204 100 0\n"
              "QQUDP_Send 34 4 204 100 0\nQQUDP_Done 17\nQQUDP_Send 34 4 204 101 0\n"
              "QQUDP_Error 7\n");
    // The owner letting go leaves the library with the connections made over it.
    library.reset();
    EXPECT_TRUE(second.Link().Transact(kv::kVlanStatusRequest).Ok());
}

}  // namespace
