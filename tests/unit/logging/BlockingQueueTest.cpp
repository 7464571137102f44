#include "logging/BlockingQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

namespace {
constexpr auto CGenerous = std::chrono::seconds(10);
}

TEST(BlockingQueue, KeepsOrderAcrossTheRingsEnd) {
    TBlockingQueue<std::string> Q(3);
    std::string L;
    int LNext = 0;
    for (int LRound = 0; LRound < 5; ++LRound) {
        EXPECT_EQ(Q.PushItem(std::to_string(LRound * 2)), wrSignaled);
        EXPECT_EQ(Q.PushItem(std::to_string(LRound * 2 + 1)), wrSignaled);
        for (int I = 0; I < 2; ++I) {
            ASSERT_EQ(Q.PopItem(L), wrSignaled);
            EXPECT_EQ(L, std::to_string(LNext++));
        }
    }
    EXPECT_EQ(Q.Count(), 0u);
    EXPECT_EQ(Q.TotalItemsPushed(), 10u);
    EXPECT_EQ(Q.TotalItemsPopped(), 10u);
}

TEST(BlockingQueue, TimeOutsStoreAndTakeNothing) {
    TBlockingQueue<std::string> Q(1, 20, 20);
    std::string L = "stale";
    EXPECT_EQ(Q.PopItem(L), wrTimeout);
    EXPECT_EQ(L, ""); // cleared first
    EXPECT_EQ(Q.PushItem("a"), wrSignaled);
    EXPECT_EQ(Q.PushItem("b"), wrTimeout);
    EXPECT_EQ(Q.Count(), 1u);
    ASSERT_EQ(Q.PopItem(L), wrSignaled);
    EXPECT_EQ(L, "a");
}

TEST(BlockingQueue, ShutDownHandsOutWhatIsHeldThenEmptyRecords) {
    TBlockingQueue<std::string> Q(4);
    Q.PushItem("a");
    Q.PushItem("b");
    Q.DoShutDown();
    EXPECT_EQ(Q.PushItem("late"), wrSignaled); // dropped
    std::string L;
    ASSERT_EQ(Q.PopItem(L), wrSignaled);
    EXPECT_EQ(L, "a");
    ASSERT_EQ(Q.PopItem(L), wrSignaled);
    EXPECT_EQ(L, "b");
    L = "stale";
    EXPECT_EQ(Q.PopItem(L), wrSignaled);
    EXPECT_EQ(L, "");
    EXPECT_EQ(Q.TotalItemsPushed(), 2u);
}

TEST(BlockingQueue, ShutDownReleasesBlockedPoppersAndPushers) {
    TBlockingQueue<std::string> LEmpty(1);
    auto LPopper = std::async(std::launch::async, [&] {
        std::string L = "x";
        return std::make_pair(LEmpty.PopItem(L), L);
    });
    TBlockingQueue<std::string> LFull(1);
    LFull.PushItem("a");
    auto LPusher = std::async(std::launch::async, [&] { return LFull.PushItem("b"); });
    LEmpty.DoShutDown();
    LFull.DoShutDown();
    ASSERT_EQ(LPopper.wait_for(CGenerous), std::future_status::ready);
    ASSERT_EQ(LPusher.wait_for(CGenerous), std::future_status::ready);
    EXPECT_EQ(LPopper.get(), std::make_pair(wrSignaled, std::string()));
    EXPECT_EQ(LPusher.get(), wrSignaled);
    EXPECT_EQ(LFull.Count(), 1u);
}
