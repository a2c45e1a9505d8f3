// The worker of the windows' connection: its jobs run one after another, in the order
// they came, on one thread of its own; Finish closes the connection after them; the
// connection is its owner's again afterwards, and a later job gets a thread anew.

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "connection/ConnectionWorker.h"
#include "tests/support/FakeConnection.h"

namespace kv {
namespace {

using ConnectionWorkerTest = testing::FakeConnection;
constexpr std::chrono::seconds kLimit{20};

TEST_F(ConnectionWorkerTest, JobsRunInOrderOnOneThreadAndFinishClosesAfterThem) {
    auto& fake = Connect(kKindLanQudp, 2);
    std::vector<int> order;
    std::set<std::thread::id> threads;
    for (int i = 0; i < 20; ++i) {
        worker_.Post([&, i](Connection& connection) {
            order.push_back(i);
            threads.insert(std::this_thread::get_id());
            connection.Link().Transact({204, static_cast<std::uint8_t>(i)});
        });
    }
    worker_.Finish();

    std::vector<int> expected(20);
    std::string log;
    for (int i = 0; i < 20; ++i) {
        expected[static_cast<std::size_t>(i)] = i;
        log += "QQUDP_Send 20817 2 204 " + std::to_string(i) + " 0\n";
    }
    EXPECT_EQ(order, expected);
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
    // The library sees the requests in the order they were posted, then the closing.
    EXPECT_EQ(fake.Log(), log + "QQUDP_Done 20817\n");
    EXPECT_FALSE(connection_.IsOpen());
    EXPECT_TRUE(worker_.Idle());
}

TEST_F(ConnectionWorkerTest, AFailingJobLeavesTheOthersAndTheWorkerServesAgainAfterFinish) {
    Connect(kKindLan);
    bool after = false;
    worker_.Post([](Connection&) { throw std::runtime_error("out of memory, say"); });
    worker_.Post([&](Connection& connection) { after = connection.IsOpen(); });
    ASSERT_TRUE(worker_.WaitUntilIdle(kLimit));
    EXPECT_TRUE(after);

    // Finished, the connection is this thread's: it opens it anew, and the next job runs
    // on a thread of its own again.
    auto& again = Connect(kKindLan);
    std::thread::id ran;
    worker_.Post([&](Connection& connection) {
        ran = std::this_thread::get_id();
        connection.Link().Transact(kModuleStatusRequest);
    });
    ASSERT_TRUE(worker_.WaitUntilIdle(kLimit));
    EXPECT_NE(ran, std::this_thread::get_id());
    EXPECT_EQ(again.CallCount("Send"), 1u);
}

}  // namespace
}  // namespace kv
