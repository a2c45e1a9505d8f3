// QUSBVX.DLL against scripted virtual USB devices in a folder of the test's own.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>

#include "tests/unit/LibraryTestSupport.h"

namespace {

using kv::wire::Reply;
using kv::wire::Request;
using kvtest::DoSend;
using kvtest::Frame;
using kvtest::LibraryApi;
using kvtest::Responder;

// A reply that says which device answered: its serial's last digit in data word 7.
Responder::Handler Tagged(std::uint8_t tag) {
    return [tag](Responder& r, const Request& req) {
        Reply reply = Responder::Answer(req);
        reply.data[7] = tag;
        r.Reply(reply);
    };
}

class LibraryUsbTest : public ::testing::Test {
  protected:
    kvtest::TempDir dir_;
    kvtest::ScopedUsbDir scoped_{dir_.path()};
    LibraryApi api_{"QUSBVX.DLL", "QUSBVX"};

    std::string DevicePath(const std::string& serial) {
        return kv::wire::UsbDevicePath(dir_.path(), serial);
    }
    // A socket file whose owner has gone, as a crashed emulator leaves it.
    void MakeStaleDevice(const std::string& serial) {
        auto r = Responder::Unix(DevicePath(serial));
        ASSERT_TRUE(r);
        // Keep the file: detach the path before the responder unlinks it.
        std::string keep = DevicePath(serial) + ".keep";
        ASSERT_EQ(rename(DevicePath(serial).c_str(), keep.c_str()), 0);
        r.reset();
        ASSERT_EQ(rename(keep.c_str(), DevicePath(serial).c_str()), 0);
    }
    std::uint32_t Open(std::uint32_t detection, const std::string* serial, std::uint32_t& code,
                       std::uint32_t timeoutMs = 1000) {
        auto block = kvtest::UsbInitBlock(detection, serial, timeoutMs);
        std::uint32_t handle = 0;
        code = api_.InitBlock(&handle, block.data());
        return handle;
    }
    std::size_t FilesInFolder() {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_.path())) ++n;
        return n;
    }
};

TEST_F(LibraryUsbTest, FirstDeviceSkipsStaleSocketsAndIsChosenByName) {
    ASSERT_TRUE(api_.ok());
    MakeStaleDevice("00000001");
    auto b = Responder::Unix(DevicePath("00000003"));
    auto a = Responder::Unix(DevicePath("00000002"));
    ASSERT_TRUE(a && b);
    a->Start(Tagged(2));
    b->Start(Tagged(3));
    // Junk in the folder is no device.
    {
        std::FILE* f = std::fopen((dir_.path() + "/dev-0000000.sock").c_str(), "w");
        std::fclose(f);
    }

    std::uint32_t code = 99;
    std::uint32_t handle = Open(0, nullptr, code);
    ASSERT_EQ(code, 0u);
    auto out = DoSend(api_, handle, Frame(0, 200, 0, 0));
    EXPECT_EQ(out.result, 0u);
    EXPECT_EQ(out.data[7], 2u);
    api_.Done(&handle);

    // No detection mode chosen (-1) reads as "not by serial number".
    handle = Open(0xFFFFFFFFu, nullptr, code);
    ASSERT_EQ(code, 0u);
    EXPECT_EQ(DoSend(api_, handle, Frame(0, 200, 0, 0)).data[7], 2u);
    api_.Done(&handle);
}

TEST_F(LibraryUsbTest, BySerialNumberOpensExactlyThatDevice) {
    ASSERT_TRUE(api_.ok());
    auto a = Responder::Unix(DevicePath("00000002"));
    auto b = Responder::Unix(DevicePath("KV000003"));
    ASSERT_TRUE(a && b);
    a->Start(Tagged(2));
    b->Start(Tagged(3));
    std::uint32_t code = 99;
    std::string serial = "KV000003";
    std::uint32_t handle = Open(1, &serial, code);
    ASSERT_EQ(code, 0u);
    EXPECT_EQ(DoSend(api_, handle, Frame(0, 200, 0, 0)).data[7], 3u);
    api_.Done(&handle);

    std::string absent = "00000009";
    handle = Open(1, &absent, code);
    EXPECT_EQ(code, static_cast<std::uint32_t>(kv::wire::kDeviceNotFound));
    EXPECT_EQ(handle, 0u);
    MakeStaleDevice("00000004");
    std::string stale = "00000004";
    Open(1, &stale, code);
    EXPECT_EQ(code, static_cast<std::uint32_t>(kv::wire::kDeviceNotFound));
    std::string empty;
    Open(1, &empty, code);
    EXPECT_EQ(code, static_cast<std::uint32_t>(kv::wire::kBadParameter));
}

