// Many modules at once, without modules: the side-by-side runner keeps the order of the
// list whatever order the work ends in, and starts nothing after a stop; one module named
// twice is found however its target is written; backup file names; the exporter's
// histogram, label values and listen address.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cli/Exporter.h"
#include "cli/Fleet.h"

namespace kv::cli {
namespace {

class ListOutput : public Output {
  public:
    void Print(const std::string& line) override { lines.push_back("out " + line); }
    void Report(const std::string& line) override { lines.push_back("err " + line); }
    void Progress(std::size_t done, std::size_t total, const std::string&) override {
        EXPECT_LE(done, total);
        EXPECT_GE(done, lastDone);
        lastDone = done;
        ++progress;
    }
    std::vector<std::string> lines;
    std::size_t lastDone = 0;
    int progress = 0;
};

TEST(FleetTest, LinesFollowTheListWhateverOrderTheWorkEndsIn) {
    const std::vector<std::string> names = {"a", "b", "c", "d", "e", "f"};
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    ListOutput out;
    const std::vector<bool> started =
        RunSideBySide(names, 3,
                      [&](std::size_t i, Output& held, const RunControl&) {
                          most = std::max(most.load(), ++running);
                          held.Print(names[i] + "1");
                          // The first ones take longest, so later ones end first.
                          std::this_thread::sleep_for(std::chrono::milliseconds(10 * (6 - i)));
                          held.Report(names[i] + "2");
                          --running;
                      },
                      out, {});
    std::vector<std::string> expected;
    for (const std::string& n : names) {
        expected.push_back("out " + n + "1");
        expected.push_back("err " + n + "2");
    }
    EXPECT_EQ(out.lines, expected);
    EXPECT_EQ(started, std::vector<bool>(6, true));
    EXPECT_LE(most.load(), 3);
    EXPECT_EQ(out.lastDone, names.size());
    EXPECT_GT(out.progress, 0);
}

TEST(FleetTest, AfterAStopNothingFurtherStartsAndTheWorkLearnsOfIt) {
    const std::vector<std::string> names(10, "m");
    std::atomic<bool> stop{false};
    RunControl control;
    control.stopRequested = [&] { return stop.load(); };
    std::atomic<int> sawStop{0};
    ListOutput out;
    const std::vector<bool> started = RunSideBySide(
        names, 2,
        [&](std::size_t i, Output& held, const RunControl& inner) {
            held.Print(std::to_string(i));
            if (i == 1) stop = true;
            // Waits until the runner passes the stop on (it looks every 50 ms).
            if (!inner.Wait(std::chrono::seconds(30))) ++sawStop;
        },
        out, control);
    EXPECT_TRUE(started[0]);
    EXPECT_TRUE(started[1]);
    EXPECT_FALSE(started[9]);
    std::size_t ran = 0;
    for (bool s : started) ran += s;
    EXPECT_EQ(sawStop.load(), static_cast<int>(ran));
    // Each started one's line, in order.
    ASSERT_EQ(out.lines.size(), ran);
    for (std::size_t i = 0; i < ran; ++i) EXPECT_EQ(out.lines[i], "out " + std::to_string(i));
}

// The request a target names for the kind, as --targets reads it.
ConnectionRequest Target(std::uint8_t kind, const std::string& target) {
    ConnectionRequest request;
    request.kind = kind;
    EXPECT_FALSE(ApplyTarget(target, request)) << target;
    return request;
}

TEST(FleetTest, OneModuleNamedTwiceIsFoundHoweverItIsWritten) {
    EXPECT_FALSE(
        DuplicateTarget({"a", "b"}, {Target(1, "127.0.0.2:5000"), Target(1, "127.0.0.3:5000")}));
    EXPECT_FALSE(
        DuplicateTarget({"a", "b"}, {Target(1, "127.0.0.2:5000"), Target(1, "127.0.0.2:5001")}));
    const auto hex = DuplicateTarget({"127.0.0.2:5000", "127.0.0.2:0x1388"},
                                     {Target(1, "127.0.0.2:5000"), Target(1, "127.0.0.2:0x1388")});
    ASSERT_TRUE(hex);
    EXPECT_EQ(*hex,
              "cíl „127.0.0.2:0x1388“ je v seznamu podruhé (jako „127.0.0.2:5000“); každý modul "
              "smí být v seznamu jen jednou");
    EXPECT_TRUE(DuplicateTarget({"3", "$3"}, {Target(2, "3"), Target(2, "$3")}));
    EXPECT_FALSE(DuplicateTarget({"3", "4"}, {Target(2, "3"), Target(2, "4")}));
    EXPECT_TRUE(DuplicateTarget({"2A0h", "2a0H"}, {Target(3, "2A0h"), Target(3, "2a0H")}));
    EXPECT_FALSE(
        DuplicateTarget({"E2E00001", "E2E00002"}, {Target(0, "E2E00001"), Target(0, "E2E00002")}));
}

TEST(FleetTest, BackupFileNamesAreSafeAndTellTheModule) {
    EXPECT_EQ(BackupFileName(Target(1, "127.0.0.2:0xDCF5")), "127.0.0.2_56565.ini");
    EXPECT_EQ(BackupFileName(Target(7, "10.1.2.3:5000")), "10.1.2.3_5000.ini");
    EXPECT_EQ(BackupFileName(Target(0, "E2E00001")), "E2E00001.ini");
    EXPECT_EQ(BackupFileName(Target(2, "$0A")), "COM10.ini");
    EXPECT_EQ(BackupFileName(Target(3, "2a0h")), "2A0h.ini");
}

TEST(ExporterTextTest, HistogramIsCumulativeAndLabelsAreEscaped) {
    Histogram h;
    h.Observe(0.003);
    h.Observe(0.2);
    h.Observe(20);
    const std::string text = h.Lines("x_seconds");
    EXPECT_NE(text.find("x_seconds_bucket{le=\"0.005\"} 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("x_seconds_bucket{le=\"0.1\"} 1\n"), std::string::npos) << text;
    // A bound holds what equals it.
    EXPECT_NE(text.find("x_seconds_bucket{le=\"0.2\"} 2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("x_seconds_bucket{le=\"5\"} 2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("x_seconds_bucket{le=\"+Inf\"} 3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("x_seconds_sum 20.203\n"), std::string::npos) << text;
    EXPECT_NE(text.find("x_seconds_count 3\n"), std::string::npos) << text;
    EXPECT_EQ(LabelValue("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
}

// --allow: networks as written, one address as a /32, and every typo refused with a hint.
TEST(ExporterTextTest, AllowTakesNetworksAndRefusesWhatIsNone) {
    EXPECT_EQ(AllowListText(AllowList("10.1.0.0/16,192.168.5.7,0.0.0.0/0")),
              "10.1.0.0/16, 192.168.5.7/32, 0.0.0.0/0");
    EXPECT_FALSE(AllowListError("127.0.0.0/8"));
    const std::pair<const char*, const char*> wrong[] = {
        {"10.1.2.3/16", "10.1.2.3/16 má za prefixem nastavené bity; míněna je síť 10.1.0.0/16?"},
        {"10.1.0.0/33", "10.1.0.0/33: délka prefixu: "},
        {"10.1.0.0/", "10.1.0.0/: délka prefixu: "},
        {"10.1.0/24", "„10.1.0/24“ není síť IPv4"},
        {"example.com", "„example.com“ není síť IPv4"},
        {"10.0.0.0/8,", "prázdná položka"},
        {"", "prázdná položka"},
    };
    for (const auto& [text, said] : wrong) {
        const auto error = AllowListError(text);
        ASSERT_TRUE(error) << text;
        EXPECT_NE(error->find(said), std::string::npos) << text << ": " << *error;
        EXPECT_TRUE(AllowList(text).empty()) << text;
    }
}

TEST(ExporterTextTest, ListenAddressIsLoopbackUnlessNamed) {
    EXPECT_EQ(ListenAddress("9400"), (std::pair<std::string, int>{"127.0.0.1", 9400}));
    EXPECT_EQ(ListenAddress(":9400"), (std::pair<std::string, int>{"127.0.0.1", 9400}));
    EXPECT_EQ(ListenAddress("0.0.0.0:80"), (std::pair<std::string, int>{"0.0.0.0", 80}));
    EXPECT_FALSE(ListenAddressError("127.0.0.1:0"));
    EXPECT_TRUE(ListenAddressError("localhost:80"));
    EXPECT_TRUE(ListenAddressError("1.2.3.4:65536"));
    EXPECT_TRUE(ListenAddressError(""));
}

}  // namespace
}  // namespace kv::cli
