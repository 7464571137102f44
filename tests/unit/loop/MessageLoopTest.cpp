#include "LoopKinds.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

template <class TLoop> class TTestLoop : public TLoop {
public:
    using TMessageLoop::HasPosted;
    using TMessageLoop::Shutdown;
};

// Every loop backend of the platform passes these.
template <class TLoop> class MessageWindow : public ::testing::Test {};
template <class TLoop> class SyncCall : public ::testing::Test {};
template <class TLoop> class Pumping : public ::testing::Test {};
TYPED_TEST_SUITE(MessageWindow, TLoopKinds, TLoopKindNames);
TYPED_TEST_SUITE(SyncCall, TLoopKinds, TLoopKindNames);
TYPED_TEST_SUITE(Pumping, TLoopKinds, TLoopKindNames);

std::atomic<int> GReleased{0};
void CountRelease(const TMessage& AMsg) {
    delete[] reinterpret_cast<uint8_t*>(AMsg.LParam);
    ++GReleased;
}

intptr_t NewBlock() {
    return reinterpret_cast<intptr_t>(new uint8_t[8]());
}

TYPED_TEST(MessageWindow, DeliversInOrderOnOwnerThreadWhenPumped) {
    TypeParam LLoop;
    std::vector<uintptr_t> LGot;
    const auto LOwner = std::this_thread::get_id();
    bool LOnOwner = true;
    TMessageWindow LWnd([&](TMessage& AMsg) {
        LOnOwner = LOnOwner && std::this_thread::get_id() == LOwner;
        LGot.push_back(AMsg.WParam);
    });
    std::thread LPoster([&] {
        for (uintptr_t I = 0; I < 500; ++I)
            ASSERT_TRUE(LWnd.Post(CWmUser + 1, I, 0));
    });
    LPoster.join();
    EXPECT_TRUE(LGot.empty()) << "nothing runs before the owner pumps";
    LLoop.ProcessMessages();
    ASSERT_EQ(LGot.size(), 500u);
    for (uintptr_t I = 0; I < 500; ++I)
        EXPECT_EQ(LGot[I], I);
    EXPECT_TRUE(LOnOwner);
}

TYPED_TEST(MessageWindow, TwoPostersKeepTheirOwnOrder) {
    TypeParam LLoop;
    std::vector<uintptr_t> LA, LB;
    TMessageWindow LWnd([&](TMessage& AMsg) { (AMsg.Msg == 1 ? LA : LB).push_back(AMsg.WParam); });
    auto LPost = [&](uint32_t AMsg) {
        for (uintptr_t I = 0; I < 2000; ++I)
            LWnd.Post(AMsg, I, 0);
    };
    std::thread L1(LPost, 1), L2(LPost, 2);
    L1.join();
    L2.join();
    LLoop.ProcessMessages();
    ASSERT_EQ(LA.size(), 2000u);
    ASSERT_EQ(LB.size(), 2000u);
    for (uintptr_t I = 0; I < 2000; ++I) {
        EXPECT_EQ(LA[I], I);
        EXPECT_EQ(LB[I], I);
    }
}

TYPED_TEST(MessageWindow, DestroyDropsQueuedAndReleasesPayloads) {
    TypeParam LLoop;
    GReleased = 0;
    int LDelivered = 0;
    auto LWnd = std::make_unique<TMessageWindow>([&](TMessage&) { ++LDelivered; });
    TWindowHandle LHandle = LWnd->Handle();
    for (int I = 0; I < 5; ++I)
        ASSERT_TRUE(LHandle.Post(1, 0, NewBlock(), CountRelease));
    LWnd.reset();
    EXPECT_EQ(GReleased, 5);
    EXPECT_FALSE(LHandle.Post(1, 0, 0)) << "posting to a gone window fails";
    LLoop.ProcessMessages();
    EXPECT_EQ(LDelivered, 0);
}

TYPED_TEST(MessageWindow, LoopEndReleasesPayloadsAndRefusesPosts) {
    GReleased = 0;
    TWindowHandle LHandle;
    {
        TTestLoop<TypeParam> LLoop;
        TMessageWindow LWnd([](TMessage&) {});
        LHandle = LWnd.Handle();
        ASSERT_TRUE(LHandle.Post(1, 0, NewBlock(), CountRelease));
        ASSERT_TRUE(LHandle.Post(1, 0, NewBlock(), CountRelease));
        LLoop.Shutdown();
    }
    EXPECT_EQ(GReleased, 2);
    EXPECT_FALSE(LHandle.Post(1, 0, 0));
}

TYPED_TEST(MessageWindow, FullQueueRefusesUntilDrained) {
    TypeParam LLoop;
    int LDelivered = 0;
    TMessageWindow LWnd([&](TMessage&) { ++LDelivered; });
    LWnd.SetQueueLimit(3);
    EXPECT_TRUE(LWnd.Post(1, 0, 0));
    EXPECT_TRUE(LWnd.Post(1, 0, 0));
    EXPECT_TRUE(LWnd.Post(1, 0, 0));
    EXPECT_FALSE(LWnd.Post(1, 0, 0));
    EXPECT_EQ(LWnd.QueuedCount(), 3u);
    LLoop.ProcessMessages();
    EXPECT_EQ(LDelivered, 3);
    EXPECT_TRUE(LWnd.Post(1, 0, 0));
}

