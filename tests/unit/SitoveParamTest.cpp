// The network parameters editor's block and checks.

#include <gtest/gtest.h>

#include "editors/SitoveParam.h"
#include "tests/support/Hex.h"

namespace kv {
namespace {

using testing::FromHex;
using testing::Hex;
using testing::Zeros;

TEST(SitoveParam, TheDefaultAddressesGoIntoBytes1To12WithChecksum85) {
    ModuleConfig config = DefaultModuleConfig();
    config.bytes[ModuleConfig::kAddress] = 0x77;  // not part of this block
    EXPECT_EQ(Hex(EncodeNetworkParameters(config)),
              "00c0a80063ffffff00c0a8007b" + Zeros(242) + "55");
}

TEST(SitoveParam, ReadExampleShowsTheThreeAddresses) {
    ConfigBlock block{};
    const auto bytes = FromHex("ee 0a000005 ffff0000 0a000001");
    std::copy(bytes.begin(), bytes.end(), block.begin());
    ModuleConfig config = DefaultModuleConfig();
    DecodeNetworkParameters(block, config);
    std::string shown;
    for (const FieldState& f : ShowFields(NetworkParamEditor(), config)) {
        shown += f.text + (f.enabled ? "," : "(disabled),");
    }
    EXPECT_EQ(shown, "10,0,0,5,255,255,0,0,10,0,0,1,");
}

TEST(SitoveParam, AnEmptyMaskOctetFailsAfterTheAddressIsStored) {
    ModuleConfig copy = DefaultModuleConfig();
    FieldStates fields;
    for (const char* t : {"10", "1", "2", "3", "255", "", "0", "0", "9", "9", "9", "9"})
        fields.push_back({t, -1, true});
    const CheckOutcome out = PrectiOkno(NetworkParamEditor(), fields, copy, {});
    EXPECT_EQ(out.status, " Hodnoty masky musí být v rozsahu 0-255.");
    // The address and the first mask octet are in, the gateway is not.
    EXPECT_EQ(Hex(copy.bytes.data() + ModuleConfig::kIpAddress, 12), "0a010203ffffff00c0a8007b");
    fields[5].text = "255";
    fields[8].text = "-";
    EXPECT_EQ(PrectiOkno(NetworkParamEditor(), fields, copy, {}).status,
              " Hodnoty brany musí být v rozsahu 0-255.");
}

TEST(SitoveParam, DefaultParametersRestoreOnlyTheAddresses) {
    ModuleConfig config{};
    config.bytes.fill(1);
    LoadDefaultAddresses(config);
    EXPECT_EQ(Hex(config.bytes.data(), 16), "0101c0a80063ffffff00c0a8007b0101");
    EXPECT_EQ(config.bytes[ModuleConfig::kSize - 1], 1);
}

}  // namespace
}  // namespace kv
