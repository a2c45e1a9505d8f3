// The ports the tests name before an emulator binds them.

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "tests/support/FreePort.h"

namespace {

TEST(FreePortTest, PortsAreNeverHandedOutTwiceNorFromTheSystemsOwnRange) {
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    unsigned low = 32768, high = 60999;
    range >> low >> high;
    std::set<std::uint16_t> seen;
    for (int i = 0; i < 100; ++i) {
        // Held by this process, each is refused to every later request, here and in
        // any other test process.
        const std::uint16_t port = kv::testing::FreeUdpPort("127.0.0.2", 0);
        ASSERT_NE(port, 0);
        EXPECT_LT(port, low);
        EXPECT_TRUE(seen.insert(port).second) << port << " came twice";
    }
}

}  // namespace
