// The Win32 half of the platform layer under wine: UTF-16 paths with Czech letters, the
// atomic replacement and its refusals, the user's folder and the settings file in a
// program folder that cannot be written, and libraries loaded by full path only.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "connection/Connection.h"
#include "core/Dekl.h"
#include "platform/ConfigFolder.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileAccess.h"
#include "platform/ProgramFolder.h"
#include "tests/support/Environment.h"
#include "tests/support/ScratchFolder.h"
#include "transport/Qxxx380.h"

namespace {

using kv::platform::FileBytes;
using kv::platform::ReadSmallFile;
using kv::platform::ReplaceFileContent;
using kv::testing::PathOf;
using kv::testing::ReadBytes;
using kv::testing::ScopedEnvironment;
using kv::testing::ScratchFolder;
using kv::testing::WriteBytes;

// A folder that no one may write, not even root, who runs these tests in CI: Linux's
// /proc as wine shows it (drive Z: is the Linux root).
const std::string kUnwritable = "Z:\\proc";

std::wstring Wide(const std::string& utf8) {
    return PathOf(utf8).wstring();
}

bool MarkReadOnly(const std::string& path) {
    return ::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_READONLY) != 0;
}

TEST(FileAccessWin32Test, CzechNamesAndBytesRoundTripUntranslated) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string folder = dir.File("Měření přístroje");
    ASSERT_TRUE(kv::platform::MakeFolders(folder + "\\Zálohy\\č. 2"));
    const std::string path = folder + "\\Zálohy\\č. 2\\nastavení.ini";
    // CR LF, a lone LF and a Ctrl+Z, which a text-mode stream would have changed.
    const std::string bytes =
        "[P\xF8ipojen\xED]\r\nA=1\n\x1A"
        "end\r\n";
    ASSERT_TRUE(ReplaceFileContent(path, bytes));
    // The name is the UTF-16 one, as Explorer shows it.
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(
        L"" + Wide(dir.Path()) + L"\\M\u011B\u0159en\u00ED p\u0159\u00EDstroje\\Z\u00E1lohy")));
    const FileBytes read = ReadSmallFile(path, 1024);
    ASSERT_EQ(read.status, FileBytes::Status::kRead) << read.reason;
    EXPECT_EQ(read.bytes, bytes);
    EXPECT_TRUE(kv::platform::FileExists(path));
}

TEST(FileAccessWin32Test, AReplacementLeavesOnlyTheFileAndRefusesWhatItMayNotTouch) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string path = dir.File("W_kv3380u.ini");
    WriteBytes(path, "old\r\n");
    ASSERT_TRUE(ReplaceFileContent(path, "new\r\n"));
    EXPECT_EQ(ReadBytes(path), "new\r\n");
    EXPECT_EQ(dir.EntryCount(), 1u);  // no temporary file left behind

    // Each refusal says why, in the words kv3380u reports it with.
    auto refusal = [](const std::string& target, const std::string& bytes) {
        kv::platform::ClearSystemError();
        if (ReplaceFileContent(target, bytes)) return std::string("replaced");
        return kv::platform::SystemErrorText(kv::platform::LastSystemError());
    };
    // A file with the read-only attribute stays as it is, though its folder is writable.
    ASSERT_TRUE(MarkReadOnly(path));
    EXPECT_EQ(refusal(path, "newer\r\n"), "chybí oprávnění");
    EXPECT_EQ(ReadBytes(path), "new\r\n");
    EXPECT_EQ(dir.EntryCount(), 1u);

    // A folder in the file's place, a missing folder, a folder no one may write, a name
    // that names no file.
    std::filesystem::create_directory(PathOf(dir.File("folder.ini")));
    EXPECT_EQ(refusal(dir.File("folder.ini"), "x"), "je to složka");
    EXPECT_EQ(refusal(dir.File("missing\\W_kv3380u.ini"), "x"), "soubor nebo složka neexistuje");
    const std::string unwritable = refusal(kUnwritable + "\\W_kv3380u.ini", "x");
    EXPECT_NE(unwritable, "replaced");
    EXPECT_NE(unwritable, "důvod neznámý");
    EXPECT_EQ(refusal(dir.Path() + "\\", "x"), "neplatný název souboru");
    EXPECT_EQ(dir.EntryCount(), 2u);  // the file and the folder, no temporary file
}

