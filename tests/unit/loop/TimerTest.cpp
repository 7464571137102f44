#include "LoopKinds.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TVirtualLoop : THeadlessLoop {
    TVirtualLoop() { SetVirtualClock(true, 5000); }
};

TEST(VirtualClock, TickCounterFollowsItAndReturnsToRealTime) {
    {
        TVirtualLoop LLoop;
        EXPECT_EQ(GetTickCount64(), 5000u);
        LLoop.AdvanceTime(250);
        EXPECT_EQ(GetTickCount64(), 5250u);
    }
    const uint64_t LReal = GetTickCount64();
    EXPECT_NE(LReal, 5250u);
}

TEST(VirtualClock, DueTimersFireInTimeOrder) {
    TVirtualLoop LLoop;
    std::string LLog;
    TTimer LCheck, LNext;
    LCheck.SetInterval(500);
    LNext.SetInterval(20);
    LNext.SetEnabled(false);
    LCheck.OnTimer = [&](TObject* ASender) {
        EXPECT_EQ(ASender, &LCheck);
        LLog += "C" + std::to_string(GetTickCount64() - 5000) + " ";
        LNext.SetEnabled(true);
    };
    LNext.OnTimer = [&](TObject*) {
        LLog += "N" + std::to_string(GetTickCount64() - 5000) + " ";
        LNext.SetEnabled(false);
    };
    LLoop.AdvanceTime(1100);
    EXPECT_EQ(LLog, "C500 N520 C1000 N1020 ");
    EXPECT_EQ(GetTickCount64(), 6100u);
}

TEST(VirtualClock, IntervalChangeRestartsAndZeroNeverTicks) {
    TVirtualLoop LLoop;
    int LTicks = 0;
    TTimer LTimer;
    LTimer.OnTimer = [&](TObject*) { ++LTicks; };
    LLoop.AdvanceTime(999);
    EXPECT_EQ(LTicks, 0);
    LTimer.SetInterval(100); // restarts from now
    LLoop.AdvanceTime(99);
    EXPECT_EQ(LTicks, 0);
    LLoop.AdvanceTime(1);
    EXPECT_EQ(LTicks, 1);
    LTimer.SetInterval(0);
    LLoop.AdvanceTime(10000);
    EXPECT_EQ(LTicks, 1);
}

TEST(VirtualClock, RunUntilMovesTimeInsteadOfWaiting) {
    TVirtualLoop LLoop;
    int LTicks = 0;
    TTimer LTimer;
    LTimer.SetInterval(500);
    LTimer.OnTimer = [&](TObject*) { ++LTicks; };
    // 12 trials of 1.5 s each would be 18 s of real time.
    EXPECT_TRUE(LLoop.RunUntil([&] { return LTicks == 36; }, 60000));
    EXPECT_EQ(GetTickCount64(), 5000u + 36 * 500);
    EXPECT_FALSE(LLoop.RunUntil([] { return false; }, 1000));
    EXPECT_EQ(GetTickCount64(), 5000u + 36 * 500 + 1000);
}

TEST(VirtualClock, TimerTicksInsideANestedLoop) {
    TVirtualLoop LLoop;
    int LTicks = 0;
    bool LBoxClosed = false;
    TTimer LTimer;
    LTimer.SetInterval(100);
    LTimer.OnTimer = [&](TObject*) { ++LTicks; };
    TMessageWindow LWnd(
        [&](TMessage&) { LBoxClosed = LLoop.RunUntil([&] { return LTicks >= 3; }, 10000); });
    LWnd.Post(1, 0, 0);
    LLoop.ProcessMessages();
    EXPECT_TRUE(LBoxClosed);
    EXPECT_EQ(LTicks, 3);
}

TEST(VirtualClock, TimerDestroyedInItsOwnTickIsSafe) {
    TVirtualLoop LLoop;
    auto LTimer = std::make_unique<TTimer>();
    int LOther = 0;
    TTimer LSecond;
    LSecond.SetInterval(1000);
    LSecond.OnTimer = [&](TObject*) { ++LOther; };
    LTimer->OnTimer = [&](TObject*) { LTimer.reset(); };
    LLoop.AdvanceTime(3000);
    EXPECT_FALSE(LTimer);
    EXPECT_EQ(LOther, 3);
}

template <class TLoop> class RealClock : public ::testing::Test {};
TYPED_TEST_SUITE(RealClock, TLoopKinds, TLoopKindNames);

TYPED_TEST(RealClock, TimerTicksWhilePumping) {
    TypeParam LLoop;
    int LTicks = 0;
    TTimer LTimer;
    LTimer.SetInterval(10);
    LTimer.OnTimer = [&](TObject*) { ++LTicks; };
    EXPECT_TRUE(LLoop.RunUntil([&] { return LTicks >= 3; }, 10000));
}

} // namespace
