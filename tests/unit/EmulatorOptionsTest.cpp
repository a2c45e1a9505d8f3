#include <gtest/gtest.h>

#include "emulator/Options.h"

namespace kv::emu {
namespace {

ParsedOptions Parse(std::vector<std::string> args) {
    return ParseOptions(args);
}

TEST(EmulatorOptions, DefaultsListenOn127002WithStoredPorts) {
    auto r = Parse({});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.address, "127.0.0.2");
    EXPECT_FALSE(r.options.port.has_value());
    EXPECT_FALSE(r.options.vlanPorts.has_value());
    EXPECT_FALSE(r.options.usbSerial.has_value());
    EXPECT_FALSE(r.options.noUsb);
    EXPECT_EQ(r.options.statePath, "./kv3380u-emulator.state");
    EXPECT_EQ(r.options.faults.drop, 0);
    EXPECT_EQ(r.options.faults.delayShare, 1);
    EXPECT_EQ(r.options.faults.seed, FaultSettings::kDefaultSeed);
    EXPECT_FALSE(r.options.lifetimeSeconds.has_value());
}

TEST(EmulatorOptions, ReadsEveryOption) {
    auto r = Parse({"--address",
                    "127.1.2.3",
                    "--port",
                    "0",
                    "--vlan-ports",
                    "0,5001,65535",
                    "--usb-serial",
                    "AB12CD34",
                    "--usb-dir",
                    "/tmp/x",
                    "--no-usb",
                    "--com",
                    "7",
                    "--state",
                    "s.txt",
                    "--drop",
                    "0.25",
                    "--duplicate=1",
                    "--corrupt",
                    "0",
                    "--delay",
                    "300",
                    "--delay-share",
                    ".5",
                    "--silent",
                    "--corrupt-store",
                    "--seed",
                    "18446744073709551615",
                    "--lifetime",
                    "2.5"});
    ASSERT_TRUE(r.ok) << r.error;
    const Options& o = r.options;
    EXPECT_EQ(o.address, "127.1.2.3");
    EXPECT_EQ(o.port, std::optional<std::uint16_t>(0));
    EXPECT_EQ(*o.vlanPorts, (std::array<std::uint16_t, 3>{0, 5001, 65535}));
    EXPECT_EQ(o.usbSerial, std::optional<std::string>("AB12CD34"));
    EXPECT_EQ(o.usbDir, std::optional<std::string>("/tmp/x"));
    EXPECT_TRUE(o.noUsb);
    EXPECT_EQ(o.com, std::optional<int>(7));
    EXPECT_EQ(o.statePath, "s.txt");
    EXPECT_DOUBLE_EQ(o.faults.drop, 0.25);
    EXPECT_DOUBLE_EQ(o.faults.duplicate, 1);
    EXPECT_EQ(o.faults.delayMs, 300u);
    EXPECT_DOUBLE_EQ(o.faults.delayShare, 0.5);
    EXPECT_TRUE(o.faults.silent);
    EXPECT_TRUE(o.faults.corruptStore);
    EXPECT_EQ(o.faults.seed, 18446744073709551615ull);
    EXPECT_DOUBLE_EQ(*o.lifetimeSeconds, 2.5);
}

TEST(EmulatorOptions, RefusesWhatCouldReachBeyondLoopbackOrMakesNoSense) {
    const std::vector<std::vector<std::string>> bad = {
        {"--address", "192.168.0.99"},
        {"--address", "0.0.0.0"},
        {"--address", "128.0.0.1"},
        {"--address", "localhost"},
        {"--address", "::1"},
        {"--port", "65536"},
        {"--port", "-1"},
        {"--port", "12a"},
        {"--port"},
        {"--vlan-ports", "5000,5001"},
        {"--vlan-ports", "5000,5001,5002,5003"},
        {"--vlan-ports", "5000,,5002"},
        {"--vlan-ports", "5000,5001,70000"},
        {"--usb-serial", "1234567"},
        {"--usb-serial", "../../../x"},
        {"--com", "0"},
        {"--com", "256"},
        {"--drop", "1.5"},
        {"--drop", "-0.1"},
        {"--corrupt", "nan"},
        {"--delay", "fast"},
        {"--lifetime", "0"},
        {"--lifetime", "inf"},
        {"--seed", "-3"},
        {"--state", ""},
        {"--help=yes"},
        {"--unknown"},
        {"extra"},
    };
    for (const auto& args : bad) {
        auto r = Parse(args);
        EXPECT_FALSE(r.ok) << args[0] << (args.size() > 1 ? " " + args[1] : "");
        EXPECT_FALSE(r.error.empty());
    }
}

}  // namespace
}  // namespace kv::emu