TEST_F(LibraryUsbTest, ClientSocketLivesInTheFolderUntilDone) {
    ASSERT_TRUE(api_.ok());
    auto dev = Responder::Unix(DevicePath("00000001"));
    ASSERT_TRUE(dev);
    dev->Start(Tagged(1));
    std::uint32_t code = 99;
    std::uint32_t h1 = Open(0, nullptr, code);
    ASSERT_EQ(code, 0u);
    std::uint32_t h2 = Open(0, nullptr, code);
    ASSERT_EQ(code, 0u);
    EXPECT_EQ(FilesInFolder(), 3u);  // the device and two clients
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
        if (e.path().filename().string().rfind("cli-", 0) != 0) continue;
        struct stat st {};
        ASSERT_EQ(stat(e.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 077, 0u) << "client socket open to others";
    }
    EXPECT_EQ(DoSend(api_, h1, Frame(0, 200, 0, 0, {3})).data[0], 4u);
    EXPECT_EQ(DoSend(api_, h2, Frame(0, 200, 0, 0, {8})).data[0], 9u);
    api_.Done(&h1);
    api_.Done(&h2);
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(LibraryUsbTest, AStrangerInTheFolderCannotSlipAReplyIn) {
    ASSERT_TRUE(api_.ok());
    auto dev = Responder::Unix(DevicePath("00000001"));
    ASSERT_TRUE(dev);
    dev->Start(nullptr);  // the device hears the requests but never answers
    std::uint32_t code = 99;
    std::uint32_t handle = Open(0, nullptr, code, 1500);
    ASSERT_EQ(code, 0u);
    // A socket of its own in the device folder, as another program could make one.
    int stranger = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un self{};
    self.sun_family = AF_UNIX;
    std::strncpy(self.sun_path, (dir_.path() + "/stranger.sock").c_str(), sizeof self.sun_path - 1);
    ASSERT_EQ(bind(stranger, reinterpret_cast<sockaddr*>(&self), sizeof self), 0);
    std::atomic<bool> done{false};
    std::thread spoof([&] {
        // Bounded: at most 200 tries, 5 ms apart, each with the sequence number the
        // device saw last.
        for (int i = 0; i < 200 && !done; ++i) {
            auto reqs = dev->Requests();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (reqs.empty()) continue;
            Reply fake = Responder::Answer(reqs.back());
            fake.data[0] = 0xCC;
            auto bytes = kv::wire::EncodeReply(fake);
            for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
                if (e.path().filename().string().rfind("cli-", 0) != 0) continue;
                sockaddr_un to{};
                to.sun_family = AF_UNIX;
                std::strncpy(to.sun_path, e.path().c_str(), sizeof to.sun_path - 1);
                sendto(stranger, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                       sizeof to);
            }
        }
    });
    auto out = DoSend(api_, handle, Frame(0, 200, 0, 0));
    done = true;
    spoof.join();
    close(stranger);
    EXPECT_EQ(out.result, static_cast<std::uint32_t>(kv::wire::kTimeout));
    EXPECT_GE(out.elapsed.count(), 1490);
    EXPECT_LT(out.elapsed.count(), 4000);
    api_.Done(&handle);
}

TEST_F(LibraryUsbTest, UnpluggedDeviceFailsAndAReplugIsFoundAgain) {
    ASSERT_TRUE(api_.ok());
    auto dev = Responder::Unix(DevicePath("00000001"));
    ASSERT_TRUE(dev);
    dev->Start(Tagged(1));
    std::uint32_t code = 99;
    std::uint32_t handle = Open(0, nullptr, code, 300);
    ASSERT_EQ(code, 0u);
    ASSERT_EQ(DoSend(api_, handle, Frame(0, 200, 0, 0)).result, 0u);

    dev.reset();  // unplugged: socket closed and its file removed
    auto out = DoSend(api_, handle, Frame(0, 200, 0, 0));
    EXPECT_EQ(out.result, static_cast<std::uint32_t>(kv::wire::kSendFailed));
    EXPECT_EQ(out.errorWord, static_cast<std::uint32_t>(kv::wire::kSendFailed));
    EXPECT_LT(out.elapsed.count(), 3000);

    // Plugged in again under the same name: the open handle reaches it.
    dev = Responder::Unix(DevicePath("00000001"));
    ASSERT_TRUE(dev);
    dev->Start(Tagged(5));
    out = DoSend(api_, handle, Frame(0, 200, 0, 0));
    EXPECT_EQ(out.result, 0u);
    EXPECT_EQ(out.data[7], 5u);
    api_.Done(&handle);
}

}  // namespace
