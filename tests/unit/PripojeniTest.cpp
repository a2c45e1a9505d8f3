#include <gtest/gtest.h>

#include <limits>

#include "connection/Pripojeni.h"
#include "tests/support/DistinctSettings.h"

namespace kv {
namespace {

using testing::DistinctSettings;

TEST(SpeedTable, ListTextsNameTheRateOfTheirCode) {
    EXPECT_STREQ(kSpeedTexts[0], "600 Bd");
    EXPECT_STREQ(kSpeedTexts[8], "115200 Bd");
    for (std::uint8_t code = 0; code < 9; ++code) {
        EXPECT_EQ(kSpeedTexts[code], std::to_string(BaudRateFromIndex(code)) + " Bd") << +code;
    }
}

TEST(SpeedTable, CodesBeyondTheListStillConvert) {
    EXPECT_EQ(BaudRateFromIndex(0), 600u);
    EXPECT_EQ(BaudRateFromIndex(8), 115200u);
    EXPECT_EQ(BaudRateFromIndex(9), 230400u);
    EXPECT_EQ(BaudRateFromIndex(10), 460800u);
    EXPECT_EQ(BaudRateFromIndex(11), 9600u);
    EXPECT_EQ(BaudRateFromIndex(255), 9600u);
}

TEST(SpeedTable, RateToCodeInvertsEveryRowAndFallsBackTo9600) {
    for (std::uint8_t code = 0; code <= 10; ++code) {
        EXPECT_EQ(BaudIndexFromRate(static_cast<std::int32_t>(BaudRateFromIndex(code))), code);
    }
    EXPECT_EQ(BaudIndexFromRate(230400), 9);
    for (std::int32_t rate : {0, -1, 100, 9601, -600, std::numeric_limits<std::int32_t>::min(),
                              std::numeric_limits<std::int32_t>::max()}) {
        EXPECT_EQ(BaudIndexFromRate(rate), 4) << rate;
    }
}

TEST(SpeedTable, ReplyTimeoutPerCode) {
    const std::uint32_t expected[9] = {1000, 1000, 500, 250, 200, 150, 100, 100, 100};
    for (std::uint32_t code = 0; code < 9; ++code) {
        EXPECT_EQ(ReplyTimeoutFromIndex(code), expected[code]) << code;
    }
    // Codes 9 and 10 have a speed but no time-out of their own.
    EXPECT_EQ(ReplyTimeoutFromIndex(9), 200u);
    EXPECT_EQ(ReplyTimeoutFromIndex(10), 200u);
    EXPECT_EQ(ReplyTimeoutFromIndex(255), 200u);
    EXPECT_EQ(ReplyTimeoutFromIndex(0xFFFFFFFFu), 200u);
}

TEST(BaseAddressText, UpperCaseHexAtLeastThreeDigits) {
    EXPECT_EQ(BaseAddressText(768), "300h");
    EXPECT_EQ(BaseAddressText(672), "2A0h");
    EXPECT_EQ(BaseAddressText(0), "000h");
    EXPECT_EQ(BaseAddressText(0xF), "00Fh");
    EXPECT_EQ(BaseAddressText(0xFFFF), "FFFFh");
}

void ExpectRow(const KindRow& row, const char* caption, const std::string& value) {
    EXPECT_TRUE(row.shown) << caption;
    EXPECT_EQ(row.caption, caption);
    EXPECT_EQ(row.value, value) << caption;
}

TEST(LayoutForKind, UsbDetectionRows) {
    auto s = DistinctSettings();
    auto l = LayoutForKind(0, s);
    ExpectRow(l.first, "Detekce zařízení", "");
    EXPECT_TRUE(l.firstIsDetectionList);
    EXPECT_EQ(l.detectionPosition, 0);
    ExpectRow(l.second, "Výrobní číslo", "SN-usb");
    EXPECT_FALSE(l.second.editable);
    ExpectRow(l.third, "USB timeout [ms]", "11");
    EXPECT_FALSE(l.addressAndSpeedShown);

    // The list has one entry; only the lowest bit picks the position, any non-zero mode
    // lets the operator type a serial number.
    struct Case {
        std::int32_t detection;
        int position;
    };
    for (Case c : {Case{1, 1}, Case{2, 0}, Case{-1, 1}, Case{3, 1}}) {
        s.usbDetection = c.detection;
        l = LayoutForKind(0, s);
        EXPECT_EQ(l.detectionPosition, c.position) << c.detection;
        EXPECT_TRUE(l.second.editable) << c.detection;
    }
}

TEST(LayoutForKind, UdpKindsShowTheirOwnFields) {
    const auto s = DistinctSettings();
    auto l1 = LayoutForKind(1, s);
    ExpectRow(l1.first, "Cílová IP adresa", "10.0.0.1");
    ExpectRow(l1.second, "Cílový port", "12");
    ExpectRow(l1.third, "LAN timeout [ms]", "14");
    EXPECT_TRUE(l1.second.editable);
    EXPECT_FALSE(l1.firstIsDetectionList);
    EXPECT_FALSE(l1.addressAndSpeedShown);

    auto l6 = LayoutForKind(6, s);
    ExpectRow(l6.first, "IP adresa", "10.0.0.6");
    ExpectRow(l6.second, "UDP port", "16");
    ExpectRow(l6.third, "UDP timeout [ms]", "17");
    EXPECT_TRUE(l6.addressAndSpeedShown);

    auto l7 = LayoutForKind(7, s);
    ExpectRow(l7.first, "IP adresa", "10.0.0.7");
    ExpectRow(l7.second, "UDP port", "18");
    ExpectRow(l7.third, "UDP timeout [ms]", "19");
    EXPECT_FALSE(l7.addressAndSpeedShown);
}

TEST(LayoutForKind, NumbersShowUnsigned) {
    auto s = DistinctSettings();
    s.kvUdpPort = -1;
    EXPECT_EQ(LayoutForKind(6, s).second.value, "4294967295");
}

TEST(LayoutForKind, OneRowKinds) {
    const auto s = DistinctSettings();
    auto l2 = LayoutForKind(2, s);
    ExpectRow(l2.first, "Číslo portu COMx", "15");
    EXPECT_FALSE(l2.second.shown);
    EXPECT_FALSE(l2.third.shown);
    EXPECT_TRUE(l2.addressAndSpeedShown);

    auto l3 = LayoutForKind(3, s);
    ExpectRow(l3.first, "Bázová adresa PCI-380", "2A0h");
    EXPECT_FALSE(l3.second.shown);
    EXPECT_FALSE(l3.third.shown);
    EXPECT_TRUE(l3.addressAndSpeedShown);
}

TEST(LayoutForKind, KindsWithoutParametersAndUnknownKinds) {
    const auto s = DistinctSettings();
    for (std::uint8_t kind : {4, 5}) {
        auto l = LayoutForKind(kind, s);
        EXPECT_FALSE(l.first.shown || l.second.shown || l.third.shown) << +kind;
        EXPECT_TRUE(l.addressAndSpeedShown) << +kind;
    }
    for (std::uint8_t kind : {8, 255}) {
        auto l = LayoutForKind(kind, s);
        EXPECT_FALSE(l.first.shown || l.second.shown || l.third.shown || l.addressAndSpeedShown)
            << +kind;
        EXPECT_FALSE(l.firstIsDetectionList);
    }
}

TEST(AddressForStatusPanel, AddressThatReachesTheModule) {
    auto s = DistinctSettings();
    const std::pair<std::uint8_t, std::string> expected[] = {
        {0, ""}, {1, "10.0.0.1"}, {2, "COM15"},    {3, "2A0h"}, {4, ""},
        {5, ""}, {6, "10.0.0.6"}, {7, "10.0.0.7"}, {255, ""},
    };
    for (const auto& [kind, text] : expected) {
        s.interfaceKind = kind;
        EXPECT_EQ(AddressForStatusPanel(s), text) << +kind;
    }
}

}  // namespace
}  // namespace kv