TEST(FileAccessWin32Test, PipesAndDevicesAreWrittenIntoAndNeverReplaced) {
    using kv::platform::KindOfPath;
    using kv::platform::PathKind;
    using kv::platform::WriteIntoStream;
    using namespace std::chrono_literals;
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    WriteBytes(dir.File("a.ini"), "old");
    EXPECT_EQ(KindOfPath(dir.File("a.ini")), PathKind::kRegular);
    EXPECT_EQ(KindOfPath(dir.Path()), PathKind::kDirectory);
    EXPECT_EQ(KindOfPath(dir.File("none")), PathKind::kAbsent);
    EXPECT_EQ(KindOfPath(dir.File("no folder\\none")), PathKind::kAbsent);
    EXPECT_EQ(KindOfPath("NUL"), PathKind::kCharDevice);
    // A device takes the bytes; a file on disk is not written into this way.
    EXPECT_EQ(WriteIntoStream("NUL", "bytes", 1s), std::nullopt);
    EXPECT_EQ(WriteIntoStream(dir.File("a.ini"), "new", 1s), "není to roura ani zařízení");
    EXPECT_EQ(ReadBytes(dir.File("a.ini")), "old");
    EXPECT_EQ(WriteIntoStream(dir.File("none"), "new", 1s), "soubor nebo složka neexistuje");
    EXPECT_FALSE(std::filesystem::exists(PathOf(dir.File("none"))));

    // A named pipe: nobody serves it yet, so the wait ends, or a stop ends it sooner.
    const std::string name = "\\\\.\\pipe\\kv3380u-test-" + std::to_string(::GetCurrentProcessId());
    EXPECT_EQ(KindOfPath(name), PathKind::kAbsent);
    EXPECT_EQ(WriteIntoStream(name, "x", 100ms), "rouru nikdo nečte");
    EXPECT_EQ(WriteIntoStream(name, "x", 60s, [] { return true; }), "rouru nikdo nečte");
    // Once served, it is looked at without taking its one instance, then written into:
    // more than its buffer holds at once.
    const HANDLE server = ::CreateNamedPipeW(Wide(name).c_str(), PIPE_ACCESS_INBOUND,
                                             PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    EXPECT_EQ(KindOfPath(name), PathKind::kFifo);
    const std::string bytes(100'000, 'k');
    std::string got;
    std::thread reader([&] {
        if (!::ConnectNamedPipe(server, nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED)
            return;
        char buffer[8192];
        DWORD n = 0;
        while (::ReadFile(server, buffer, sizeof buffer, &n, nullptr) && n > 0)
            got.append(buffer, n);
    });
    const auto failure = WriteIntoStream(name, bytes, 30s);
    EXPECT_EQ(failure, std::nullopt);
    if (failure) {
        // The reader still waits for a client: one that says nothing releases it.
        ::CloseHandle(::CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    }
    reader.join();
    ::CloseHandle(server);
    EXPECT_EQ(got, bytes);
}

TEST(FileAccessWin32Test, ReadingTellsMissingFromUnreadableAndSaysWhy) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    using Status = FileBytes::Status;
    FileBytes file = ReadSmallFile(dir.File("none.ini"), 1024);
    EXPECT_EQ(file.status, Status::kMissing);
    EXPECT_EQ(file.reason, "soubor nebo složka neexistuje");
    EXPECT_TRUE(file.bytes.empty());
    EXPECT_EQ(ReadSmallFile(dir.File("no folder\\none.ini"), 1024).status, Status::kMissing);
    // A folder, a device (the console's NUL), a file above the limit.
    file = ReadSmallFile(dir.Path(), 1024);
    EXPECT_EQ(file.status, Status::kNotAFile);
    EXPECT_EQ(file.reason, "je to složka");
    EXPECT_EQ(ReadSmallFile("NUL", 1024).status, Status::kNotAFile);
    WriteBytes(dir.File("big.ini"), std::string(1025, 'x'));
    file = ReadSmallFile(dir.File("big.ini"), 1024);
    EXPECT_EQ(file.status, Status::kTooLarge);
    EXPECT_EQ(file.size, 1025u);
    EXPECT_TRUE(file.bytes.empty());
    EXPECT_EQ(ReadSmallFile(dir.File("big.ini"), 1025).status, Status::kRead);
}

TEST(ConfigFolderWin32Test, TheUsersFolderIsAppDataAndFoldersAreProbedByWriting) {
    {
        ScopedEnvironment appData("APPDATA", "C:\\Users\\Operátor\\AppData\\Roaming");
        EXPECT_EQ(kv::platform::UserConfigFolder(), "C:\\Users\\Operátor\\AppData\\Roaming\\");
    }
    {
        // A relative or missing variable: the folder Windows itself names.
        ScopedEnvironment appData("APPDATA", "relative");
        const std::string known = kv::platform::UserConfigFolder();
        ASSERT_GE(known.size(), 4u);
        EXPECT_EQ(known.substr(1, 2), ":\\");
        EXPECT_EQ(known.back(), '\\');
    }
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    EXPECT_TRUE(kv::platform::FolderWritable(dir.Path()));
    EXPECT_EQ(dir.EntryCount(), 0u);  // the probe is gone again
    EXPECT_FALSE(kv::platform::FolderWritable(kUnwritable));
    EXPECT_FALSE(kv::platform::FolderWritable(dir.File("missing")));
    EXPECT_FALSE(kv::platform::FolderWritable(""));
}

class SettingsWin32Test : public ::testing::Test {
  protected:
    void TearDown() override { kv::platform::SetProgramFolderForTesting(""); }
    ScratchFolder dir_;
};

TEST_F(SettingsWin32Test, BesideAProgramInACzechFolderInTheWindowsUtilitysForm) {
    const std::string program = dir_.File("Program Files\\Měření");
    ASSERT_TRUE(kv::platform::MakeFolders(program));
    kv::platform::SetProgramFolderForTesting(program);
    EXPECT_EQ(kv::SettingsFileLocation().save, program + "\\W_kv3380u.ini");
    // As the Windows utility wrote it: code page 1250, CR LF, and a section of its own.
    WriteBytes(program + "\\W_kv3380u.ini",
               "[P\xF8ipojen\xED]\r\nRozhran\xED=LAN\r\nAdresa=7\r\n[LAN]\r\n"
               "IP adresa=127.0.0.5\r\n[Pozn\xE1mka]\r\nText=M\xEC\xF8\x65n\xED\r\n");
    kv::ConnectionSettings s;
    ASSERT_TRUE(kv::LoadSettings(&s));
    EXPECT_EQ(s.interfaceKind, 7);
    EXPECT_EQ(s.moduleAddress, 7);
    EXPECT_EQ(s.lanIpAddress, "127.0.0.5");
    s.lanIpAddress = "127.0.0.6";
    ASSERT_TRUE(kv::SaveSettings(&s));
    const std::string saved = ReadBytes(program + "\\W_kv3380u.ini");
    EXPECT_NE(saved.find("[Pozn\xE1mka]\r\nText=M\xEC\xF8\x65n\xED\r\n"), std::string::npos);
    EXPECT_NE(saved.find("[LAN]\r\nIP adresa=127.0.0.6\r\n"), std::string::npos);
    EXPECT_EQ(saved.find("\r\r"), std::string::npos);
    EXPECT_EQ(saved.find("\n\n"), std::string::npos);
}

TEST_F(SettingsWin32Test, AReadOnlyProgramFolderSendsTheFileToAppData) {
    ScopedEnvironment appData("APPDATA", dir_.File("Roaming"));
    kv::platform::SetProgramFolderForTesting(kUnwritable);
    const std::string own = dir_.File("Roaming\\kv3380u\\W_kv3380u.ini");
    EXPECT_EQ(kv::SettingsFileLocation().save, own);
    kv::ConnectionSettings s;
    s.moduleAddress = 42;
    // The first save makes the user's folders.
    ASSERT_TRUE(kv::SaveSettings(&s));
    kv::ConnectionSettings loaded;
    ASSERT_TRUE(kv::LoadSettings(&loaded));
    EXPECT_EQ(loaded.moduleAddress, 42);
    EXPECT_EQ(kv::SettingsFilePath(), own);
    EXPECT_NE(ReadBytes(own).find("Adresa=42\r\n"), std::string::npos);
}

TEST(DynamicLibraryWin32Test, OnlyAFullPathLoadsAndOnlyPlainNamesResolve) {
    const std::string minimal = std::string(KV_BIN_DIR) + "/fakes/minimal";
    kv::platform::DynamicLibrary library;
    // A bare name would be looked for in the working directory: refused even there.
    wchar_t saved[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(::SetCurrentDirectoryW(Wide(minimal).c_str()));
    EXPECT_FALSE(library.Load("QQUDP.DLL"));
    EXPECT_FALSE(library.Load(".\\QQUDP.DLL"));
    ::SetCurrentDirectoryW(saved);

    ASSERT_TRUE(library.Load(minimal + "/QQUDP.DLL")) << library.LastError();
    for (const char* suffix :
         {"Version", "Init", "SetConfig", "GetConfig", "Send", "Done", "Error"})
        EXPECT_NE(library.Symbol((std::string("QQUDP_") + suffix).c_str()), nullptr) << suffix;
    // No decorated twin of a __stdcall name is exported.
    EXPECT_EQ(library.Symbol("QQUDP_Send@20"), nullptr);
    EXPECT_EQ(library.Symbol("_QQUDP_Send@20"), nullptr);

    EXPECT_FALSE(library.Load(std::string(KV_BIN_DIR) + "/fakes/wrong-architecture/QQUDP.DLL"));
    EXPECT_FALSE(library.IsLoaded());
    // ERROR_BAD_EXE_FORMAT, as Windows itself says it.
    EXPECT_NE(library.LastError().find("193"), std::string::npos) << library.LastError();
}

class BindingWin32Test : public ::testing::Test {
  protected:
    void TearDown() override { kv::platform::SetProgramFolderForTesting(""); }

    std::uint32_t OpenQudpFrom(const std::string& folder) {
        kv::platform::SetProgramFolderForTesting(std::string(KV_BIN_DIR) + "/fakes/" + folder);
        kv::InitBlock block{};
        std::uint32_t handle = 0;
        const std::uint32_t code = connection_.OpenTransport(kv::kKindLanQudp, &handle, block);
        connection_.Close();
        return code;
    }

    kv::Connection connection_;
};

TEST_F(BindingWin32Test, TheWrongArchitectureAndAMissingEntryPointGetTheBindingsTexts) {
    EXPECT_EQ(OpenQudpFrom("wrong-architecture"), 107u);
    EXPECT_EQ(kv::ErrorString(kv::kKindLanQudp, 107), "chyba inicializace knihovny QQUDP.DLL");
    EXPECT_FALSE(connection_.HoldsLibrary());
    EXPECT_EQ(OpenQudpFrom("no_getconfig"), 117u);
    EXPECT_EQ(kv::ErrorString(kv::kKindLanQudp, 117), "chybná knihovna QQUDP.DLL");
    EXPECT_FALSE(connection_.HoldsLibrary());
    EXPECT_EQ(OpenQudpFrom("minimal"), 0u);
}

TEST(ProgramFolderWin32Test, TheFolderOfTheRunningExecutable) {
    const std::string folder = kv::platform::ExecutableFolder();
    ASSERT_GE(folder.size(), 4u);
    EXPECT_EQ(folder.substr(1, 2), ":\\");
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_TRUE(kv::platform::FileExists(folder + "unit_tests.exe")) << folder;
}

}  // namespace
