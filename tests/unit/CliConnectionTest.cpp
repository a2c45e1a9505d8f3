// The command-line program's way to a module: the typed values the dialog would take from
// the record, the options over them, the targets of a clone, and the settings file only read.

#include <gtest/gtest.h>

#include <string>

#include "cli/CliConnection.h"
#include "tests/support/DistinctSettings.h"
#include "tests/support/ScratchFolder.h"
#include "transport/InterfaceKinds.h"

namespace kv::cli {
namespace {

TEST(CliConnectionTest, WithoutOptionsTheRequestIsWhatTheDialogTakesForTheStoredKind) {
    ConnectionSettings stored = testing::DistinctSettings();
    stored.usbDetection = 3;         // the list shows its low bit
    stored.pciBaseAddress = 0x1234;  // shown as "1234h", which the dialog does not take
    for (std::uint8_t kind :
         {kKindUsbVx, kKindLanQudp, kKindCom, kKindPci380, kKindPci3380, kKindKv3380, kKindLan}) {
        ConnectionSettings settings = stored;
        settings.interfaceKind = kind;
        ConnectionRequest request;
        ASSERT_FALSE(BuildConnectionRequest(settings, {}, request).has_value());
        // The dialog opened on the kind: its fields as the record fills them, then read.
        const KindLayout layout = LayoutForKind(kind, settings);
        ConnectionInput shown;
        shown.kindPosition = kind;
        shown.addressText = std::to_string(settings.moduleAddress);
        shown.speedPosition = BaudIndexFromRate(static_cast<std::int32_t>(settings.baudRate));
        shown.firstText = layout.firstIsDetectionList ? std::string() : layout.first.value;
        shown.secondText = layout.second.value;
        shown.thirdText = layout.third.value;
        shown.detectionPosition = layout.detectionPosition;
        const ConnectionRequest read = ReadConnectionInput(shown);
        EXPECT_EQ(request.kind, read.kind);
        EXPECT_EQ(request.address, read.address);
        EXPECT_EQ(request.speedCode, read.speedCode);
        for (const KindParameter& p : KindParameters(kind)) {
            ParameterValue typed = request.values[p.row];
            // What the dialog reads leniently, the initialisation settles alike.
            if (p.form == ParameterForm::kBaseAddress && typed.number > 0xFFF) typed.number = 0x300;
            EXPECT_EQ(typed, read.values[p.row]) << +kind << " " << p.caption;
        }
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

    ConnectionRequest request;
    request.kind = kKindUsbVx;
    request.values[0].number = 0;
    request.values[1].text = "E2E00001";
    EXPECT_EQ(DescribeRequest(request), "USBVx (0), první nalezené zařízení");
    request.values[0].number = 1;
    EXPECT_EQ(DescribeRequest(request), "USBVx (0), Výrobní číslo E2E00001");
    request = {};
    request.kind = kKindKv3380;
    request.values[0].text = "127.0.0.5";
    request.values[1].number = 5000;
    request.values[2].number = 100;
    request.address = 7;
    EXPECT_EQ(DescribeRequest(request),
              "KV-3380 (6), IP adresa 127.0.0.5, UDP port 5000, adresa modulu 7");
    request = {};
    request.kind = kKindPci380;
    request.values[0].number = 0x2A0;
    request.address = 3;
    EXPECT_EQ(DescribeRequest(request), "PCI-380 (3), Bázová adresa PCI-380 2A0h, adresa modulu 3");
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
    ConnectionRequest request;
    ASSERT_FALSE(BuildConnectionRequest(stored, options, request).has_value());
    EXPECT_EQ(request.kind, kKindLanQudp);
    EXPECT_EQ(request.values[0].text, "127.0.0.9");
    EXPECT_EQ(request.values[1].number, 0x1388);  // typed as the dialog reads "$1388"
    EXPECT_EQ(request.values[2].number, 300);
    EXPECT_EQ(request.address, 0x2C);
    EXPECT_EQ(BaudRateFromIndex(request.speedCode), 115200u);

    ConnectionOptions usb;
    usb.kind = "0";
    usb.serial = "E2E00001";
    ASSERT_FALSE(BuildConnectionRequest(stored, usb, request).has_value());
    EXPECT_EQ(request.values[1].text, "E2E00001");
    EXPECT_EQ(request.values[0].number, 1);  // a serial number chooses the device by it
    EXPECT_EQ(request.values[2].number, stored.usbTimeout);
    usb.detection = "0";
    ASSERT_FALSE(BuildConnectionRequest(stored, usb, request).has_value());
    EXPECT_EQ(request.values[0].number, 0);

    ConnectionOptions pci;
    pci.kind = "PCI-380";
    pci.base = "2a0h";
    pci.com = "3";
    EXPECT_EQ(BuildConnectionRequest(stored, pci, request).value_or(""),
              "volba --com nepatří k rozhraní PCI-380");
    pci.com.reset();
    ASSERT_FALSE(BuildConnectionRequest(stored, pci, request).has_value());
    EXPECT_EQ(request.values[0].number, 0x2A0);

    // Mistakes of use: an option the kind has no field for, a speed the dialog lacks, an
    // unknown kind.
    ConnectionOptions wrong;
    wrong.kind = "USBVx";
    wrong.ip = "127.0.0.1";
    EXPECT_NE(BuildConnectionRequest(stored, wrong, request).value_or(""), "");
    ConnectionOptions speed;
    speed.speed = "9601";
    EXPECT_NE(BuildConnectionRequest(stored, speed, request).value_or(""), "");
    ConnectionOptions kind;
    kind.kind = "8";
    EXPECT_NE(BuildConnectionRequest(stored, kind, request).value_or(""), "");
    EXPECT_EQ(KindFromText("KV-3380"), std::optional<std::uint8_t>(kKindKv3380));
    EXPECT_EQ(KindFromText("LAN"), std::optional<std::uint8_t>(kKindLan));
    EXPECT_FALSE(KindFromText("LAN Q").has_value());
}

TEST(CliConnectionTest, ATargetNamesOneModuleOfTheKind) {
    ConnectionRequest udp;
    udp.kind = kKindLanQudp;
    udp.values[1].number = 56565;
    ConnectionRequest one = udp;
    ASSERT_FALSE(ApplyTarget("127.0.0.3", one).has_value());
    EXPECT_EQ(one.values[0].text, "127.0.0.3");
    EXPECT_EQ(one.values[1].number, 56565);  // the common port stays
    one = udp;
    ASSERT_FALSE(ApplyTarget("127.0.0.3:40001", one).has_value());
    EXPECT_EQ(one.values[0].text, "127.0.0.3");
    EXPECT_EQ(one.values[1].number, 40001);
    EXPECT_TRUE(ApplyTarget(":40001", one).has_value());
    EXPECT_TRUE(ApplyTarget("127.0.0.3:", one).has_value());
    // Each part in the form of the option it stands for.
    for (const char* bad :
         {"127.0.0.300", "localhost", "127.0.0.3:70000", "127.0.0.3:x", "127.0.0.3:1:2"})
        EXPECT_NE(ApplyTarget(bad, one).value_or("").find(bad), std::string::npos) << bad;

    ConnectionRequest usb;
    usb.kind = kKindUsbVx;
    ASSERT_FALSE(ApplyTarget("E2E00002", usb).has_value());
    EXPECT_EQ(usb.values[1].text, "E2E00002");
    EXPECT_EQ(usb.values[0].number, 1);

    EXPECT_TRUE(ApplyTarget("E2E0002", usb).has_value());

    ConnectionRequest com;
    com.kind = kKindCom;
    EXPECT_FALSE(ApplyTarget("3", com).has_value());
    EXPECT_EQ(com.values[0].number, 3);
    EXPECT_TRUE(ApplyTarget("256", com).has_value());
    ConnectionRequest pci;
    pci.kind = kKindPci380;
    EXPECT_FALSE(ApplyTarget("2A0h", pci).has_value());
    EXPECT_EQ(pci.values[0].number, 0x2A0);
    EXPECT_TRUE(ApplyTarget("2A0", pci).has_value());

    ConnectionRequest card;
    card.kind = kKindPci3380;
    EXPECT_TRUE(ApplyTarget("1", card).has_value());

    EXPECT_EQ(SplitTargets(" a,b  c,,\td\n"), (std::vector<std::string>{"a", "b", "c", "d"}));
}

}  // namespace
}  // namespace kv::cli
