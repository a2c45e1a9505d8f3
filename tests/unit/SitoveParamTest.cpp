// The network parameters editor's block and "Default parametry".

#include <gtest/gtest.h>

#include "editors/SitoveParam.h"
#include "tests/support/Hex.h"

namespace kv {
namespace {

using testing::Hex;

TEST(SitoveParam, TheDefaultAddressesAreWrittenWithChecksum85) {
    ModuleConfig config = DefaultModuleConfig();
    config.bytes[ModuleConfig::kAddress] = 0x77;  // not part of this block
    EXPECT_EQ(Hex(EncodeNetworkParameters(config)),
              "00c0a80063ffffff00c0a8007b" + testing::Zeros(242) + "55");
}

TEST(SitoveParam, DefaultParametersRestoreOnlyTheAddresses) {
    ModuleConfig config{};
    config.bytes.fill(1);
    LoadDefaultAddresses(config);
    EXPECT_EQ(Hex(config.bytes.data(), 16), "0101c0a80063ffffff00c0a8007b0101");
}

}  // namespace
}  // namespace kv
