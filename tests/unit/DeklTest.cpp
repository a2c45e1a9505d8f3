#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <string>

#include "core/Dekl.h"
#include "platform/ProgramFolder.h"
#include "tests/support/Hex.h"
#include "tests/support/ScratchFolder.h"

namespace {

using kv::ConnectionSettings;
using kv::LoadSettings;
using kv::ModuleConfig;
using kv::SaveSettings;
using kv::SetDefaults;
using kv::testing::ReadBytes;
#ifndef _WIN32
using kv::testing::RunUnprivileged;
#endif
using kv::testing::ScratchFolder;
using kv::testing::WriteBytes;

// Names as they stand in the file, in code page 1250.
const std::string kMain = "[P\xF8ipojen\xED]";
const std::string kKind = "Rozhran\xED";
const std::string kSerial = "V\xFDrobn\xED \xE8\xEDslo";
const std::string kComPort = "\xC8\xEDslo portu";
const std::string kBase = "B\xE1zov\xE1 adresa";

ConnectionSettings Defaults() {
    ConnectionSettings s;
    SetDefaults(&s);
    return s;
}

// Every field the file keeps, set away from its default.
ConnectionSettings Changed(std::uint8_t kind) {
    ConnectionSettings s = Defaults();
    s.interfaceKind = kind;
    s.moduleAddress = 17;
    s.baudRate = 115200;
    s.pciBaseAddress = 0x2F8;
    s.comPort = 4;
    s.kvIpAddress = "127.0.0.7";
    s.kvUdpPort = 5007;
    s.kvUdpTimeout = 700;
    s.lanIpAddress = "127.0.0.8";
    s.lanUdpPort = 5008;
    s.lanUdpTimeout = 800;
    s.qudpTargetIp = "127.0.0.9";
    s.qudpTargetPort = 40000;
    s.qudpTimeout = 900;
    s.usbDetection = 1;
    s.usbSerial = "Ščř12345";
    s.usbTimeout = 2500;
    return s;
}

// Loads a hand-written file over a record that starts from the defaults.
ConnectionSettings LoadedFrom(const std::string& bytes, bool* result = nullptr) {
    ScratchFolder dir;
    WriteBytes(dir.File("W_kv3380u.ini"), bytes);
    ConnectionSettings s = Defaults();
    const bool ok = LoadSettings(&s, dir.File("W_kv3380u.ini"));
    if (result) *result = ok;
    return s;
}

std::string WithMain(const std::string& body) {
    return kMain + "\r\n" + kKind + "=USBVx\r\n" + body;
}

TEST(DeklTest, DefaultModuleConfigHoldsTheDocumentedImage) {
    using kv::testing::Zeros;
    // The module as delivered, byte for byte: address 1, speed code 4 (9600 Bd), IP
    // 192.168.0.99, mask 255.255.255.0, gateway 192.168.0.123; the VLANs on ports 5000 to
    // 5002 (low byte first), VLAN1 with the validity timer, each 10 s valid, no users;
    // remote management on port 56565, open to everyone.
    const std::string vlanRest = "0a" + Zeros(24);
    const std::string network = "0104c0a80063ffffff00c0a8007b";
    const std::string vlans = "881301" + vlanRest + "891300" + vlanRest + "8a1300" + vlanRest;
    const std::string remote = "f5dc01" + Zeros(19);
    EXPECT_EQ(kv::testing::Hex(kv::DefaultModuleConfig().bytes), network + vlans + remote);
}

TEST(DeklTest, SetDefaultsRestoresEveryField) {
    ConnectionSettings s = Changed(7);
    s.qudpSourcePort = 1;
    s.statusText = "V pořádku";
    s.handle = 5;
    s.connected = true;
    s.moduleIdent = "KV-3380U v.1.00";
    s.initBlock[3] = 9;
    s.initTexts[1] = "x";
    s.moduleConfig.bytes[50] = 0xAA;
    SetDefaults(&s);

    EXPECT_EQ(s.interfaceKind, 0);
    EXPECT_EQ(s.moduleAddress, 0);
    EXPECT_EQ(s.baudRate, 9600u);
    EXPECT_EQ(s.pciBaseAddress, 768);
    EXPECT_EQ(s.comPort, 1);
    EXPECT_EQ(s.kvIpAddress, "192.168.0.99");
    EXPECT_EQ(s.kvUdpPort, 5000);
    EXPECT_EQ(s.kvUdpTimeout, 1000);
    EXPECT_EQ(s.lanIpAddress, "192.168.0.99");
    EXPECT_EQ(s.lanUdpPort, 5000);
    EXPECT_EQ(s.lanUdpTimeout, 1000);
    EXPECT_EQ(s.qudpTargetIp, "192.168.0.99");
    EXPECT_EQ(s.qudpTargetPort, 56565);
    EXPECT_EQ(s.qudpSourcePort, 10000);
    EXPECT_EQ(s.qudpTimeout, 1000);
    EXPECT_EQ(s.usbDetection, 0);
    EXPECT_EQ(s.usbSerial, "00000001");
    EXPECT_EQ(s.usbTimeout, 1000);
    EXPECT_EQ(s.statusText, "Připojení modulu dosud neinicializováno");
    EXPECT_EQ(s.handle, 0u);
    EXPECT_FALSE(s.connected);
    EXPECT_EQ(s.moduleIdent, "");
    EXPECT_EQ(s.initBlock, kv::InitBlock{});
    EXPECT_EQ(s.initTexts[1], "");
    EXPECT_EQ(s.moduleConfig, kv::DefaultModuleConfig());

    SetDefaults(nullptr);  // nothing to do, and no crash
}

TEST(DeklTest, FirstCloseWritesTheFileByteForByte) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const ConnectionSettings s = Defaults();
    ASSERT_TRUE(SaveSettings(&s, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(ReadBytes(dir.File("W_kv3380u.ini")),
              kMain + "\r\n" +  //
                  kKind +
                  "=USBVx\r\n"         //
                  "Adresa=0\r\n"       //
                  "Rychlost=9600\r\n"  //
                  "[USBVx]\r\n"        //
                  "Detekce=0\r\n" +    //
                  kSerial +
                  "=00000001\r\n"  //
                  "USB timeout=1000\r\n");
    // A second save of the same record changes nothing.
    const std::string first = ReadBytes(dir.File("W_kv3380u.ini"));
    ASSERT_TRUE(SaveSettings(&s, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(ReadBytes(dir.File("W_kv3380u.ini")), first);
}

TEST(DeklTest, TheFileLivesInTheProgramFolder) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    kv::platform::SetProgramFolderForTesting(dir.Path());
    EXPECT_EQ(kv::SettingsFilePath(), dir.File("W_kv3380u.ini"));
    const ConnectionSettings saved = Changed(6);
    const bool savedOk = SaveSettings(&saved);
    ConnectionSettings loaded = Defaults();
    const bool loadedOk = LoadSettings(&loaded);
    kv::platform::SetProgramFolderForTesting("");

    EXPECT_TRUE(savedOk);
    EXPECT_TRUE(loadedOk);
    EXPECT_EQ(loaded.interfaceKind, 6);
    EXPECT_EQ(loaded.kvIpAddress, "127.0.0.7");
    EXPECT_NE(ReadBytes(dir.File("W_kv3380u.ini")).find("[KV-3380]"), std::string::npos);
}

TEST(DeklTest, AbsentFileOrInterfaceLeavesTheRecordAlone) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    ConnectionSettings s = Changed(3);
    EXPECT_FALSE(LoadSettings(&s, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(s.moduleAddress, 17);
    EXPECT_FALSE(LoadSettings(nullptr, dir.File("W_kv3380u.ini")));
    EXPECT_FALSE(SaveSettings(nullptr, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(dir.EntryCount(), 0u);

    // Without "Rozhraní" (or with the sentinel in it) not even the other keys are read.
    for (const std::string& mainBody : {std::string(), kKind + "=jkl\r\n", kKind + " = jkl \r\n"}) {
        bool result = true;
        const ConnectionSettings loaded = LoadedFrom(
            kMain + "\r\n" + mainBody + "Adresa=5\r\n[COMx]\r\n" + kComPort + "=9\r\n", &result);
        EXPECT_FALSE(result) << mainBody;
        EXPECT_EQ(loaded.moduleAddress, 0);
        EXPECT_EQ(loaded.comPort, 1);
    }
}

TEST(DeklTest, EveryKindRoundTripsItsOwnKeys) {
    for (std::uint8_t kind = 0; kind < 8; ++kind) {
        ScratchFolder dir;
        ASSERT_TRUE(dir.Ok());
        const ConnectionSettings saved = Changed(kind);
        ASSERT_TRUE(SaveSettings(&saved, dir.File("W_kv3380u.ini"))) << int(kind);
        ConnectionSettings loaded = Defaults();
        ASSERT_TRUE(LoadSettings(&loaded, dir.File("W_kv3380u.ini"))) << int(kind);
        const ConnectionSettings d = Defaults();
        SCOPED_TRACE(int(kind));
        EXPECT_EQ(loaded.interfaceKind, kind);
        EXPECT_EQ(loaded.moduleAddress, 17);
        EXPECT_EQ(loaded.baudRate, 115200u);
        // The other kinds' keys were not written, so they keep the defaults.
        EXPECT_EQ(loaded.usbSerial, kind == 0 ? saved.usbSerial : d.usbSerial);
        EXPECT_EQ(loaded.usbDetection, kind == 0 ? 1 : 0);
        EXPECT_EQ(loaded.usbTimeout, kind == 0 ? 2500 : 1000);
        EXPECT_EQ(loaded.qudpTargetIp, kind == 1 ? saved.qudpTargetIp : d.qudpTargetIp);
        EXPECT_EQ(loaded.qudpTargetPort, kind == 1 ? 40000 : 56565);
        EXPECT_EQ(loaded.qudpTimeout, kind == 1 ? 900 : 1000);
        EXPECT_EQ(loaded.comPort, kind == 2 ? 4 : 1);
        EXPECT_EQ(loaded.pciBaseAddress, kind == 3 ? 0x2F8 : 768);
        EXPECT_EQ(loaded.kvIpAddress, kind == 6 ? saved.kvIpAddress : d.kvIpAddress);
        EXPECT_EQ(loaded.kvUdpPort, kind == 6 ? 5007 : 5000);
        EXPECT_EQ(loaded.kvUdpTimeout, kind == 6 ? 700 : 1000);
        EXPECT_EQ(loaded.lanIpAddress, kind == 7 ? saved.lanIpAddress : d.lanIpAddress);
        EXPECT_EQ(loaded.lanUdpPort, kind == 7 ? 5008 : 5000);
        EXPECT_EQ(loaded.lanUdpTimeout, kind == 7 ? 800 : 1000);
        // Never stored.
        EXPECT_EQ(loaded.qudpSourcePort, 10000);
    }
}

TEST(DeklTest, KindWithoutParametersLeavesOtherSectionsUntouched) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string comSection =
        "[COMx]\r\n; chosen by hand\r\n" + kComPort + "=7\r\nParita=sud\xE1\r\n";
    WriteBytes(dir.File("W_kv3380u.ini"), WithMain("Adresa=3\r\nRychlost=600\r\n") + comSection);
    ConnectionSettings s = Defaults();
    s.interfaceKind = 4;
    s.moduleAddress = 9;
    ASSERT_TRUE(SaveSettings(&s, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(ReadBytes(dir.File("W_kv3380u.ini")),
              kMain + "\r\n" + kKind + "=PCI-3380\r\nAdresa=9\r\nRychlost=9600\r\n" + comSection);
}

TEST(DeklTest, KindOutOfRangeIsStoredAsComPort) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    ConnectionSettings s = Defaults();
    s.interfaceKind = 200;
    s.comPort = 3;
    ASSERT_TRUE(SaveSettings(&s, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(ReadBytes(dir.File("W_kv3380u.ini")),
              kMain + "\r\n" + kKind + "=COMx\r\nAdresa=0\r\nRychlost=9600\r\n[COMx]\r\n" +
                  kComPort + "=3\r\n");
    ConnectionSettings loaded = Defaults();
    ASSERT_TRUE(LoadSettings(&loaded, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(loaded.interfaceKind, 2);
    EXPECT_EQ(loaded.comPort, 3);
}

TEST(DeklTest, UnknownContentSurvivesASave) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string before = "; settings of the workshop PC\r\n" + kMain + "\r\n" + kKind +
                               "=LAN\r\n"
                               "Pozn\xE1mka=nem\xECnit\r\n"
                               "Adresa=3\r\n"
                               "\r\n"
                               "[Okno]\r\n"
                               "Left=10\r\n"
                               "# old value: 20\r\n"
                               "[LAN]\r\n"
                               "UDP port=6000\r\n"
                               "Extra=1\r\n";
    WriteBytes(dir.File("W_kv3380u.ini"), before);
    ConnectionSettings s = Defaults();
    ASSERT_TRUE(LoadSettings(&s, dir.File("W_kv3380u.ini")));
    s.lanUdpPort = 6001;
    ASSERT_TRUE(SaveSettings(&s, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(ReadBytes(dir.File("W_kv3380u.ini")), "; settings of the workshop PC\r\n" + kMain +
                                                        "\r\n" + kKind +
                                                        "=LAN\r\n"
                                                        "Pozn\xE1mka=nem\xECnit\r\n"
                                                        "Adresa=3\r\n"
                                                        "Rychlost=9600\r\n"
                                                        "\r\n"
                                                        "[Okno]\r\n"
                                                        "Left=10\r\n"
                                                        "# old value: 20\r\n"
                                                        "[LAN]\r\n"
                                                        "UDP port=6001\r\n"
                                                        "Extra=1\r\n"
                                                        "IP adresa=192.168.0.99\r\n"
                                                        "UDP timeout=1000\r\n");
}

TEST(DeklTest, IntegersAreTruncatedToTheFieldWidth) {
    const ConnectionSettings s =
        LoadedFrom(WithMain("Adresa=300\r\nRychlost=4294967295\r\n") + "[PCI-380]\r\n" + kBase +
                   "=65536\r\n"
                   "[COMx]\r\n" +
                   kComPort +
                   "=257\r\n"
                   "[USBVx]\r\nDetekce=4294967295\r\nUSB timeout=-1\r\n");
    EXPECT_EQ(s.moduleAddress, 44);
    EXPECT_EQ(s.pciBaseAddress, 0);
    EXPECT_EQ(s.comPort, 1);
    EXPECT_EQ(s.baudRate, 4294967295u);
    EXPECT_EQ(s.usbDetection, -1);
    EXPECT_EQ(s.usbTimeout, -1);
}

TEST(DeklTest, IntegerForms) {
    // From -2^31 to 2^32-1 is an integer; anything else keeps the field's 1000.
    struct Case {
        const char* text;
        std::int64_t expected;  // as the signed field holds it
    } cases[] = {
        {"$1F", 31},
        {"$ff", 255},
        {"0x1f", 31},
        {"0X1F", 31},
        {"0x0", 0},
        {"-$10", -16},
        {"+12", 12},
        {"  42  ", 42},
        {"0010", 10},
        {"4294967295", -1},
        {"$FFFFFFFF", -1},
        {"-2147483648", INT32_MIN},
        {"0x000000000000001", 1},
        {"$", 1000},
        {"0x", 1000},
        {"0X", 1000},
        {"0xG", 1000},
        {"$-5", 1000},
        {"0x-5", 1000},
        {"1F", 1000},
        {"12abc", 1000},
        {"1 2", 1000},
        {"", 1000},
        {"-", 1000},
        {"1e3", 1000},
        {"3.5", 1000},
        {"4294967296", 1000},
        {"$100000000", 1000},
        {"-2147483649", 1000},
        {"99999999999999999999999", 1000},
    };
    for (const Case& c : cases) {
        const ConnectionSettings s =
            LoadedFrom(WithMain("") + "[USBVx]\r\nUSB timeout=" + c.text + "\r\n");
        EXPECT_EQ(s.usbTimeout, c.expected) << '"' << c.text << '"';
    }
}

TEST(DeklTest, KindNameComparesExactly) {
    bool result = false;
    ConnectionSettings start = Defaults();
    for (const char* name : {"usbvx", "USBVX", "LAN  QUDP", "", "KV-3380 x"}) {
        ScratchFolder dir;
        WriteBytes(dir.File("W_kv3380u.ini"), kMain + "\r\n" + kKind + "=" + name +
                                                  "\r\nAdresa=12\r\n" + "[COMx]\r\n" + kComPort +
                                                  "=6\r\n");
        ConnectionSettings s = start;
        s.interfaceKind = 3;
        result = LoadSettings(&s, dir.File("W_kv3380u.ini"));
        EXPECT_TRUE(result) << name;
        EXPECT_EQ(s.interfaceKind, 3) << name;
        EXPECT_EQ(s.moduleAddress, 12) << name;
        EXPECT_EQ(s.comPort, 6) << name;
    }
    // Blanks around the value are no part of it, as with any value.
    const ConnectionSettings s = LoadedFrom(kMain + "\r\n" + kKind + " =  KV-3380 \r\n");
    EXPECT_EQ(s.interfaceKind, 6);
}

TEST(DeklTest, TextValuesAreCutLikeTheProfileFunctionsCutThem) {
    const std::string longSerial(3000, '7');
    ConnectionSettings s =
        LoadedFrom(WithMain("") + "[USBVx]\r\n" + kSerial + "=" + longSerial + "\r\n");
    EXPECT_EQ(s.usbSerial, std::string(2047, '7'));

    s = LoadedFrom(WithMain("") + "[LAN]\r\nIP adresa=" + std::string("127.0.0.1\0garbage", 17) +
                   "\r\n");
    EXPECT_EQ(s.lanIpAddress, "127.0.0.1");

    s = LoadedFrom(WithMain("") + "[USBVx]\r\n" + kSerial + "=\xC8\xE8\x81\r\n");
    EXPECT_EQ(s.usbSerial, "Čč\xEF\xBF\xBD");
}

TEST(DeklTest, HandWrittenOddFileLoadsWhatItCanAndKeepsTheRest) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string garbage("garbage\0\xFF", 9);
    const std::string overlong(100000, 'A');
    WriteBytes(dir.File("W_kv3380u.ini"),
               garbage +
                   "\n"                     //
                   "[P\xF8IPOJEN\xED]\n" +  // names in other case, LF only
                   overlong +
                   "\n"                     //
                   "Adresa\n"               // no "="
                   "ROZHRAN\xED=KV-3380\n"  //
                   "rychlost=19200\n"       //
                   "[kv-3380]\n"            //
                   "UDP port=abc\n"         // not a number
                   "ip ADRESA=127.0.0.3");  // no final line end
    ConnectionSettings s = Defaults();
    ASSERT_TRUE(LoadSettings(&s, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(s.interfaceKind, 6);
    EXPECT_EQ(s.moduleAddress, 0);
    EXPECT_EQ(s.baudRate, 19200u);
    EXPECT_EQ(s.kvUdpPort, 5000);
    EXPECT_EQ(s.kvIpAddress, "127.0.0.3");

    s.kvUdpPort = 6000;
    ASSERT_TRUE(SaveSettings(&s, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(ReadBytes(dir.File("W_kv3380u.ini")),
              garbage + "\r\n[P\xF8IPOJEN\xED]\r\n" + overlong +
                  // The line without "=" is the key as the profile functions read it: it
                  // takes the value, where a second key of the name would go unread.
                  "\r\nAdresa=0\r\n" + kKind +
                  "=KV-3380\r\nRychlost=19200\r\n"
                  "[kv-3380]\r\nUDP port=6000\r\nIP adresa=127.0.0.3\r\nUDP timeout=1000\r\n");
}

TEST(DeklTest, FileAsAWindowsEditorSavesItLoadsAndStaysInItsEncoding) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    // UTF-8 with a byte-order mark, quotation marks around a text, a key the program
    // does not know with a character code page 1250 lacks.
    const std::string other = "Pozn\xC3\xA1mka=\xE2\x98\x83\r\n";
    WriteBytes(dir.File("W_kv3380u.ini"),
               "\xEF\xBB\xBF[P\xC5\x99ipojen\xC3\xAD]\r\nRozhran\xC3\xAD=USBVx\r\n" + other +
                   "[USBVx]\r\nV\xC3\xBDrobn\xC3\xAD \xC4\x8D\xC3\xADslo = \" \xC5\xA0 1 \"\r\n");
    ConnectionSettings s = Defaults();
    ASSERT_TRUE(LoadSettings(&s, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(s.interfaceKind, 0);
    EXPECT_EQ(s.usbSerial, " Š 1 ");

    s.usbSerial = "Ž2";
    ASSERT_TRUE(SaveSettings(&s, dir.File("W_kv3380u.ini")));
    const std::string saved = ReadBytes(dir.File("W_kv3380u.ini"));
    EXPECT_EQ(saved.rfind("\xEF\xBB\xBF[P\xC5\x99ipojen\xC3\xAD]\r\n", 0), 0u);
    EXPECT_NE(saved.find(other), std::string::npos);
    EXPECT_NE(saved.find("V\xC3\xBDrobn\xC3\xAD \xC4\x8D\xC3\xADslo=\xC5\xBD"
                         "2\r\n"),
              std::string::npos);
    ConnectionSettings again = Defaults();
    ASSERT_TRUE(LoadSettings(&again, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(again.usbSerial, "Ž2");
}

TEST(DeklTest, UnreadableFileIsNeverOverwritten) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const ConnectionSettings s = Defaults();

    // Too large to be settings.
    const std::string big = WithMain("") + std::string(2 * 1024 * 1024, ';');
    WriteBytes(dir.File("W_kv3380u.ini"), big);
    ConnectionSettings loaded = Changed(1);
    EXPECT_FALSE(LoadSettings(&loaded, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(loaded.interfaceKind, 1);
    EXPECT_FALSE(SaveSettings(&s, dir.File("W_kv3380u.ini")));
    EXPECT_EQ(ReadBytes(dir.File("W_kv3380u.ini")), big);

    // A folder in its place.
    ScratchFolder other;
    ASSERT_TRUE(other.Ok());
    ASSERT_TRUE(
        std::filesystem::create_directory(kv::testing::PathOf(other.File("W_kv3380u.ini"))));
    EXPECT_FALSE(SaveSettings(&s, other.File("W_kv3380u.ini")));
}

#ifndef _WIN32  // permissions; tests/windows has the Windows side
TEST(DeklTest, FileWithoutReadPermissionIsNotOverwritten) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    const std::string path = dir.File("W_kv3380u.ini");
    const std::string old = WithMain("Adresa=5\r\n") + "[Mine]\r\nkeep=1\r\n";
    WriteBytes(path, old);
    ASSERT_EQ(::chmod(path.c_str(), 0222), 0);  // writable, but not readable
    const auto outcome = RunUnprivileged([&] {
        ConnectionSettings s;
        SetDefaults(&s);
        return SaveSettings(&s, path);
    });
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(*outcome);
    EXPECT_EQ(ReadBytes(path), old);
}

TEST(DeklTest, SaveIntoReadOnlyFolderFailsAndKeepsTheOldFile) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string path = dir.File("W_kv3380u.ini");
    const std::string old = WithMain("Adresa=5\r\n");
    WriteBytes(path, old);
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    const auto outcome = RunUnprivileged([&] {
        ConnectionSettings s;
        SetDefaults(&s);
        s.moduleAddress = 99;
        return SaveSettings(&s, path);
    });
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(*outcome);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(dir.EntryCount(), 1u);
}
#endif

TEST(DeklTest, TextWithLineBreakFailsTheSaveAndKeepsTheFile) {
    ScratchFolder dir;
    ASSERT_TRUE(dir.Ok());
    const std::string path = dir.File("W_kv3380u.ini");
    const std::string old = WithMain("Adresa=5\r\n");
    WriteBytes(path, old);
    ConnectionSettings s = Defaults();
    s.usbSerial = "0001\r\n[Injected]";
    EXPECT_FALSE(SaveSettings(&s, path));
    EXPECT_EQ(ReadBytes(path), old);
}

}  // namespace
