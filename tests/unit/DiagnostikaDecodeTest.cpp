// The status replies as the module sends them, byte per word, decoded into typed values
// and written as the diagnostics window shows them; and the replies as the emulator
// writes them from the same values.

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "diagnostics/Diagnostika.h"
#include "tests/support/Hex.h"
#include "tests/support/StatusReplyHex.h"

namespace kv {
namespace {

using testing::FromHex;
using testing::ModuleStatusReplyHex;
using testing::VlanStatusReplyHex;

DataBuffer Reply(const std::string& hex) {
    EXPECT_FALSE(FromHex(hex).empty()) << "bad literal";
    return testing::ReplyOfHex(hex);
}

using Bytes = std::array<std::uint8_t, kStatusReplyWords>;
Bytes BytesOf(const std::string& hex) {
    Bytes bytes{};
    const auto parsed = FromHex(hex);
    EXPECT_LE(parsed.size(), bytes.size());
    std::copy_n(parsed.begin(), std::min(parsed.size(), bytes.size()), bytes.begin());
    return bytes;
}

ModuleStatus GoldenModuleStatus() {
    ModuleStatus s;
    s.uptimeS = 0x12345678;
    s.allowedTotal = 1000;
    s.deniedTotal = 4294967295;
    s.type = "KV-3380U";
    s.version = "1.20";
    s.serial = "SN123456";
    s.operatingMode = 1;
    s.setup = {{192, 168, 1, 1}, {255, 255, 255, 0}, {192, 168, 1, 254}};
    s.working = {{192, 168, 0, 99}, {255, 255, 0, 0}, {192, 168, 0, 123}};
    s.mac = {0x00, 0x0a, 0xff, 0x01, 0x02, 0xab};
    s.busBaudRate = 9600;
    s.busTimeoutMs = 100;
    s.busMessages = 3;
    s.busErrors = 2;
    s.errors = {BusErrorRecord{22, 2, 3, 36, 204, 16, 0, 1000, 1, 100000},
                BusErrorRecord{11, 1, 0, 5, 200, 0, 1, 5, 0, 10000},
                BusErrorRecord{255, 3, 3, 255, 255, 255, 255, 65535, 255, 4294967295},
                BusErrorRecord{}, BusErrorRecord{1, 0, 0, 0, 0, 0, 0, 0, 0, 1}};
    return s;
}

// VLAN1 of the golden VLAN status reply.
VlanStatus GoldenVlan1Status() {
    VlanStatus s;
    s.port = 5000;
    s.mode = 1;
    s.remainingValidityMs = 1500;
    s.maxValidityMs = 2000;
    s.allowed = 21;
    s.denied = 12;
    s.lastDeniedIp = {10, 0, 0, 7};
    s.lastDeniedPort = 5000;
    s.lastDeniedTimeS = 300;
    s.users = {VlanUserStatus{{192, 168, 10, 1}, 12345, 1, 2},
               VlanUserStatus{{192, 168, 10, 2}, 12346, 3, 4},
               VlanUserStatus{{192, 168, 10, 3}, 12347, 5, 6}};
    return s;
}

TEST(DecodeModuleStatusTest, TheLowByteOfEachWordAndTextsInCodePage1250EndingAtZero) {
    std::string hex = ModuleStatusReplyHex();
    hex.replace(2 * 16, 16, "8a61e86b61004142");  // "Šačka", a zero, "AB"
    DataBuffer data = Reply(hex);
    data[4] = 0x1FF;  // only the low 8 bits carry the byte
    data[5] = 0xA02;
    data[28] = 0x100;  // a zero byte: no serial at all
    const ModuleStatus status = DecodeModuleStatus(data);
    EXPECT_EQ(status.uptimeS, 0x123402FFu);
    EXPECT_EQ(status.type, "Šačka");
    EXPECT_EQ(status.serial, "");
    EXPECT_EQ(status.version, "1.20") << "no more than the width";

    // Bytes past the end of a reply read as 0.
    const Bytes full = BytesOf(ModuleStatusReplyHex());
    const ModuleStatus cut = ReadModuleStatus(std::span(full).first(18));
    EXPECT_EQ(cut.uptimeS, 0x12345678u);
    EXPECT_EQ(cut.deniedTotal, 4294967295u);
    EXPECT_EQ(cut.type, "KV") << "up to the end";
    EXPECT_EQ(cut.working.ip, (Ip4{}));
    EXPECT_EQ(cut.errors[4].timestampMs, 0u);
}

TEST(DecodeModuleStatusTest, EveryValueOfAFullReply) {
    ASSERT_EQ(FromHex(ModuleStatusReplyHex()).size(), 180u) << "words 0-179";
    const ModuleStatus status = DecodeModuleStatus(Reply(ModuleStatusReplyHex()));
    EXPECT_EQ(status, GoldenModuleStatus());

    const ModuleStatusView view = FormatModuleStatus(status);
    EXPECT_EQ(view.overview,
              (std::array<std::string, 8>{"KV-3380U", "1.20", "SN123456", "00-0A-FF-01-02-AB",
                                          "setup", "305419896", "1000", "4294967295"}));
    using Row = std::array<std::string, 2>;
    EXPECT_EQ(view.network, (GridCells<3, 2>{Row{"192.168.1.1", "192.168.0.99"},
                                             Row{"255.255.255.0", "255.255.0.0"},
                                             Row{"192.168.1.254", "192.168.0.123"}}));
    EXPECT_EQ(view.rs485, (std::array<std::string, 4>{"9600", "100", "3", "2"}));
    auto column = [&](std::size_t k) {
        std::array<std::string, 9> out;
        for (std::size_t row = 0; row < 9; ++row) out[row] = view.errors[row][k];
        return out;
    };
    using Column = std::array<std::string, 9>;
    EXPECT_EQ(column(0), (Column{"22", "2 / 3", "36", "204", "16", "0", "1000", "1", "100000"}));
    EXPECT_EQ(column(1), (Column{"11", "1 / 0", "5", "200", "0", "1", "5", "0", "10000"}));
    EXPECT_EQ(column(2),
              (Column{"255", "3 / 3", "255", "255", "255", "255", "65535", "255", "4294967295"}));
    EXPECT_EQ(column(4), (Column{"1", "0 / 0", "0", "0", "0", "0", "0", "0", "1"}));
}

// The emulator writes its replies with the layout the program reads them with: the values
// land exactly in the words the golden reply has them in, and nothing else is written.
TEST(WriteStatusTest, TheGoldenValuesWriteTheGoldenRepliesWordForWord) {
    Bytes module{};
    WriteModuleStatus(GoldenModuleStatus(), module);
    EXPECT_EQ(testing::Hex(module), testing::Hex(BytesOf(ModuleStatusReplyHex("00"))));

    Bytes vlan{};
    const Bytes golden = BytesOf(VlanStatusReplyHex("00"));
    for (int v = 0; v < kVlanCount; ++v)
        WriteVlanStatus(ReadVlanStatus(golden, Vlan::FromIndex(v)), Vlan::FromIndex(v), vlan);
    EXPECT_EQ(testing::Hex(vlan), testing::Hex(golden));
    EXPECT_EQ(ReadVlanStatus(golden, Vlan::FromIndex(0)), GoldenVlan1Status());

    // Words that carry nothing keep what the buffer held.
    Bytes kept = BytesOf(ModuleStatusReplyHex("ff"));
    WriteModuleStatus(GoldenModuleStatus(), kept);
    EXPECT_EQ(testing::Hex(kept), testing::Hex(BytesOf(ModuleStatusReplyHex("ff"))));
}

TEST(WriteStatusTest, TextsGoOutInCodePage1250CutToTheirWidthAndEndedByZeros) {
    ModuleStatus status;
    status.type = "Šačka-XYZ";  // nine characters into eight words
    status.version = "1.2";
    status.serial = "€";  // a character of the code page outside Latin-1
    Bytes bytes;
    bytes.fill(0xEE);
    WriteModuleStatus(status, bytes);
    EXPECT_EQ(testing::Hex(bytes.data() + 16, 20),
              "8a61e86b612d5859"
              "312e3200"
              "8000000000000000");
    const ModuleStatus back = ReadModuleStatus(bytes);
    EXPECT_EQ(back.type, "Šačka-XY");
    EXPECT_EQ(back.version, "1.2");
    EXPECT_EQ(back.serial, "€");
}

TEST(DecodeModuleStatusTest, BaudRateOnlyOnceMessagesWentAndTheWorkingMode) {
    std::string reply = ModuleStatusReplyHex();
    reply.replace(2 * 92, 8, "00000000");  // no message yet, 9600 still in words 84-87
    reply.replace(2 * 36, 2, "00");
    reply.replace(2 * 16, 16, "4b5600ff41424344");  // "KV", a zero, then more bytes
    ModuleStatusView view = FormatModuleStatus(DecodeModuleStatus(Reply(reply)));
    EXPECT_EQ(view.rs485, (std::array<std::string, 4>{"0", "100", "0", "2"}));
    EXPECT_EQ(view.overview[4], "pracovní");
    EXPECT_EQ(view.overview[0], "KV");
    // A count of 256 has a zero low byte; the whole count decides. Any mode but 0 is setup.
    reply.replace(2 * 92, 8, "00010000");
    reply.replace(2 * 36, 2, "80");
    view = FormatModuleStatus(DecodeModuleStatus(Reply(reply)));
    EXPECT_EQ(view.rs485[0], "9600");
    EXPECT_EQ(view.overview[4], "setup");
}

// The VLAN status reply of one interface as the window shows it.
VlanStatusView Shown(const DataBuffer& reply, int index, const std::string& separator) {
    return FormatVlanStatus(DecodeVlanStatus(reply, Vlan::FromIndex(index)), separator);
}

TEST(DecodeVlanStatusTest, TimerModeRecordOfVlan1) {
    ASSERT_EQ(FromHex(VlanStatusReplyHex()).size(), 244u) << "words 0-243";
    const VlanStatusView view = Shown(Reply(VlanStatusReplyHex()), 0, ",");
    EXPECT_EQ(view.values,
              (std::array<std::string, 8>{"5000", "časovač platnosti IP adresy", "1,500", "2", "21",
                                          "12", "10.0.0.7:5000", "300"}));
    using Row = std::array<std::string, 3>;
    EXPECT_EQ(view.userHeadings, (Row{"Uživatel", "Uživatel -1", "Uživatel -2"}));
    EXPECT_EQ(view.users, (GridCells<4, 3>{Row{"192.168.10.1", "192.168.10.2", "192.168.10.3"},
                                           Row{"12345", "12346", "12347"}, Row{"1", "3", "5"},
                                           Row{"2", "4", "6"}}));
    EXPECT_EQ(view.shades, (VlanShades{Shade::kBlue, Shade::kBlue, Shade::kWindowText}));
}

TEST(DecodeVlanStatusTest, EachIndexReadsItsOwnRecordOnlyAndOthersReadVlan1) {
    const DataBuffer reply = Reply(VlanStatusReplyHex());
    // VLAN2: the port in words 84-85, the first user's address in 116-119.
    ASSERT_EQ(reply[84], 0x89u);
    ASSERT_EQ(reply[116], 10u);
    const VlanStatusView second = Shown(reply, 1, ".");
    EXPECT_EQ(second.values[0], "5001");
    EXPECT_EQ(second.values[1], "tabulka uživatelů");
    EXPECT_EQ(second.values[2], "0.000");
    using Row = std::array<std::string, 3>;
    EXPECT_EQ(second.users,
              (GridCells<4, 3>{Row{"10.1.2.3", "0.0.0.0", "127.0.0.1"}, Row{"1234", "0", "65535"},
                               Row{"123456", "0", "4294967295"}, Row{"4294967295", "0", "1"}}));
    DataBuffer alone{};
    std::copy(reply.begin() + 84, reply.begin() + 164, alone.begin() + 84);
    EXPECT_EQ(DecodeVlanStatus(alone, Vlan::FromIndex(1)),
              DecodeVlanStatus(reply, Vlan::FromIndex(1)))
        << "words outside the record do not count";
    EXPECT_EQ(Shown(reply, 2, ".").values[0], "5002");

    const VlanStatusView first = Shown(reply, 0, ",");
    for (int index : {-1, 3, 5, -2147483647 - 1}) EXPECT_EQ(Shown(reply, index, ","), first);
    EXPECT_EQ(DiagnosticsCaption(kv::Vlan::FromIndex(5)),
              " Diagnostika komunikačního rozhraní VLAN1");
    EXPECT_EQ(DiagnosticsCaption(kv::Vlan::FromIndex(2)),
              " Diagnostika komunikačního rozhraní VLAN3");
    EXPECT_EQ(VlanGroupCaption(kv::Vlan::FromIndex(1)), " Rozhraní VLAN2 ");
}

TEST(DecodeVlanStatusTest, HeadingsAndShadesFollowTheModeByte) {
    std::string reply = VlanStatusReplyHex();
    auto withMode = [&](const char* mode) {
        reply.replace(2 * 6, 2, mode);
        return Shown(Reply(reply), 0, ",");
    };
    using Row = std::array<std::string, 3>;
    EXPECT_EQ(withMode("01").userHeadings, (Row{"Uživatel", "Uživatel -1", "Uživatel -2"}));
    const VlanStatusView table = withMode("02");
    EXPECT_EQ(table.userHeadings, (Row{"Uživatel 1", "Uživatel 2", "Uživatel 3"}));
    EXPECT_EQ(table.shades, (VlanShades{Shade::kGrey, Shade::kBlue, Shade::kWindowText}));
    const VlanStatusView off = withMode("00");
    EXPECT_EQ(off.values[1], "vypnuto");
    EXPECT_EQ(off.userHeadings, table.userHeadings);
    EXPECT_EQ(off.shades, (VlanShades{Shade::kGrey, Shade::kGrey, Shade::kGrey}));
    // Every other value is the table mode, in its text and its colours.
    const VlanStatusView odd = withMode("ff");
    EXPECT_EQ(odd.values[1], "tabulka uživatelů");
    EXPECT_EQ(odd.shades, table.shades);
}

TEST(DecodeVlanStatusTest, ValidityTimesInSeconds) {
    std::string reply = VlanStatusReplyHex();
    auto values = [&](const char* remaining, const char* maximum, const char* separator) {
        reply.replace(2 * 7, 8, remaining);
        reply.replace(2 * 11, 8, maximum);
        const VlanStatusView view = Shown(Reply(reply), 0, separator);
        return view.values[2] + " " + view.values[3];
    };
    EXPECT_EQ(values("dc050000", "cf070000", "."), "1.500 1") << "1500 ms, 1999 ms";
    EXPECT_EQ(values("07000000", "e7030000", ","), "0,007 0");
    EXPECT_EQ(values("ffc99a3b", "ffffffff", ","), "999999,999 4294967") << "six digits";
    // From seven digits before the separator on: the exponent form.
    EXPECT_EQ(values("00ca9a3b", "00000000", ","), "1,000e+06 0");
    EXPECT_EQ(values("ffffffff", "00000000", "."), "4.295e+06 0");
    EXPECT_EQ(SecondsFromMilliseconds(1234499999, ","), "1,234e+06");
    EXPECT_EQ(SecondsFromMilliseconds(1999999500, ","), "2,000e+06") << "carry into the units";
    // A separator of several bytes (U+066B ARABIC DECIMAL SEPARATOR) is kept whole.
    EXPECT_EQ(SecondsFromMilliseconds(2250, "\xd9\xab"),
              "2\xd9\xab"
              "250");
}

}  // namespace
}  // namespace kv
