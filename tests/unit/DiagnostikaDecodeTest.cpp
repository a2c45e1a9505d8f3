// The status replies as the module sends them, byte per word, decoded into what the
// diagnostics window shows.

#include <gtest/gtest.h>

#include <string>

#include "diagnostics/Diagnostika.h"
#include "diagnostics/StatusReader.h"
#include "tests/support/Hex.h"

namespace kv {
namespace {

using testing::FromHex;

// A reply buffer whose words from 0 on hold the bytes of the hex text.
DataBuffer Reply(const std::string& hex) {
    DataBuffer data{};
    const auto bytes = FromHex(hex);
    EXPECT_FALSE(bytes.empty()) << "bad literal";
    EXPECT_LE(bytes.size(), data.size());
    for (std::size_t i = 0; i < bytes.size() && i < data.size(); ++i) data[i] = bytes[i];
    return data;
}

// A module status reply with every field set.
const std::string kModuleReply =
    "00000000"                        // 0-3 parameter words
    "78563412"                        // 4-7 seconds since power-on: 0x12345678
    "e8030000"                        // 8-11 allowed accesses: 1000
    "ffffffff"                        // 12-15 denied accesses: 4294967295
    "4b562d3333383055"                // 16-23 type "KV-3380U"
    "312e3230"                        // 24-27 version "1.20"
    "534e313233343536"                // 28-35 serial "SN123456"
    "01"                              // 36 operating mode: setup
    "ff00000000000000000000000000ff"  // 37-51 not read
    "c0a80101ffffff00c0a801fe"        // 52-63 setup IP, mask, gateway
    "c0a80063ffff0000c0a8007b"        // 64-75 working IP, mask, gateway
    "000aff0102ab"                    // 76-81 MAC
    "ffff"                            // 82-83 not read
    "80250000"                        // 84-87 baud rate 9600
    "6400"                            // 88-89 timeout 100 ms
    "ffff"                            // 90-91 not read
    "03000000"                        // 92-95 messages
    "02000000"                        // 96-99 errors
    // 100-179 error records: code, interface, user, address, function, peripheral,
    // command, duration (2), repetitions, time stamp (4), 2 words not read. Newest first.
    "16 02 03 24 cc 10 00 e803 01 a0860100 ffff"
    "0b 01 00 05 c8 00 01 0500 00 10270000 ffff"
    "ff 03 03 ff ff ff ff ffff ff ffffffff ffff"
    "00 00 00 00 00 00 00 0000 00 00000000 ffff"
    "01 00 00 00 00 00 00 0000 00 01000000 ffff";

TEST(StatusReaderTest, LowByteOfEachWordLowByteFirstAndTextsEndingAtZero) {
    DataBuffer data = Reply("8a 61 e8 6b 61 00 41 42");  // "Šačka", a zero, "AB"
    data[10] = 0x1FF;                                    // only the low 8 bits carry the byte
    data[11] = 0x02;
    data[12] = 0x03;
    data[13] = 0x84;
    data[299] = 0x12;
    const StatusReader in(data);
    EXPECT_EQ(in.U16(10), 0x02FF);
    EXPECT_EQ(in.U32(10), 0x840302FFu);
    EXPECT_EQ(in.Ipv4(10), "255.2.3.132");
    EXPECT_EQ(in.U32(298), 0x1200u) << "nothing is read past the buffer";
    EXPECT_EQ(in.Text(0, 8), "Šačka");
    EXPECT_EQ(in.Text(1, 2), "ač") << "no more than the width";
    EXPECT_EQ(in.Text(5, 3), "");
}

TEST(DecodeModuleStatusTest, EveryValueOfAFullReply) {
    ASSERT_EQ(FromHex(kModuleReply).size(), 180u) << "words 0-179";
    const ModuleStatusView view = DecodeModuleStatus(Reply(kModuleReply));
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

TEST(DecodeModuleStatusTest, BaudRateOnlyOnceMessagesWentAndTheWorkingMode) {
    std::string reply = kModuleReply;
    reply.replace(2 * 92, 8, "00000000");  // no message yet, 9600 still in words 84-87
    reply.replace(2 * 36, 2, "00");
    reply.replace(2 * 16, 16, "4b5600ff41424344");  // "KV", a zero, then more bytes
    ModuleStatusView view = DecodeModuleStatus(Reply(reply));
    EXPECT_EQ(view.rs485, (std::array<std::string, 4>{"0", "100", "0", "2"}));
    EXPECT_EQ(view.overview[4], "pracovní");
    EXPECT_EQ(view.overview[0], "KV");
    // A count of 256 has a zero low byte; the whole count decides. Any mode but 0 is setup.
    reply.replace(2 * 92, 8, "00010000");
    reply.replace(2 * 36, 2, "80");
    view = DecodeModuleStatus(Reply(reply));
    EXPECT_EQ(view.rs485[0], "9600");
    EXPECT_EQ(view.overview[4], "setup");
}

// One VLAN record of 80 words.
std::string VlanRecord(const std::string& port, const std::string& mode,
                       const std::string& remaining, const std::string& users) {
    return port + mode + remaining +
           "d0070000"  // 7-10 maximum validity 2000 ms
           "15000000"  // 11-14 allowed 21
           "0c000000"  // 15-18 denied 12
           "0a000007"  // 19-22 last denied address 10.0.0.7
           "8813"      // 23-24 its port 5000
           "2c010000"  // 25-28 its time 300 s
           "ffffff" +  // 29-31 not read
           users;
}

std::string User(const std::string& ip, const std::string& port, const std::string& allowed,
                 const std::string& last) {
    return ip + port + allowed + last + "ffff";
}

const std::string kUsersA = User("c0a80a01", "3930", "01000000", "02000000") +
                            User("c0a80a02", "3a30", "03000000", "04000000") +
                            User("c0a80a03", "3b30", "05000000", "06000000");
const std::string kUsersB = User("0a010203", "d204", "40e20100", "ffffffff") +
                            User("00000000", "0000", "00000000", "00000000") +
                            User("7f000001", "ffff", "ffffffff", "01000000");

// VLAN1 in the timer mode, VLAN2 in the table mode with other users, VLAN3 off.
const std::string kVlanReply = "00000000" + VlanRecord("8813", "01", "dc050000", kUsersA) +
                               VlanRecord("8913", "02", "00000000", kUsersB) +
                               VlanRecord("8a13", "00", "01000000", kUsersA);

TEST(DecodeVlanStatusTest, TimerModeRecordOfVlan1) {
    ASSERT_EQ(FromHex(kVlanReply).size(), 244u) << "words 0-243";
    const VlanStatusView view = DecodeVlanStatus(Reply(kVlanReply), kv::Vlan::FromIndex(0), ",");
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
    const DataBuffer reply = Reply(kVlanReply);
    // VLAN2: the port in words 84-85, the first user's address in 116-119.
    ASSERT_EQ(reply[84], 0x89u);
    ASSERT_EQ(reply[116], 10u);
    const VlanStatusView second = DecodeVlanStatus(reply, kv::Vlan::FromIndex(1), ".");
    EXPECT_EQ(second.values[0], "5001");
    EXPECT_EQ(second.values[1], "tabulka uživatelů");
    EXPECT_EQ(second.values[2], "0.000");
    using Row = std::array<std::string, 3>;
    EXPECT_EQ(second.users,
              (GridCells<4, 3>{Row{"10.1.2.3", "0.0.0.0", "127.0.0.1"}, Row{"1234", "0", "65535"},
                               Row{"123456", "0", "4294967295"}, Row{"4294967295", "0", "1"}}));
    DataBuffer alone{};
    std::copy(reply.begin() + 84, reply.begin() + 164, alone.begin() + 84);
    EXPECT_EQ(DecodeVlanStatus(alone, kv::Vlan::FromIndex(1), "."), second)
        << "words outside the record do not count";
    EXPECT_EQ(DecodeVlanStatus(reply, kv::Vlan::FromIndex(2), ".").values[0], "5002");

    const VlanStatusView first = DecodeVlanStatus(reply, kv::Vlan::FromIndex(0), ",");
    for (int index : {-1, 3, 5, -2147483647 - 1})
        EXPECT_EQ(DecodeVlanStatus(reply, kv::Vlan::FromIndex(index), ","), first);
    EXPECT_EQ(DiagnosticsCaption(kv::Vlan::FromIndex(5)),
              " Diagnostika komunikačního rozhraní VLAN1");
    EXPECT_EQ(DiagnosticsCaption(kv::Vlan::FromIndex(2)),
              " Diagnostika komunikačního rozhraní VLAN3");
    EXPECT_EQ(VlanGroupCaption(kv::Vlan::FromIndex(1)), " Rozhraní VLAN2 ");
}

TEST(DecodeVlanStatusTest, HeadingsAndShadesFollowTheModeByte) {
    std::string reply = kVlanReply;
    auto withMode = [&](const char* mode) {
        reply.replace(2 * 6, 2, mode);
        return DecodeVlanStatus(Reply(reply), kv::Vlan::FromIndex(0), ",");
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
    std::string reply = kVlanReply;
    auto values = [&](const char* remaining, const char* maximum, const char* separator) {
        reply.replace(2 * 7, 8, remaining);
        reply.replace(2 * 11, 8, maximum);
        const VlanStatusView view =
            DecodeVlanStatus(Reply(reply), kv::Vlan::FromIndex(0), separator);
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
