#include "tests/support/LogCapture.h"

#include "logging/UnitWorkThread.h"
#include "platform/System.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>

namespace {

constexpr uint32_t CGenerous = 10000; // ms

// Callbacks for the thread under test, with what they saw.
struct TProbe {
    std::atomic<int> FWorkCalls{0};
    std::atomic<int> FFinalCalls{0};
    std::atomic<uint32_t> FFinalThread{0};
    std::atomic<size_t> FRecordsAtFinal{0};
    int FTerminateAfter = 0; // work calls after which the thread terminates itself
    bool FThrowAt = false;
    std::promise<TWorkThread*> FThreadSet; // the thread under test, once constructed

    void Work() {
        const int LCalls = ++FWorkCalls;
        if (FThrowAt && LCalls == 2)
            throw std::runtime_error("work failed");
        if (FTerminateAfter && LCalls == FTerminateAfter)
            FThreadSet.get_future().get()->Terminate();
    }
    void Final() {
        FFinalThread = GetCurrentThreadId();
        FRecordsAtFinal = TRecordingChannel::Last.load()->Records().size();
        ++FFinalCalls;
    }
};

class WorkThreadTest : public ::testing::Test {
protected:
    std::vector<std::string> Tags() const {
        std::vector<std::string> LTags;
        for (const TRecord& R : FDebugger.Channel().Records())
            LTags.push_back(R.Tag().c_str());
        return LTags;
    }

    TRecordingDebugger FDebugger;
    TProbe FProbe;
};

} // namespace

TEST_F(WorkThreadTest, AnnouncesCreateAndEndWithItsObjectDump) {
    auto T = std::make_unique<TWorkThread>(nullptr, nullptr);
    const void* LAddress = T.get();
    T->Terminate();
    ASSERT_TRUE(T->WaitFor(CGenerous));
    T.reset();
    const auto R = FDebugger.Channel().Records();
    ASSERT_EQ(R.size(), 2u);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"Create", "1"}));
    char LHex[32];
    std::snprintf(LHex, sizeof LHex, "%0*llX", static_cast<int>(sizeof(void*) * 2),
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(LAddress)));
    const std::string LDump = std::string("Object: $") + LHex +
                              "\r\nClass:TWorkThread\r\nHierarchy:TWorkThread <- TThread <- "
                              "TObject\r\n";
    EXPECT_EQ(R[0].Text(), LDump);
    EXPECT_EQ(R[1].Text(), LDump);
    EXPECT_EQ(R[0].ThreadId(), GetCurrentThreadId());
    EXPECT_NE(R[1].ThreadId(), GetCurrentThreadId());
    EXPECT_EQ(R[0].MsgType(), static_cast<uint32_t>(cmtObject));
}

TEST_F(WorkThreadTest, WorkRunsUntilTerminatedThenFinalOnceAfterTheEndMessage) {
    FProbe.FTerminateAfter = 3;
    TWorkThread T(Bind(&FProbe, &TProbe::Work), Bind(&FProbe, &TProbe::Final));
    FProbe.FThreadSet.set_value(&T);
    ASSERT_TRUE(T.WaitFor(CGenerous));
    EXPECT_EQ(FProbe.FWorkCalls, 3); // the flag is tested right after each call
    EXPECT_EQ(T.WorkCalls(), 3u);
    EXPECT_EQ(FProbe.FFinalCalls, 1);
    EXPECT_EQ(FProbe.FRecordsAtFinal, 2u); // "Create" and "1" came first
    EXPECT_NE(FProbe.FFinalThread, GetCurrentThreadId());
}

TEST_F(WorkThreadTest, WithoutCallbacksItSleepsUntilTerminated) {
    TWorkThread T(nullptr, Bind(&FProbe, &TProbe::Final));
    EXPECT_FALSE(T.WaitFor(50));
    T.Terminate();
    ASSERT_TRUE(T.WaitFor(CGenerous));
    EXPECT_EQ(FProbe.FFinalCalls, 1);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"Create", "1"}));
}

TEST_F(WorkThreadTest, DestroyingARunningThreadRunsTheFinalCallbackOnTheWorker) {
    auto T =
        std::make_unique<TWorkThread>(Bind(&FProbe, &TProbe::Work), Bind(&FProbe, &TProbe::Final));
    T.reset();
    EXPECT_EQ(FProbe.FFinalCalls, 1);
    EXPECT_NE(FProbe.FFinalThread, 0u);
    EXPECT_NE(FProbe.FFinalThread, GetCurrentThreadId());
}

TEST_F(WorkThreadTest, ClearedFinalCallbackIsNotCalled) {
    TWorkThread T(Bind(&FProbe, &TProbe::Work), Bind(&FProbe, &TProbe::Final));
    EXPECT_TRUE(T.OnFinalFun().Assigned());
    T.SetOnFinalFun(nullptr);
    T.Terminate();
    ASSERT_TRUE(T.WaitFor(CGenerous));
    EXPECT_EQ(FProbe.FFinalCalls, 0);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"Create", "1"}));
}

TEST_F(WorkThreadTest, EscapingExceptionEndsTheLoopCleanly) {
    FProbe.FThrowAt = true;
    TWorkThread T(Bind(&FProbe, &TProbe::Work), Bind(&FProbe, &TProbe::Final));
    ASSERT_TRUE(T.WaitFor(CGenerous)); // ends without being told to
    EXPECT_EQ(FProbe.FWorkCalls, 2);
    EXPECT_EQ(FProbe.FFinalCalls, 1);
    EXPECT_EQ(FProbe.FRecordsAtFinal, 2u);
    EXPECT_EQ(Tags(), (std::vector<std::string>{"Create", "1"}));
}