TYPED_TEST(MessageWindow, HandlerMayDestroyItsOwnWindow) {
    TypeParam LLoop;
    GReleased = 0;
    std::unique_ptr<TMessageWindow> LWnd;
    int LDelivered = 0;
    LWnd = std::make_unique<TMessageWindow>([&](TMessage& AMsg) {
        ++LDelivered;
        if (AMsg.Msg == 9)
            LWnd.reset();
    });
    LWnd->Post(9, 0, 0);
    LWnd->Post(1, 0, NewBlock(), CountRelease);
    LLoop.ProcessMessages();
    EXPECT_EQ(LDelivered, 1);
    EXPECT_EQ(GReleased, 1);
}

TYPED_TEST(MessageWindow, NeedsALoopOnTheThread) {
    EXPECT_THROW(TMessageWindow([](TMessage&) {}), Exception);
    TypeParam LLoop;
    EXPECT_THROW(TypeParam(), Exception);
}

TYPED_TEST(MessageWindow, MessagesPostedByAHandlerWaitForTheNextPump) {
    TypeParam LLoop;
    int LCount = 0;
    std::unique_ptr<TMessageWindow> LWnd;
    LWnd = std::make_unique<TMessageWindow>([&](TMessage&) {
        ++LCount;
        LWnd->Post(1, 0, 0);
    });
    LWnd->Post(1, 0, 0);
    LLoop.ProcessMessages();
    EXPECT_EQ(LCount, 1);
    LLoop.ProcessMessages();
    EXPECT_EQ(LCount, 2);
}

TYPED_TEST(SyncCall, RunsAtOnceOnTheOwnerAndWaitsFromOthers) {
    TypeParam LLoop;
    bool LRan = false;
    EXPECT_TRUE(LLoop.Call([&] { LRan = true; }));
    EXPECT_TRUE(LRan);

    std::thread::id LRanOn;
    bool LResult = false;
    std::thread LCaller(
        [&] { LResult = LLoop.Call([&] { LRanOn = std::this_thread::get_id(); }); });
    EXPECT_TRUE(LLoop.RunUntil([&] { return LRanOn != std::thread::id(); }, 10000));
    LCaller.join();
    EXPECT_TRUE(LResult);
    EXPECT_EQ(LRanOn, std::this_thread::get_id());
}

TYPED_TEST(SyncCall, CallMainReachesTheMainLoop) {
    TypeParam LLoop;
    ASSERT_EQ(TMessageLoop::Main(), &LLoop);
    int LValue = 0;
    bool LResult = false;
    std::thread LCaller([&] { LResult = TMessageLoop::CallMain([&] { LValue = 42; }); });
    EXPECT_TRUE(LLoop.RunUntil([&] { return LValue == 42; }, 10000));
    LCaller.join();
    EXPECT_TRUE(LResult);
}

TYPED_TEST(SyncCall, TeardownReleasesAWaitingCallerWithFalse) {
    auto LLoop = std::make_unique<TTestLoop<TypeParam>>();
    TTestLoop<TypeParam>* LRaw = LLoop.get();
    bool LResult = true, LRan = false;
    std::thread LCaller([&] { LResult = LRaw->Call([&] { LRan = true; }); });
    // The call is queued but the owner never pumps; ending the loop must
    // release the caller.
    const uint64_t LGiveUp = GetTickCount64() + 10000;
    while (!LRaw->HasPosted() && GetTickCount64() < LGiveUp)
        std::this_thread::yield();
    ASSERT_TRUE(LRaw->HasPosted());
    LLoop.reset();
    LCaller.join();
    EXPECT_FALSE(LResult);
    EXPECT_FALSE(LRan);
}

TYPED_TEST(Pumping, NestedRunUntilKeepsDeliveringPostsFromThreads) {
    TypeParam LLoop;
    int LInner = 0;
    bool LNestedDone = false;
    TMessageWindow LWnd([&](TMessage& AMsg) {
        if (AMsg.Msg == 1) {
            // A modal box: a nested loop that runs until the box closes.
            LNestedDone = LLoop.RunUntil([&] { return LInner == 3; }, 10000);
        } else {
            ++LInner;
        }
    });
    LWnd.Post(1, 0, 0);
    std::thread LPoster([&] {
        for (int I = 0; I < 3; ++I)
            LWnd.Post(2, 0, 0);
    });
    LLoop.ProcessMessages();
    LPoster.join();
    EXPECT_TRUE(LNestedDone);
    EXPECT_EQ(LInner, 3);
}

TYPED_TEST(Pumping, RunUntilTimesOutInRealTime) {
    TypeParam LLoop;
    const uint64_t LStart = GetTickCount64();
    EXPECT_FALSE(LLoop.RunUntil([] { return false; }, 50));
    EXPECT_GE(GetTickCount64() - LStart, 50u);
}

} // namespace
