// The module link against the scriptable fake library: links that share one loaded
// library, each with its own handle and module address, and what a link keeps loaded.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "connection/Connection.h"
#include "core/ModuleLink.h"
#include "platform/ProgramFolder.h"
#include "tests/fakes/FakeTransport.h"
#include "tests/support/Hex.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/ScratchFolder.h"

namespace kv {
namespace {

using testing::HexOfWords;

bool LoadedInProcess(const std::string& path) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h == nullptr) return false;
    dlclose(h);
    return true;
}

class ModuleLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.ok());
        fake_ = std::make_unique<kvtest::FakeTransport>(folder_.path(), "QKV3380.DLL");
        ASSERT_TRUE(fake_->ok());
        fake_->Reset();
    }
    std::string LibraryFile() const { return folder_.path() + "/QKV3380.DLL"; }

    // A handle of the library's Init, chosen by the fake.
    std::uint32_t Open(const LoadedLibrary& library, std::uint32_t handle) {
        fake_->SetInitResult(0, handle);
        std::uint32_t got = 0;
        EXPECT_EQ(library.Init(&got, InitBlock{}), 0u);
        return got;
    }

    testing::ProgramFolder folder_;
    std::unique_ptr<kvtest::FakeTransport> fake_;
};

TEST_F(ModuleLinkTest, LinksOfOneLibraryEachSendWithTheirOwnHandleAndAddress) {
    std::uint32_t code = 99;
    const std::shared_ptr<const LoadedLibrary> library = LoadedLibrary::Load(6, code);
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(code, 0u);
    const ModuleLink first(library, 6, Open(*library, 0x11), 3);
    const ModuleLink second(library, 6, Open(*library, 0x22), 4);
    fake_->Reset();

    std::vector<std::uint32_t> answer(300, 0);
    answer[0] = 0x4B;
    fake_->QueueSend(0, 0, 0x1C5, answer);
    fake_->QueueSend(0, 7, 0, answer);
    DataBuffer data{};
    data[1] = 251;
    const Reply one = first.Transact(kReadBlockRequest, data, 9);
    const Reply two = second.Transact(kModuleStatusRequest);

    EXPECT_EQ(fake_->Log(), "QKV3380_Send 17 3 204 1 9\nQKV3380_Send 34 4 204 100 0\n");
    EXPECT_EQ(HexOfWords(fake_->Frame(0).data() + 4, 3), "00fb00");
    EXPECT_TRUE(one.Ok());
    EXPECT_EQ(one.command, 0xC5);
    EXPECT_EQ(one.data[0], 0x4Bu);
    // A failure: its error byte, the buffer cleared, the text from the link's library.
    EXPECT_EQ(two.error, 7);
    EXPECT_EQ(two.data, DataBuffer{});
    EXPECT_EQ(second.ErrorText(two.error), "fake 7");
}

TEST_F(ModuleLinkTest, ALinkKeepsItsLibraryLoadedUntilTheLastOneGoes) {
    Connection connection;
    std::uint32_t handle = 0;
    ASSERT_EQ(connection.OpenTransport(6, &handle, InitBlock{}), 0u);
    connection.SetModuleAddress(5);
    auto link = std::make_unique<ModuleLink>(connection.Link());

    // The connection lets go of its library; the link still holds it.
    std::uint32_t closing = handle;
    ASSERT_EQ(connection.CloseTransport(&closing), 0u);
    EXPECT_FALSE(connection.HoldsLibrary());
    EXPECT_TRUE(LoadedInProcess(LibraryFile()));
    fake_->Reset();
    EXPECT_TRUE(link->Transact(IdentifyRequest(0)).Ok());
    EXPECT_EQ(fake_->Log(), "QKV3380_Send 4660 5 200 0 0\n");

    link.reset();
    // The test's own handle on the fake keeps the file open; what counts is that nothing
    // else does: closing it unloads the file.
    fake_.reset();
    EXPECT_FALSE(LoadedInProcess(LibraryFile()));
}

TEST_F(ModuleLinkTest, WithoutAUsableConnectionNothingIsSent) {
    Connection connection;
    std::uint32_t handle = 0;
    ASSERT_EQ(connection.OpenTransport(6, &handle, InitBlock{}), 0u);
    ConnectionSettings settings;
    settings.interfaceKind = 6;
    settings.handle = handle;
    settings.connected = false;  // the initialisation failed after Init
    Connection never;
    for (const ModuleLink& link : {ModuleLink(), LinkOf(settings, connection), never.Link()}) {
        EXPECT_FALSE(link.Usable());
        EXPECT_EQ(link.Transact(kRestartRequest).error, kErrNotLoaded);
        const WriteOutcome write = link.WriteBlockVerified(254, BlockWords{});
        EXPECT_EQ(write.error, kErrNotLoaded);
    }
    EXPECT_EQ(fake_->CallCount("Send"), 0u);

    // A handle over no library at all: the binding's own code, as without a library.
    const ModuleLink orphan(nullptr, 6, 0x1234, 1);
    EXPECT_TRUE(orphan.Usable());
    EXPECT_EQ(orphan.Transact(kRestartRequest).error, kErrNotLoaded);
    EXPECT_EQ(fake_->CallCount("Send"), 0u);
}

TEST_F(ModuleLinkTest, LoadNamesWhatFailed) {
    std::uint32_t code = 0;
    EXPECT_EQ(LoadedLibrary::Load(8, code), nullptr);
    EXPECT_EQ(code, kErrNotLoaded);
    testing::ScratchFolder empty;
    platform::SetProgramFolderForTesting(empty.Path());
    EXPECT_EQ(LoadedLibrary::Load(2, code), nullptr);
    EXPECT_EQ(code, kInterfaceKinds[2].loadFailed);
    platform::SetProgramFolderForTesting(folder_.path());
}

}  // namespace
}  // namespace kv
