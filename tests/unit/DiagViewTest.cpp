// kv3380u diag's JSON and text from the golden status replies: every key with its value
// as a monitoring script reads it, and the window's words and colours in the text.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/DiagView.h"
#include "tests/support/StatusReplyHex.h"

namespace kv::cli {
namespace {

using testing::ModuleStatusReplyHex;
using testing::ReplyOfHex;
using testing::VlanStatusReplyHex;

CycleOutcome GoldenCycle(Vlan vlan) {
    CycleOutcome cycle;
    cycle.module = DecodeModuleStatus(ReplyOfHex(ModuleStatusReplyHex()));
    cycle.vlan = DecodeVlanStatus(ReplyOfHex(VlanStatusReplyHex()), vlan);
    cycle.statusText = "V pořádku";
    cycle.requests = 2;
    return cycle;
}

TEST(DiagJsonTest, EveryValueOfTheGoldenRepliesUnderItsKey) {
    const nlohmann::ordered_json expected = nlohmann::ordered_json::parse(R"({
        "cycle": 7, "time": "T", "vlan": 1, "ok": true, "status": "V pořádku", "requests": 2,
        "module": {"type": "KV-3380U", "version": "1.20", "serial": "SN123456",
            "mac": "00-0A-FF-01-02-AB", "operating_mode": "setup", "uptime_s": 305419896,
            "allowed_total": 1000, "denied_total": 4294967295,
            "network": {
                "setup": {"ip": "192.168.1.1", "mask": "255.255.255.0", "gateway": "192.168.1.254"},
                "working": {"ip": "192.168.0.99", "mask": "255.255.0.0", "gateway": "192.168.0.123"}},
            "rs485": {"baud_rate": 9600, "timeout_ms": 100, "messages": 3, "errors": 2},
            "errors": [
                {"code": 22, "vlan": 2, "user": 3, "module_address": 36, "function": 204,
                 "peripheral": 16, "command": 0, "duration_ms": 1000, "repetitions": 1,
                 "timestamp_ms": 100000},
                {"code": 11, "vlan": 1, "user": 0, "module_address": 5, "function": 200,
                 "peripheral": 0, "command": 1, "duration_ms": 5, "repetitions": 0,
                 "timestamp_ms": 10000},
                {"code": 255, "vlan": 3, "user": 3, "module_address": 255, "function": 255,
                 "peripheral": 255, "command": 255, "duration_ms": 65535, "repetitions": 255,
                 "timestamp_ms": 4294967295},
                {"code": 0, "vlan": 0, "user": 0, "module_address": 0, "function": 0,
                 "peripheral": 0, "command": 0, "duration_ms": 0, "repetitions": 0,
                 "timestamp_ms": 0},
                {"code": 1, "vlan": 0, "user": 0, "module_address": 0, "function": 0,
                 "peripheral": 0, "command": 0, "duration_ms": 0, "repetitions": 0,
                 "timestamp_ms": 1}]},
        "interface": {"port": 5000, "mode": "časovač platnosti IP adresy",
            "remaining_validity_s": 1.5, "max_validity_s": 2, "allowed": 21, "denied": 12,
            "last_denied": "10.0.0.7:5000", "last_denied_time_s": 300,
            "shades": {"validity": "blue", "access": "blue", "users": "normal"},
            "users": [
                {"heading": "Uživatel", "ip": "192.168.10.1", "port": 12345, "allowed": 1,
                 "last_message_s": 2},
                {"heading": "Uživatel -1", "ip": "192.168.10.2", "port": 12346, "allowed": 3,
                 "last_message_s": 4},
                {"heading": "Uživatel -2", "ip": "192.168.10.3", "port": 12347, "allowed": 5,
                 "last_message_s": 6}]}})");
    const nlohmann::ordered_json json = DiagJson(GoldenCycle(Vlan::FromIndex(0)), Vlan{}, 7, "T");
    EXPECT_EQ(json, expected) << json.dump(2);
    EXPECT_EQ(json.dump(), expected.dump()) << "the keys in their order";
}

TEST(DiagJsonTest, SecondsToTheMillisecondAndNullForWhatDidNotCome) {
    CycleOutcome cycle = GoldenCycle(Vlan::FromIndex(2));
    // More seconds than the window writes without an exponent: still every millisecond.
    cycle.vlan->remainingValidityMs = 4294967295;
    cycle.module->busMessages = 0;
    nlohmann::ordered_json json = DiagJson(cycle, Vlan::FromIndex(2), 1, "T");
    EXPECT_EQ(json["interface"]["remaining_validity_s"].get<double>(), 4294967.295);
    EXPECT_EQ(json["interface"]["mode"], "vypnuto");
    EXPECT_EQ(json["interface"]["shades"]["users"], "grey");
    EXPECT_EQ(json["module"]["rs485"]["baud_rate"], 0) << "no speed in use before a message";

    cycle.vlan.reset();
    json = DiagJson(cycle, Vlan::FromIndex(2), 2, "T");
    EXPECT_EQ(json["ok"], false);
    EXPECT_TRUE(json["interface"].is_null());
    EXPECT_TRUE(json["module"].is_object());
}

TEST(DiagTextTest, TheWindowsWordsWithTheOperatorsSeparatorAndTheModesColours) {
    const CycleOutcome cycle = GoldenCycle(Vlan::FromIndex(1));
    DiagScreen screen{Vlan::FromIndex(1), cycle.module, cycle.vlan, "V pořádku", ","};
    auto line = [](const std::vector<std::string>& lines, const std::string& start) {
        for (const std::string& l : lines)
            if (l.rfind(start, 0) == 0) return l;
        return std::string();
    };
    std::vector<std::string> lines = DiagText(screen, false);
    EXPECT_EQ(lines.front(), "Diagnostika komunikačního rozhraní VLAN2");
    EXPECT_EQ(lines.back(), "Stav: V pořádku");
    EXPECT_NE(line(lines, "  Režim rozhraní").find("tabulka uživatelů"), std::string::npos);
    EXPECT_NE(line(lines, "  Doba do konce platnosti IP [s]").find(" 0,000"), std::string::npos);
    EXPECT_NE(line(lines, "  VLAN rozhraní / uživatel").find("2 / 3"), std::string::npos);

    // The table mode greys the validity and marks the counters blue.
    lines = DiagText(screen, true);
    EXPECT_NE(line(lines, "  Max. doba platnosti IP [s]").find("\033[90m2\033[0m"),
              std::string::npos);
    EXPECT_NE(line(lines, "  Povolené přístupy VLAN").find("\033[34m21\033[0m"), std::string::npos);
}

}  // namespace
}  // namespace kv::cli
