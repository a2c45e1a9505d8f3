// Where the settings file lives: beside the program while its folder can be written,
// in the user's configuration folder once it cannot.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "core/Dekl.h"
#include "platform/ConfigFolder.h"
#include "platform/ProgramFolder.h"
#include "tests/support/ScratchFolder.h"

namespace {

using kv::ChooseSettingsFiles;
using kv::ConnectionSettings;
using kv::SettingsFiles;
using kv::testing::ReadBytes;
using kv::testing::RunUnprivileged;
using kv::testing::ScratchFolder;
using kv::testing::WriteBytes;

// Code page 1250 on disk: "Připojení" and "Rozhraní".
const std::string kMain = "[P\xF8ipojen\xED]\r\n";
const std::string kKind = "Rozhran\xED=";

TEST(SettingsLocationTest, TheChoiceOfFiles) {
    const std::string program = "/opt/kv/";
    const std::string user = "/home/u/.config/";
    const std::string beside = "/opt/kv/W_kv3380u.ini";
    const std::string own = "/home/u/.config/kv3380u/W_kv3380u.ini";
    // A folder the program may write (a build tree): beside it, whatever the user has.
    EXPECT_EQ(ChooseSettingsFiles(program, true, user, false), (SettingsFiles{beside, beside}));
    EXPECT_EQ(ChooseSettingsFiles(program, true, user, true), (SettingsFiles{beside, beside}));
    // Installed: written to the user's folder, read from there once it exists there and
    // from beside the program until then.
    EXPECT_EQ(ChooseSettingsFiles(program, false, user, true), (SettingsFiles{own, own}));
    EXPECT_EQ(ChooseSettingsFiles(program, false, user, false), (SettingsFiles{beside, own}));
    // No configuration folder to be had: beside the program, where a save fails quietly.
    EXPECT_EQ(ChooseSettingsFiles(program, false, "", false), (SettingsFiles{beside, beside}));
}

class SettingsFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Save("XDG_CONFIG_HOME", xdg_);
        Save("HOME", home_);
    }
    void TearDown() override {
        Restore("XDG_CONFIG_HOME", xdg_);
        Restore("HOME", home_);
        kv::platform::SetProgramFolderForTesting("");
    }

  private:
    struct Saved {
        bool set = false;
        std::string value;
    };
    static void Save(const char* name, Saved& saved) {
        if (const char* v = std::getenv(name)) saved = {true, v};
    }
    static void Restore(const char* name, const Saved& saved) {
        if (saved.set) {
            ::setenv(name, saved.value.c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    Saved xdg_;
    Saved home_;
};

TEST_F(SettingsFolderTest, TheUserConfigurationFolder) {
    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    ::setenv("HOME", "/tmp/home", 1);
    EXPECT_EQ(kv::platform::UserConfigFolder(), "/tmp/cfg/");
    // A relative XDG_CONFIG_HOME is not to be used.
    ::setenv("XDG_CONFIG_HOME", "cfg", 1);
    EXPECT_EQ(kv::platform::UserConfigFolder(), "/tmp/home/.config/");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/tmp/home/", 1);
    EXPECT_EQ(kv::platform::UserConfigFolder(), "/tmp/home/.config/");
    // Without HOME, the account's home folder.
    ::unsetenv("HOME");
    const std::string fromAccount = kv::platform::UserConfigFolder();
    ASSERT_FALSE(fromAccount.empty());
    EXPECT_EQ(fromAccount.front(), '/');
    EXPECT_EQ(fromAccount.substr(fromAccount.size() - 9), "/.config/");
}

TEST_F(SettingsFolderTest, AWritableProgramFolderKeepsTheFileBesideTheProgram) {
    ScratchFolder program("kv-prog");
    ScratchFolder config("kv-cfg");
    ASSERT_TRUE(program.Ok() && config.Ok());
    ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    // Even a file the user has in their folder does not count in a build tree.
    ASSERT_TRUE(kv::platform::MakeFolders(config.File("kv3380u")));
    WriteBytes(config.File("kv3380u/W_kv3380u.ini"), kMain + kKind + "LAN\r\n");
    kv::platform::SetProgramFolderForTesting(program.Path());

    EXPECT_EQ(kv::SettingsFileLocation().save, program.File("W_kv3380u.ini"));
    ConnectionSettings s;
    EXPECT_FALSE(kv::LoadSettings(&s));
    s.moduleAddress = 17;
    EXPECT_TRUE(kv::SaveSettings(&s));
    EXPECT_NE(ReadBytes(program.File("W_kv3380u.ini")).find("Adresa=17"), std::string::npos);
    EXPECT_EQ(ReadBytes(config.File("kv3380u/W_kv3380u.ini")), kMain + kKind + "LAN\r\n");
}

TEST_F(SettingsFolderTest, AnInstalledProgramKeepsTheFileInTheUsersFolder) {
    ScratchFolder program("kv-prog");
    ScratchFolder config("kv-cfg");
    ASSERT_TRUE(program.Ok() && config.Ok());
    // The administrator's defaults beside the program, with a key the program does not
    // know; the folder is then closed to the user.
    const std::string defaults = kMain + kKind + "LAN QUDP\r\nAdresa=5\r\n[Mine]\r\nkeep=1\r\n";
    WriteBytes(program.File("W_kv3380u.ini"), defaults);
    ASSERT_EQ(::chmod(program.File("W_kv3380u.ini").c_str(), 0644), 0);
    ASSERT_EQ(::chmod(program.Path().c_str(), 0555), 0);
    ASSERT_EQ(::chmod(config.Path().c_str(), 0777), 0);
    const std::string own = config.File("nested/kv3380u/W_kv3380u.ini");

    const auto outcome = RunUnprivileged([&] {
        ::setenv("XDG_CONFIG_HOME", config.File("nested").c_str(), 1);
        kv::platform::SetProgramFolderForTesting(program.Path());
        // Nothing of the user's yet: the defaults are read from beside the program.
        ConnectionSettings first;
        if (!kv::LoadSettings(&first) || first.interfaceKind != 1 || first.moduleAddress != 5)
            return false;
        first.moduleAddress = 9;
        // The first save creates the user's folders and file, and keeps the unknown key.
        if (!kv::SaveSettings(&first)) return false;
        const std::string saved = ReadBytes(own);
        if (saved.find("Adresa=9") == std::string::npos ||
            saved.find("[Mine]\r\nkeep=1") == std::string::npos)
            return false;
        // From now on the user's file is the one read and written.
        ConnectionSettings second;
        if (!kv::LoadSettings(&second) || second.moduleAddress != 9) return false;
        second.baudRate = 19200;
        return kv::SaveSettings(&second) &&
               ReadBytes(own).find("Rychlost=19200") != std::string::npos &&
               kv::SettingsFileLocation().load == own;
    });
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(*outcome);
    // The program folder is as it was.
    EXPECT_EQ(ReadBytes(program.File("W_kv3380u.ini")), defaults);
    EXPECT_EQ(program.EntryCount(), 1u);
    struct stat st {};
    ASSERT_EQ(::stat(config.File("nested").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(SettingsFolderTest, WithNoFileAnywhereTheFirstSaveCreatesTheUsersFile) {
    ScratchFolder program("kv-prog");
    ScratchFolder config("kv-cfg");
    ASSERT_TRUE(program.Ok() && config.Ok());
    ASSERT_EQ(::chmod(program.Path().c_str(), 0555), 0);
    ASSERT_EQ(::chmod(config.Path().c_str(), 0777), 0);
    const auto outcome = RunUnprivileged([&] {
        ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
        kv::platform::SetProgramFolderForTesting(program.Path());
        ConnectionSettings s;
        if (kv::LoadSettings(&s)) return false;
        return kv::SaveSettings(&s);
    });
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(*outcome);
    EXPECT_NE(ReadBytes(config.File("kv3380u/W_kv3380u.ini")).find(kKind + "USBVx\r\n"),
              std::string::npos);
    EXPECT_EQ(program.EntryCount(), 0u);
}

}  // namespace
