// Why the binding refused a library, as kv3380u and the connection dialog's tip say it:
// the full path and the reason (what the file's first bytes show, then the system's own
// words), or the entry point it lacks; a library loaded whole forgets its kind's failure.

#include <gtest/gtest.h>

#include <string>

#include "platform/DynamicLibrary.h"
#include "platform/ProgramFolder.h"
#include "tests/support/ScratchFolder.h"
#include "transport/InterfaceKinds.h"
#include "transport/LoadFailure.h"
#include "transport/Qxxx380.h"

namespace {

using kv::testing::WriteBytes;

// The first bytes of a library of each system and processor.
std::string Elf(unsigned char elfClass, unsigned machine) {
    std::string head = std::string(
                           "\x7f"
                           "ELF",
                           4) +
                       char(elfClass) + std::string(13, '\0');
    head += char(machine & 0xff);
    head += char(machine >> 8);
    return head + std::string(40, '\0');
}

std::string Pe(unsigned machine) {
    std::string head = "MZ" + std::string(0x3a, '\0') + std::string("\x80\0\0\0", 4);
    head.resize(0x80);
    head += std::string("PE\0\0", 4);
    head += char(machine & 0xff);
    head += char(machine >> 8);
    return head + std::string(200, '\0');
}

// The header of a library built as this program is.
std::string OwnHeader() {
#ifdef _WIN32
    return Pe(sizeof(void*) == 8 ? 0x8664 : 0x014c);
#else
    return Elf(2, 62);  // the tests run on x86-64 Linux
#endif
}

TEST(LibraryHeaderTest, SaysWhatTheFilesBytesShowAboutIt) {
    EXPECT_EQ(kv::platform::LibraryHeaderProblem("", 0), "soubor je prázdný");
    const std::string notALibrary =
        "soubor není knihovna (nemá hlavičku knihovny Windows ani Linuxu)";
    EXPECT_EQ(kv::platform::LibraryHeaderProblem("#!/bin/sh\necho\n", 15), notALibrary);
    // "MZ" alone, or a header whose PE signature lies beyond the bytes read.
    EXPECT_EQ(kv::platform::LibraryHeaderProblem("MZ, but no library\r\n", 20), notALibrary);
    EXPECT_EQ(kv::platform::LibraryHeaderProblem(Pe(0x8664).substr(0, 0x60), 1 << 20), notALibrary);

    const struct {
        std::string head;
        const char* system;
    } kLibraries[] = {
        {Pe(0x014c), "32bitová Windows (x86)"}, {Pe(0x8664), "64bitová Windows (x64)"},
        {Elf(1, 3), "32bitový Linux (x86)"},    {Elf(2, 62), "64bitový Linux (x86-64)"},
        {Elf(2, 183), "Linux na ARM64"},
    };
    for (const auto& library : kLibraries) {
        const std::string problem = kv::platform::LibraryHeaderProblem(library.head, 1 << 20);
        if (library.head == OwnHeader()) {
            EXPECT_EQ(problem, "") << library.system;
        } else {
            EXPECT_EQ(problem.rfind(
                          std::string("knihovna je pro ") + library.system + ", program pro ", 0),
                      0u)
                << problem;
        }
    }
    // The program's own words for itself are those the other libraries are compared to.
    const std::string other = kv::platform::LibraryHeaderProblem(Elf(2, 183), 1 << 20);
    EXPECT_NE(other.find(", program pro "), std::string::npos) << other;
}

class LoadFailureTest : public ::testing::Test {
  protected:
    void TearDown() override { kv::platform::SetProgramFolderForTesting(""); }

    // The kind's library loaded from `folder`; DescribeLoadFailure afterwards.
    std::optional<std::string> LoadFrom(const std::string& folder) {
        kv::platform::SetProgramFolderForTesting(folder);
        std::uint32_t code = 0;
        library_ = kv::LoadedLibrary::Load(kv::kKindLanQudp, code);
        path_ = kv::platform::ProgramFolder() + "QQUDP.DLL";
        return kv::DescribeLoadFailure(kv::kKindLanQudp);
    }

    std::shared_ptr<kv::LoadedLibrary> library_;
    std::string path_;
};

TEST_F(LoadFailureTest, NamesTheFullPathAndWhyTheFileDidNotLoad) {
    kv::testing::ScratchFolder folder;
    ASSERT_TRUE(folder.Ok());
    const struct {
        const char* content;  // nullptr: no file
        const char* reason;
    } kCases[] = {
        {nullptr, "soubor nebo složka neexistuje; systém hlásí: "},
        {"", "soubor je prázdný; systém hlásí: "},
        {"MZ, but no library\r\n", "soubor není knihovna"},
    };
    for (const auto& c : kCases) {
        if (c.content != nullptr) WriteBytes(folder.File("QQUDP.DLL"), c.content);
        const auto why = LoadFrom(folder.Path());
        EXPECT_EQ(library_, nullptr);
        ASSERT_TRUE(why.has_value()) << c.reason;
        EXPECT_EQ(why->rfind("knihovnu " + path_ + " nelze načíst: " + c.reason, 0), 0u) << *why;
        EXPECT_NE(why->find("systém hlásí: "), std::string::npos) << *why;
    }
}

TEST_F(LoadFailureTest, NamesTheEntryPointALibraryLacksAndForgetsOnceOneLoads) {
    auto why = LoadFrom(std::string(KV_BIN_DIR) + "/fakes/no_getconfig");
    ASSERT_TRUE(why.has_value());
    EXPECT_EQ(*why, "v knihovně " + path_ + " chybí funkce QQUDP_GetConfig");
    // Another kind's failure stays its own.
    EXPECT_FALSE(kv::DescribeLoadFailure(kv::kKindUsbVx).has_value());

    why = LoadFrom(std::string(KV_BIN_DIR) + "/fakes/complete");
    EXPECT_NE(library_, nullptr);
    EXPECT_FALSE(why.has_value()) << *why;
}

#ifdef _WIN32
TEST_F(LoadFailureTest, ALibraryForTheOtherWindowsSaysSoAndWhatWindowsSays) {
    const auto why = LoadFrom(std::string(KV_BIN_DIR) + "/fakes/wrong-architecture");
    ASSERT_TRUE(why.has_value());
    const std::string other =
        sizeof(void*) == 8 ? "32bitová Windows (x86)" : "64bitová Windows (x64)";
    EXPECT_EQ(why->rfind("knihovnu " + path_ + " nelze načíst: knihovna je pro " + other, 0), 0u)
        << *why;
    // ERROR_BAD_EXE_FORMAT, with the file's name where Windows says "%1".
    EXPECT_NE(why->find("(chyba 193)"), std::string::npos) << *why;
    EXPECT_EQ(why->find("%1"), std::string::npos) << *why;
}
#endif

}  // namespace
