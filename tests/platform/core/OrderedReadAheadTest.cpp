#include "platform/core/OrderedReadAhead.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>

namespace tessaro {
namespace {

struct ReadAheadCase {
    const char* name;
    std::size_t count;
    int threads;
    std::size_t window;
};

class OrderedReadAheadRows : public ::testing::TestWithParam<ReadAheadCase> {};

// Whatever the threads, window and pace of the work, results come in index
// order, each once, and no worker runs further ahead than the window lets it.
TEST_P(OrderedReadAheadRows, GivesEveryResultInOrderWithinItsWindow)
{
    const ReadAheadCase& row = GetParam();
    std::atomic<std::size_t> taken{0};
    std::atomic<std::size_t> furthestAhead{0};
    OrderedReadAhead<std::string> ahead(
        row.count,
        [&](std::size_t i) {
            const std::size_t lead = i - std::min(i, taken.load());
            std::size_t seen = furthestAhead.load();
            while (lead > seen && !furthestAhead.compare_exchange_weak(seen, lead)) {
            }
            // Uneven work, so later indices often finish first.
            if (i % 7 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            return std::to_string(i);
        },
        row.threads, row.window);
    std::string result;
    std::size_t next = 0;
    while (ahead.Next(result)) {
        ASSERT_EQ(result, std::to_string(next));
        taken = ++next;
    }
    EXPECT_EQ(next, row.count);
    EXPECT_FALSE(ahead.Next(result));
    // The test's own count of taken results lags the read-ahead's by one.
    EXPECT_LE(furthestAhead.load(), std::max<std::size_t>(row.window, 1) + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OrderedReadAheadRows,
    ::testing::Values(ReadAheadCase{"Nothing", 0, 2, 8}, ReadAheadCase{"One", 1, 4, 8},
                      ReadAheadCase{"OneThread", 500, 1, 32}, ReadAheadCase{"TwoThreads", 2000, 2, 256},
                      ReadAheadCase{"WindowOfOne", 300, 3, 1}, ReadAheadCase{"WindowOfZeroIsOne", 50, 2, 0},
                      ReadAheadCase{"MoreThreadsThanItems", 3, 8, 64}),
    [](const ::testing::TestParamInfo<ReadAheadCase>& info) { return std::string(info.param.name); });

TEST(OrderedReadAhead, AThrowingItemRethrowsAtItsTurnAndTheRestFollow)
{
    OrderedReadAhead<int> ahead(
        5,
        [](std::size_t i) {
            if (i == 2)
                throw std::runtime_error("item 2");
            return int(i);
        },
        2, 4);
    int value = -1;
    ASSERT_TRUE(ahead.Next(value));
    ASSERT_TRUE(ahead.Next(value));
    EXPECT_THROW(ahead.Next(value), std::runtime_error);
    ASSERT_TRUE(ahead.Next(value));
    EXPECT_EQ(value, 3);
}

TEST(OrderedReadAhead, DroppedEarlyStopsWithoutRunningTheRest)
{
    std::atomic<int> ran{0};
    {
        OrderedReadAhead<int> ahead(
            100000,
            [&](std::size_t i) {
                ++ran;
                return int(i);
            },
            4, 64);
        int value = 0;
        ASSERT_TRUE(ahead.Next(value));
    }
    EXPECT_LT(ran.load(), 1000);
}

}  // namespace
}  // namespace tessaro
