// The command-line program's way to a module: the dialog's fields as the record fills
// them, the options over them, the targets of a clone, and the settings file only read.

#include <gtest/gtest.h>

#include <string>

#include "cli/CliConnection.h"
#include "tests/support/DistinctSettings.h"
#include "tests/support/ScratchFolder.h"
#include "transport/InterfaceKinds.h"

namespace kv::cli {
namespace {

TEST(CliConnectionTest, WithoutOptionsTheInputIsWhatTheDialogShowsForTheStoredKind) {
    const ConnectionSettings stored = testing::DistinctSettings();
    for (std::uint8_t kind :
         {kKindUsbVx, kKindLanQudp, kKindCom, kKindPci380, kKindKv3380, kKindLan}) {
        ConnectionSettings settings = stored;
        settings.interfaceKind = kind;
        ConnectionInput input;
        ASSERT_FALSE(BuildConnectionInput(settings, {}, input).has_value());
        const KindLayout layout = LayoutForKind(kind, settings);
        EXPECT_EQ(input.kindPosition, kind);
        EXPECT_EQ(input.addressText, std::to_string(settings.moduleAddress));
        EXPECT_EQ(BaudRateFromIndex(static_cast<std::uint8_t>(input.speedPosition)),
                  settings.baudRate)
            << int(kind);
        if (!layout.firstIsDetectionList) {
            EXPECT_EQ(input.firstText, layout.first.value);
        }
        EXPECT_EQ(input.secondText, layout.second.value);
        EXPECT_EQ(input.thirdText, layout.third.value);
        EXPECT_EQ(input.detectionPosition, layout.detectionPosition);
    }
    // A settings file named on the command line must be there; the stored one need not.
    ConnectionOptions named;
    named.settingsFile = "/nonexistent/W_kv3380u.ini";
    ConnectionSettings loaded;
    EXPECT_NE(LoadConnectionSettings(named, loaded).value_or(""), "");
}

TEST(CliConnectionTest, AFileThatNamesNoInterfaceIsNamedAndWhatWasTakenSaid) {
    testing::ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    ConnectionOptions options;
    options.settingsFile = dir.File("W_kv3380u.ini");
    ConnectionSettings loaded;
    std::string note;
    // Garbage, and a kind that is none of the eight: the defaults stand, and it is said.
    for (const std::string& text : {std::string("\x01\x02 not an ini\n"),
                                    std::string("[P\xF8ipojen\xED]\nRozhran\xED=LAN X\n")}) {
        testing::WriteBytes(options.settingsFile, text);
        note.clear();
        EXPECT_EQ(LoadConnectionSettings(options, loaded, &note), std::nullopt);
        EXPECT_NE(note.find(options.settingsFile), std::string::npos) << note;
        EXPECT_EQ(loaded.interfaceKind, ConnectionSettings{}.interfaceKind);
    }
    EXPECT_NE(note.find("„LAN X“"), std::string::npos) << note;
    // A file that names its interface says nothing more.
    ConnectionSettings lan;
    lan.interfaceKind = kKindLan;
    ASSERT_TRUE(SaveSettings(&lan, options.settingsFile));
    note.clear();
    EXPECT_EQ(LoadConnectionSettings(options, loaded, &note), std::nullopt);
    EXPECT_EQ(note, "");
    EXPECT_EQ(loaded.interfaceKind, kKindLan);

    ConnectionInput input;
    input.kindPosition = kKindUsbVx;
    input.detectionPosition = 0;
    input.secondText = "E2E00001";
    EXPECT_EQ(DescribeInput(input), "USBVx (0), první nalezené zařízení");
    input.detectionPosition = 1;
    EXPECT_EQ(DescribeInput(input), "USBVx (0), Výrobní číslo E2E00001");
    input = {};
    input.kindPosition = kKindKv3380;
    input.firstText = "127.0.0.5";
    input.secondText = "5000";
    input.thirdText = "100";
    input.addressText = "7";
    EXPECT_EQ(DescribeInput(input),
              "KV-3380 (6), IP adresa 127.0.0.5, UDP port 5000, adresa modulu 7");
}

TEST(CliConnectionTest, OptionsReplaceTheFieldsOfTheirKindOnly) {
    const ConnectionSettings stored = testing::DistinctSettings();
    ConnectionOptions options;
    options.kind = "lan qudp";
    options.ip = "127.0.0.9";
    options.port = "$1388";  // left to the initialisation's own reading
    options.timeout = "300";
    options.address = "$2C";
    options.speed = "115200";
    ConnectionInput input;
    ASSERT_FALSE(BuildConnectionInput(stored, options, input).has_value());
    EXPECT_EQ(input.kindPosition, kKindLanQudp);
    EXPECT_EQ(input.firstText, "127.0.0.9");
    EXPECT_EQ(input.secondText, "$1388");
    EXPECT_EQ(input.thirdText, "300");
    EXPECT_EQ(input.addressText, "$2C");
    EXPECT_EQ(BaudRateFromIndex(static_cast<std::uint8_t>(input.speedPosition)), 115200u);

    ConnectionOptions usb;
    usb.kind = "0";
    usb.serial = "E2E00001";
    ASSERT_FALSE(BuildConnectionInput(stored, usb, input).has_value());
    EXPECT_EQ(input.secondText, "E2E00001");
    EXPECT_EQ(input.detectionPosition, 1);  // a serial number chooses the device by it
    usb.detection = "0";
    ASSERT_FALSE(BuildConnectionInput(stored, usb, input).has_value());
    EXPECT_EQ(input.detectionPosition, 0);

    // Mistakes of use: an option the kind has no field for, a speed the dialog lacks, an
    // unknown kind.
    ConnectionOptions wrong;
    wrong.kind = "USBVx";
    wrong.ip = "127.0.0.1";
    EXPECT_NE(BuildConnectionInput(stored, wrong, input).value_or(""), "");
    ConnectionOptions speed;
    speed.speed = "9601";
    EXPECT_NE(BuildConnectionInput(stored, speed, input).value_or(""), "");
    ConnectionOptions kind;
    kind.kind = "8";
    EXPECT_NE(BuildConnectionInput(stored, kind, input).value_or(""), "");
    EXPECT_EQ(KindFromText("KV-3380"), std::optional<std::uint8_t>(kKindKv3380));
    EXPECT_EQ(KindFromText("LAN"), std::optional<std::uint8_t>(kKindLan));
    EXPECT_FALSE(KindFromText("LAN Q").has_value());
}

TEST(CliConnectionTest, ATargetNamesOneModuleOfTheKind) {
    ConnectionInput udp;
    udp.kindPosition = kKindLanQudp;
    udp.secondText = "56565";
    ConnectionInput one = udp;
    ASSERT_FALSE(ApplyTarget("127.0.0.3", one).has_value());
    EXPECT_EQ(one.firstText, "127.0.0.3");
    EXPECT_EQ(one.secondText, "56565");  // the common port stays
    one = udp;
    ASSERT_FALSE(ApplyTarget("127.0.0.3:40001", one).has_value());
    EXPECT_EQ(one.firstText, "127.0.0.3");
    EXPECT_EQ(one.secondText, "40001");
    EXPECT_TRUE(ApplyTarget(":40001", one).has_value());
    EXPECT_TRUE(ApplyTarget("127.0.0.3:", one).has_value());
    // Each part in the form of the option it stands for.
    for (const char* bad :
         {"127.0.0.300", "localhost", "127.0.0.3:70000", "127.0.0.3:x", "127.0.0.3:1:2"})
        EXPECT_NE(ApplyTarget(bad, one).value_or("").find(bad), std::string::npos) << bad;

    ConnectionInput usb;
    usb.kindPosition = kKindUsbVx;
    ASSERT_FALSE(ApplyTarget("E2E00002", usb).has_value());
    EXPECT_EQ(usb.secondText, "E2E00002");
    EXPECT_EQ(usb.detectionPosition, 1);

    EXPECT_TRUE(ApplyTarget("E2E0002", usb).has_value());

    ConnectionInput com;
    com.kindPosition = kKindCom;
    EXPECT_FALSE(ApplyTarget("3", com).has_value());
    EXPECT_EQ(com.firstText, "3");
    EXPECT_TRUE(ApplyTarget("256", com).has_value());
    ConnectionInput pci;
    pci.kindPosition = kKindPci380;
    EXPECT_FALSE(ApplyTarget("2A0h", pci).has_value());
    EXPECT_TRUE(ApplyTarget("2A0", pci).has_value());

    ConnectionInput card;
    card.kindPosition = kKindPci3380;
    EXPECT_TRUE(ApplyTarget("1", card).has_value());

    EXPECT_EQ(SplitTargets(" a,b  c,,\td\n"), (std::vector<std::string>{"a", "b", "c", "d"}));
}

}  // namespace
}  // namespace kv::cli
